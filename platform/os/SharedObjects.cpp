#include "os/SharedObjects.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <setjmp.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <mutex>
#include <thread>

namespace os {

// The layout of a mutex or event segment. `state` tells whether the segment
// is usable: 0 when fresh (zero-filled by the system), the id of the process
// initialising it, or kReady.
struct SyncSegment {
  std::atomic<std::uint32_t> state;
  // Events: bit 0 is the state; the upper bits count the times the event was
  // set, so that a waiter knows it was set even when it was reset again
  // before the waiter ran.
  std::atomic<std::uint32_t> signalled;
  alignas(16) pthread_mutex_t mutex;  // the mutex
};

namespace {

constexpr std::uint32_t kReady = 0xFFFFFFFFu;
constexpr std::size_t kSegmentSize = 256;
static_assert(sizeof(SyncSegment) <= kSegmentSize);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// How long an opener waits for a live process to finish initialising.
constexpr auto kInitialiseWait = std::chrono::seconds(5);

// An object is used only when it belongs to this user and no one else may
// open it: one made by someone else could be read, shrunk or swapped by them.
bool Private(const struct stat& info) {
  return info.st_uid == geteuid() && (info.st_mode & 077) == 0;
}

int OpenShared(const std::string& path, std::size_t size, bool create, bool* existed, int* error) {
  int fd = -1;
  if (create) {
    fd = shm_open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
      // Owner only, whatever the creator's umask.
      fchmod(fd, 0600);
      if (existed) *existed = false;
    } else if (errno != EEXIST) {
      *error = errno;
      return -1;
    }
  }
  if (fd < 0) {
    fd = shm_open(path.c_str(), O_RDWR | O_CLOEXEC, 0);
    if (fd < 0) {
      *error = errno;
      return -1;
    }
    if (existed) *existed = true;
  }
  // Someone else's object is left untouched. The creator may not have sized
  // the object yet; growing it to the same size from both sides is
  // harmless. The size is checked again before the object is mapped:
  // touching a mapping beyond the object's end faults.
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    *error = errno;
    close(fd);
    return -1;
  }
  if (!Private(info)) {
    *error = EACCES;
    close(fd);
    return -1;
  }
  if ((static_cast<std::size_t>(info.st_size) < size && ftruncate(fd, size) != 0) ||
      fstat(fd, &info) != 0) {
    *error = errno;
    close(fd);
    return -1;
  }
  if (static_cast<std::size_t>(info.st_size) < size) {
    *error = EINVAL;
    close(fd);
    return -1;
  }
  return fd;
}

std::uint8_t* MapShared(int fd, std::size_t size, int* error) {
  void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (data == MAP_FAILED) {
    *error = errno;
    close(fd);
    return nullptr;
  }
  return static_cast<std::uint8_t*>(data);
}

bool ProcessAlive(std::uint32_t pid) {
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

// Makes sure the segment has been initialised by someone, running `init`
// here when it is fresh or its initialiser died before finishing.
template <typename Init>
bool EnsureInitialised(SyncSegment* segment, Init init, int* error) {
  const auto deadline = std::chrono::steady_clock::now() + kInitialiseWait;
  const auto me = static_cast<std::uint32_t>(getpid());
  for (;;) {
    std::uint32_t state = segment->state.load(std::memory_order_acquire);
    if (state == kReady) return true;
    if (state == 0 || !ProcessAlive(state)) {
      if (segment->state.compare_exchange_strong(state, me, std::memory_order_acq_rel)) {
        init(segment);
        segment->state.store(kReady, std::memory_order_release);
        return true;
      }
      continue;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      *error = ETIMEDOUT;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void InitMutex(SyncSegment* segment) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(&segment->mutex, &attr);
  pthread_mutexattr_destroy(&attr);
}

// Creates or opens the segment of a mutex or event and sees it initialised
// (by init when nobody has); null with *error on failure.
template <typename Init>
std::unique_ptr<SharedMemory> ReadySegment(const std::string& path, bool create, bool* existed,
                                           Init init, int* error) {
  auto segment = create ? SharedMemory::Create(path, kSegmentSize, existed, error)
                        : SharedMemory::Open(path, kSegmentSize, error);
  if (!segment) return nullptr;
  if (!EnsureInitialised(reinterpret_cast<SyncSegment*>(segment->Data()), init, error))
    return nullptr;
  return segment;
}

long Futex(std::atomic<std::uint32_t>* word, int op, std::uint32_t value,
           const struct timespec* timeout) {
  // Not FUTEX_PRIVATE_FLAG: the word is shared between processes.
  return syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(word), op, value, timeout, nullptr, 0);
}

// The innermost guarded section of each thread (see RunGuarded).
thread_local sigjmp_buf* t_guard = nullptr;
struct sigaction g_previousBus {};

extern "C" void OnBusError(int number, siginfo_t* info, void* context) {
  if (sigjmp_buf* guard = t_guard) siglongjmp(*guard, 1);
  // Not a guarded section: whatever handled the signal before us does.
  if ((g_previousBus.sa_flags & SA_SIGINFO) != 0) {
    g_previousBus.sa_sigaction(number, info, context);
  } else if (g_previousBus.sa_handler != SIG_IGN && g_previousBus.sa_handler != SIG_DFL) {
    g_previousBus.sa_handler(number);
  } else {
    // The faulting access runs again on return and ends the process as it
    // would have without us.
    signal(SIGBUS, SIG_DFL);
  }
}

void InstallBusHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_sigaction = OnBusError;
    // SA_NODEFER: the jump out leaves the signal unblocked, so the mask
    // need not be saved and restored around every section.
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGBUS, &action, &g_previousBus);
  });
}

}  // namespace

