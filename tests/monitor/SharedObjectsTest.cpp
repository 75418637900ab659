// Named shared memory, mutex and events across processes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "MonitorTestSupport.h"
#include "os/SharedObjects.h"

namespace {

using os::NamedEvent;
using os::NamedMutex;
using os::SharedMemory;

class SharedObjectsTest : public ::testing::Test {
 protected:
  std::string Path(const char* name) {
    std::string path = os::SharedObjectPath(channel_.Prefix(), name);
    created_.push_back(path);
    return path;
  }
  void TearDown() override {
    for (const std::string& path : created_) os::RemoveSharedObject(path);
  }

  // Runs `body` in a child process and returns its exit status.
  template <typename Body>
  int InChild(Body body) {
    pid_t pid = fork();
    if (pid == 0) _exit(body());
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  monitor_test::PrivateChannel channel_;
  std::vector<std::string> created_;
};

TEST_F(SharedObjectsTest, FirstCreatesLaterOpenTheSameMemory) {
  const std::string path = Path("Area");
  int error = 0;
  bool existed = true;
  auto first = SharedMemory::Create(path, 2048, &existed, &error);
  ASSERT_TRUE(first) << error;
  EXPECT_FALSE(existed);
  for (std::size_t i = 0; i < 2048; ++i) ASSERT_EQ(first->Data()[i], 0) << i;
  std::memcpy(first->Data() + 2040, "abcd", 4);

  auto second = SharedMemory::Create(path, 2048, &existed, &error);
  ASSERT_TRUE(second);
  EXPECT_TRUE(existed);
  EXPECT_EQ(std::memcmp(second->Data() + 2040, "abcd", 4), 0);

  // Another process opens it by name and writes back.
  EXPECT_EQ(InChild([&] {
              int e = 0;
              auto area = SharedMemory::Open(path, 2048, &e);
              if (!area || std::memcmp(area->Data() + 2040, "abcd", 4) != 0) return 1;
              area->Data()[0] = 'Z';
              return 0;
            }),
            0);
  EXPECT_EQ(first->Data()[0], 'Z');

  // Its creator's alone, whatever the umask.
  struct stat info {};
  ASSERT_EQ(stat(("/dev/shm" + path).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(SharedObjectsTest, ObjectOthersMayOpenOrTooSmallToMapIsRefused) {
  // Made by someone who left it open to everybody: whoever did may read or
  // shrink it, so it is not used.
  const std::string open = Path("OpenToAll");
  int fd = shm_open(open.c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(fchmod(fd, 0666), 0);
  ASSERT_EQ(ftruncate(fd, 256), 0);
  close(fd);
  int error = 0;
  bool existed = false;
  EXPECT_FALSE(SharedMemory::Create(open, 256, &existed, &error));
  EXPECT_EQ(error, EACCES);
  error = 0;
  EXPECT_FALSE(NamedEvent::Open(open, &error));
  EXPECT_EQ(error, EACCES);
  error = 0;
  EXPECT_FALSE(NamedMutex::Create(open, &existed, &error));
  EXPECT_EQ(error, EACCES);
}

// Shrinks the object `path` of `area` to nothing and touches the area in a
// guarded section; returns whether the section ran to its end.
bool TouchShrunk(SharedMemory& area, const std::string& path) {
  int fd = shm_open(path.c_str(), O_RDWR, 0);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(ftruncate(fd, 0), 0);
  close(fd);
  volatile int reached = 0;
  const bool whole = os::Guarded([&] {
    reached = 1;
    area.Data()[100] = 1;  // faults: the page is gone
    reached = 2;
  });
  EXPECT_EQ(reached, whole ? 2 : 1);
  return whole;
}

TEST_F(SharedObjectsTest, ShrunkAreaCutsAGuardedSectionShortAndKillsOnlyOutsideOne) {
  const std::string path = Path("Shrunk");
  int error = 0;
  auto area = SharedMemory::Create(path, 2048, nullptr, &error);
  ASSERT_TRUE(area) << error;
  EXPECT_TRUE(os::Guarded([&] { area->Data()[0] = 1; }));
  EXPECT_FALSE(TouchShrunk(*area, path));
  // The section can be entered again, nested ones report to their own caller,
  // and the thread's signal mask is left as it was.
  EXPECT_FALSE(TouchShrunk(*area, path));
  bool inner = true;
  EXPECT_TRUE(os::Guarded([&] { inner = os::Guarded([&] { area->Data()[5] = 1; }); }));
  EXPECT_FALSE(inner);
  sigset_t mask;
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, nullptr, &mask), 0);
  EXPECT_FALSE(sigismember(&mask, SIGBUS));

  // Outside a section the fault ends the process as it always did.
  pid_t child = fork();
  if (child == 0) {
    area->Data()[7] = 1;
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGBUS) << status;
}

TEST_F(SharedObjectsTest, OpeningWhatDoesNotExistFails) {
  int error = 0;
  EXPECT_FALSE(SharedMemory::Open(Path("Missing"), 2048, &error));
  EXPECT_EQ(error, ENOENT);
  error = 0;
  EXPECT_FALSE(NamedMutex::Open(Path("MissingMutex"), &error));
  EXPECT_EQ(error, ENOENT);
  error = 0;
  EXPECT_FALSE(NamedEvent::Open(Path("MissingEvent"), &error));
  EXPECT_EQ(error, ENOENT);
  // A name the system cannot take.
  bool existed = false;
  EXPECT_FALSE(SharedMemory::Create(Path("bad/name"), 2048, &existed, &error));
  EXPECT_EQ(error, EINVAL);
}

TEST_F(SharedObjectsTest, EventsAreManualResetWithTheirInitialState) {
  int error = 0;
  bool existed = true;
  auto on = NamedEvent::Create(Path("On"), true, &existed, &error);
  ASSERT_TRUE(on);
  EXPECT_FALSE(existed);
  auto off = NamedEvent::Create(Path("Off"), false, &existed, &error);
  ASSERT_TRUE(off);
  EXPECT_TRUE(on->IsSet());
  EXPECT_FALSE(off->IsSet());

  // The initial state applies only to a new event.
  auto again = NamedEvent::Create(Path("Off"), true, &existed, &error);
  ASSERT_TRUE(again);
  EXPECT_TRUE(existed);
  EXPECT_FALSE(again->IsSet());

  // Set stays set through any number of waits, until reset.
  EXPECT_FALSE(off->Wait(20));
  off->Set();
  EXPECT_TRUE(off->Wait(0));
  EXPECT_TRUE(again->Wait(0));
  EXPECT_TRUE(off->Wait(-1));
  off->Reset();
  EXPECT_FALSE(again->IsSet());
  EXPECT_FALSE(again->Wait(20));
}

TEST_F(SharedObjectsTest, SetWakesEveryWaiterInEveryProcess) {
  const std::string path = Path("Wake");
  int error = 0;
  auto event = NamedEvent::Create(path, false, nullptr, &error);
  ASSERT_TRUE(event);
  auto done = NamedEvent::Create(Path("ChildDone"), false, nullptr, &error);
  ASSERT_TRUE(done);

  pid_t child = fork();
  if (child == 0) {
    int e = 0;
    auto mine = NamedEvent::Open(path, &e);
    auto finished = NamedEvent::Open(os::SharedObjectPath(channel_.Prefix(), "ChildDone"), &e);
    if (!mine || !finished) _exit(2);
    bool woke = mine->Wait(10000);
    finished->Set();
    _exit(woke ? 0 : 1);
  }
  std::atomic<int> woken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i)
    waiters.emplace_back([&] {
      if (event->Wait(10000)) ++woken;
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  event->Set();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(woken.load(), 3);
  EXPECT_TRUE(done->Wait(10000));
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

// Waits until the thread `id` of this process sleeps in the futex system
// call; false after ten seconds.
bool SleepsInFutex(pid_t id) {
  const std::string file = "/proc/self/task/" + std::to_string(id) + "/syscall";
  const std::string futex = std::to_string(SYS_futex) + " ";
  for (int i = 0; i < 10000; ++i) {
    std::ifstream in(file);
    std::string text;
    std::getline(in, text);
    if (text.rfind(futex, 0) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

TEST_F(SharedObjectsTest, SetFollowedAtOnceByResetStillReleasesWaiters) {
  int error = 0;
  auto event = NamedEvent::Create(Path("Pulse"), false, nullptr, &error);
  ASSERT_TRUE(event);
  for (int round = 0; round < 3; ++round) {
    std::atomic<pid_t> waiter_id{0};
    bool released = false;
    std::thread waiter([&] {
      waiter_id = gettid();
      released = event->Wait(5000);
    });
    while (waiter_id == 0) std::this_thread::yield();
    // The pulse must come once the waiter is asleep on the event, not before
    // its wait began.
    const bool asleep = SleepsInFutex(waiter_id);
    event->Set();
    event->Reset();
    waiter.join();
    EXPECT_TRUE(asleep) << round;
    EXPECT_TRUE(released) << round;
    EXPECT_FALSE(event->IsSet());
  }
}

TEST_F(SharedObjectsTest, MutexExcludesOtherProcessesAndSurvivesADeadOwner) {
  const std::string path = Path("Mutex");
  int error = 0;
  bool existed = true;
  auto mutex = NamedMutex::Create(path, &existed, &error);
  ASSERT_TRUE(mutex) << error;
  EXPECT_FALSE(existed);

  // Recursive within a thread, like the kernel mutex it replaces.
  EXPECT_FALSE(mutex->Lock());
  EXPECT_FALSE(mutex->Lock());
  EXPECT_EQ(InChild([&] {
              int e = 0;
              auto other = NamedMutex::Open(path, &e);
              return other && !other->TryLock(50) ? 0 : 1;
            }),
            0);
  mutex->Unlock();
  mutex->Unlock();

  // A process that dies holding it does not wedge the others.
  EXPECT_EQ(InChild([&] {
              int e = 0;
              auto other = NamedMutex::Open(path, &e);
              if (!other) return 1;
              other->Lock();
              _exit(0);  // dies holding it, its mapping still in place
              return 1;
            }),
            0);
  bool ownerDied = false;
  ASSERT_TRUE(mutex->TryLock(5000, &ownerDied));
  EXPECT_TRUE(ownerDied);
  mutex->Unlock();
  EXPECT_FALSE(mutex->Lock());
  mutex->Unlock();
}

TEST_F(SharedObjectsTest, SegmentLeftHalfMadeByADeadProcessIsTakenOver) {
  // A process that died while initialising leaves its id in the segment's
  // state word; the next opener must not wait for it forever.
  pid_t dead = fork();
  if (dead == 0) _exit(0);
  waitpid(dead, nullptr, 0);

  for (const char* name : {"HalfEvent", "HalfMutex"}) {
    const std::string path = Path(name);
    int error = 0;
    auto raw = SharedMemory::Create(path, 256, nullptr, &error);
    ASSERT_TRUE(raw);
    const auto deadPid = static_cast<std::uint32_t>(dead);
    std::memcpy(raw->Data(), &deadPid, 4);
    if (std::string(name) == "HalfEvent") {
      auto event = NamedEvent::Open(path, &error);
      ASSERT_TRUE(event) << error;
      EXPECT_FALSE(event->IsSet());
      event->Set();
      EXPECT_TRUE(event->Wait(0));
    } else {
      auto mutex = NamedMutex::Open(path, &error);
      ASSERT_TRUE(mutex) << error;
      EXPECT_TRUE(mutex->TryLock(1000));
      mutex->Unlock();
    }
  }
}

}  // namespace