bool RunGuarded(void (*body)(void*), void* context) {
  InstallBusHandler();
  sigjmp_buf here;
  sigjmp_buf* const outer = t_guard;
  if (sigsetjmp(here, 0) != 0) {
    t_guard = outer;
    return false;
  }
  t_guard = &here;
  body(context);
  t_guard = outer;
  return true;
}

std::string SharedObjectPath(std::string_view prefix, std::string_view name) {
  std::string path = "/";
  path.append(prefix);
  path.append(name);
  return path;
}

int RemoveSharedObject(const std::string& path) {
  return shm_unlink(path.c_str()) == 0 ? 0 : errno;
}

// --- SharedMemory ----------------------------------------------------------

std::unique_ptr<SharedMemory> SharedMemory::Create(const std::string& path, std::size_t size,
                                                   bool* existed, int* error) {
  bool wasThere = false;
  int fd = OpenShared(path, size, true, &wasThere, error);
  if (fd < 0) return nullptr;
  std::uint8_t* data = MapShared(fd, size, error);
  if (!data) return nullptr;
  if (existed) *existed = wasThere;
  return std::unique_ptr<SharedMemory>(new SharedMemory(fd, data, size));
}

std::unique_ptr<SharedMemory> SharedMemory::Open(const std::string& path, std::size_t size,
                                                 int* error) {
  int fd = OpenShared(path, size, false, nullptr, error);
  if (fd < 0) return nullptr;
  std::uint8_t* data = MapShared(fd, size, error);
  if (!data) return nullptr;
  return std::unique_ptr<SharedMemory>(new SharedMemory(fd, data, size));
}

SharedMemory::~SharedMemory() {
  munmap(data_, size_);
  close(fd_);
}

int SharedMemory::Lock() {
  while (flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

void SharedMemory::Unlock() {
  flock(fd_, LOCK_UN);
}

// --- NamedMutex ------------------------------------------------------------

NamedMutex::NamedMutex(std::unique_ptr<SharedMemory> segment) : segment_(std::move(segment)) {}
NamedMutex::~NamedMutex() = default;

SyncSegment* NamedMutex::Segment() const {
  return reinterpret_cast<SyncSegment*>(segment_->Data());
}

std::unique_ptr<NamedMutex> NamedMutex::Create(const std::string& path, bool* existed, int* error) {
  auto segment = ReadySegment(path, true, existed, InitMutex, error);
  return segment ? std::unique_ptr<NamedMutex>(new NamedMutex(std::move(segment))) : nullptr;
}

std::unique_ptr<NamedMutex> NamedMutex::Open(const std::string& path, int* error) {
  auto segment = ReadySegment(path, false, nullptr, InitMutex, error);
  return segment ? std::unique_ptr<NamedMutex>(new NamedMutex(std::move(segment))) : nullptr;
}

bool NamedMutex::Lock() {
  bool ownerDied = false;
  while (!TryLock(-1, &ownerDied)) {
  }
  return ownerDied;
}

bool NamedMutex::TryLock(int timeoutMs, bool* ownerDied) {
  pthread_mutex_t* mutex = &Segment()->mutex;
  int result;
  if (timeoutMs < 0) {
    result = pthread_mutex_lock(mutex);
  } else {
    struct timespec deadline {};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += (timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_sec += 1;
      deadline.tv_nsec -= 1000000000L;
    }
    result = pthread_mutex_timedlock(mutex, &deadline);
  }
  if (ownerDied) *ownerDied = false;
  if (result == EOWNERDEAD) {
    // The owner died holding it: we own it now; make it usable again.
    pthread_mutex_consistent(mutex);
    if (ownerDied) *ownerDied = true;
    return true;
  }
  if (result == ENOTRECOVERABLE) {
    // Only reachable if a holder gave up a dead owner's mutex without making
    // it consistent; start it afresh so the machine's writers go on.
    pthread_mutex_destroy(mutex);
    InitMutex(Segment());
    return false;
  }
  return result == 0;
}

void NamedMutex::Unlock() {
  pthread_mutex_unlock(&Segment()->mutex);
}

// --- NamedEvent ------------------------------------------------------------

NamedEvent::NamedEvent(std::unique_ptr<SharedMemory> segment) : segment_(std::move(segment)) {}
NamedEvent::~NamedEvent() = default;

SyncSegment* NamedEvent::Segment() const {
  return reinterpret_cast<SyncSegment*>(segment_->Data());
}

std::unique_ptr<NamedEvent> NamedEvent::Create(const std::string& path, bool initiallySet,
                                               bool* existed, int* error) {
  auto init = [initiallySet](SyncSegment* s) {
    s->signalled.store(initiallySet ? 1 : 0, std::memory_order_release);
  };
  auto segment = ReadySegment(path, true, existed, init, error);
  return segment ? std::unique_ptr<NamedEvent>(new NamedEvent(std::move(segment))) : nullptr;
}

std::unique_ptr<NamedEvent> NamedEvent::Open(const std::string& path, int* error) {
  // An event whose creator died before setting its initial state starts off.
  auto init = [](SyncSegment* s) { s->signalled.store(0, std::memory_order_release); };
  auto segment = ReadySegment(path, false, nullptr, init, error);
  return segment ? std::unique_ptr<NamedEvent>(new NamedEvent(std::move(segment))) : nullptr;
}

void NamedEvent::Set() {
  SyncSegment* sync = Segment();
  std::uint32_t word = sync->signalled.load(std::memory_order_acquire);
  do {
    if (word & 1) return;
  } while (!sync->signalled.compare_exchange_weak(word, (word + 2) | 1, std::memory_order_acq_rel));
  Futex(&sync->signalled, FUTEX_WAKE, INT_MAX, nullptr);
}

void NamedEvent::Reset() {
  Segment()->signalled.fetch_and(~1u, std::memory_order_acq_rel);
}

bool NamedEvent::IsSet() const {
  return (Segment()->signalled.load(std::memory_order_acquire) & 1) != 0;
}

bool NamedEvent::Wait(int timeoutMs) const {
  SyncSegment* sync = Segment();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  const std::uint32_t start = sync->signalled.load(std::memory_order_acquire);
  if (start & 1) return true;
  for (;;) {
    struct timespec relative {};
    const struct timespec* timeout = nullptr;
    if (timeoutMs >= 0) {
      auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      relative.tv_sec = static_cast<time_t>(left.count() / 1000000000LL);
      relative.tv_nsec = static_cast<long>(left.count() % 1000000000LL);
      timeout = &relative;
    }
    // Sleeps only while the word is unchanged; a Set in between wakes us or
    // makes the call return at once.
    Futex(&sync->signalled, FUTEX_WAIT, start, timeout);
    const std::uint32_t now = sync->signalled.load(std::memory_order_acquire);
    // Set now, or set since the wait began (like a kernel event, a Set
    // releases the threads waiting at that moment even if a Reset follows).
    if ((now & 1) || (now >> 1) != (start >> 1)) return true;
  }
}

}  // namespace os
