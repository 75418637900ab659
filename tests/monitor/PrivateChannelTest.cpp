// The monitor channel belongs to its user: a neighbour can neither read the
// reports nor crash the process by shrinking or planting the shared objects,
// and an object shrunk by the user's own processes only stops the reporting.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "MonitorTestSupport.h"
#include "engine/SqlMonitor.h"
#include "os/MonitorChannel.h"
#include "support/OutroUsuario.h"

namespace {

using monitor_test::Eventually;

using engine::TMySQLMonitorHook;
using os::MonitorChannel;

constexpr const char* kBrokenLine =
    "Monitor SQL desligado: um objeto compartilhado do canal foi truncado\n";

void Shrink(const std::string& prefix, const std::string& name) {
  int fd = shm_open(MonitorChannel::ObjectPath(prefix, name).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0) << name;
  ASSERT_EQ(ftruncate(fd, 0), 0);
  close(fd);
}

class PrivateChannelTest : public ::testing::Test {
 protected:
  std::unique_ptr<MonitorChannel> Channel() {
    int error = 0;
    auto channel = MonitorChannel::Attach(channel_.Prefix(), &error);
    EXPECT_TRUE(channel) << error;
    return channel;
  }
  std::string File(const std::string& name) const {
    return "/dev/shm" + MonitorChannel::ObjectPath(channel_.Prefix(), name);
  }
  monitor_test::PrivateChannel channel_;
};

TEST_F(PrivateChannelTest, ShrunkHeaderWithNoMonitorSwitchesTheHookOffWithOneLine) {
  TMySQLMonitorHook hook(channel_.Prefix());
  ASSERT_TRUE(hook.Enabled());
  Shrink(channel_.Prefix(), MonitorChannel::AreaName(1));

  testing::internal::CaptureStderr();
  hook.ExecuteText("db", "insert into cliente values (1)", true, "");  // read the count
  hook.Commit("db", true, "");
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, kBrokenLine);
  EXPECT_FALSE(hook.Enabled());
  EXPECT_EQ(hook.QueuedReports(), 0u);
}

TEST_F(PrivateChannelTest, AreaShrunkUnderTheWriterEndsItAndFreesTheMutex) {
  auto monitor = Channel();
  ASSERT_TRUE(monitor);
  // A monitor that wants execute reports; it never answers, and the write
  // faults before the handshake begins.
  monitor->MonitorCount().store(1);
  monitor->Wanted(1).store(1);
  TMySQLMonitorHook hook(channel_.Prefix());
  Shrink(channel_.Prefix(), MonitorChannel::AreaName(5));

  testing::internal::CaptureStderr();
  hook.ExecuteText("db", "insert into cliente values (1)", false, "Duplicate entry");
  EXPECT_EQ(hook.QueuedReports(), 1u);
  EXPECT_TRUE(hook.WaitUntilWritten(10000));
  // The next report finds the channel broken and switches the hook off.
  hook.ExecuteText("db", "insert into cliente values (2)", true, "");
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(said, kBrokenLine);
  EXPECT_FALSE(hook.Enabled());
  EXPECT_EQ(hook.QueuedReports(), 1u);
  // The writer let go of the mutex: the machine's other writers go on.
  EXPECT_TRUE(monitor->Mutex().TryLock(1000));
  monitor->Mutex().Unlock();
}

TEST_F(PrivateChannelTest, NeighbourCanNeitherReadNorShrinkNorListen) {
  SKIP_SEM_OUTRO_USUARIO();
  const std::string prefix = channel_.Prefix();
  monitor_test::MonitorProcess mine(prefix, {"-n", "1", "-t", "execute"});
  ASSERT_TRUE(mine.WaitAttached(10000));
  TMySQLMonitorHook hook(prefix);

  // The neighbour's own monitor on the same prefix meets a channel of its
  // own, not ours. It runs a copy the neighbour may reach wherever the build
  // lies.
  std::string folder = (std::filesystem::temp_directory_path() / "tolvex-mon-XXXXXX").string();
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  const std::string program = folder + "/sqlmonitor";
  std::filesystem::copy_file(SQLMONITOR_PATH, program);
  std::string heard;
  // No assertion may leave before the thread is joined.
  std::thread neighbour([&] {
    support::ExecutarComoOutroUsuario({"/usr/bin/timeout", "3", program, "-p", prefix}, &heard);
  });
  const std::string theirs =
      "/dev/shm/" + prefix + MonitorChannel::AreaName(1) + "." + std::to_string(support::kOutroUid);
  EXPECT_TRUE(Eventually(
      [&] {
        std::int32_t count = 0;
        int fd = open(theirs.c_str(), O_RDONLY);
        if (fd >= 0) {
          if (pread(fd, &count, 4, MonitorChannel::kMonitorCountOffset) != 4) count = 0;
          close(fd);
        }
        return count > 0;
      },
      10000));

  // Every object of ours is closed to the neighbour, for reading and for
  // shrinking.
  const char* names[] = {MonitorChannel::kMutexName, MonitorChannel::kWriteEventName,
                         MonitorChannel::kWriteFinishedEventName, MonitorChannel::kReadEventName,
                         MonitorChannel::kReadFinishedEventName};
  std::vector<std::string> ours(std::begin(names), std::end(names));
  for (int area = 1; area <= MonitorChannel::kAreaCount; ++area)
    ours.push_back(MonitorChannel::AreaName(area));
  for (const std::string& name : ours) {
    const int status = support::ExecutarComoOutroUsuario(
        {"/bin/sh", "-c",
         "cat \"$1\" >/dev/null 2>&1 && exit 1; truncate -s 0 \"$1\" 2>/dev/null && exit 2; exit 0",
         "sh", File(name)});
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << name << " " << status;
    struct stat info {};
    EXPECT_EQ(stat(File(name).c_str(), &info), 0);
    EXPECT_GT(info.st_size, 0) << name;
  }

  hook.ExecuteText("db", "insert into cliente values ('segredo')", true, "");
  std::string line;
  EXPECT_TRUE(mine.ReadLine(line, 10000));
  EXPECT_NE(line.find("segredo"), std::string::npos);
  EXPECT_TRUE(hook.Enabled());
  neighbour.join();
  std::filesystem::remove_all(folder);
  EXPECT_NE(heard.find("attached"), std::string::npos) << heard;
  EXPECT_EQ(heard.find("segredo"), std::string::npos) << heard;

  // The neighbour's objects are its own business, but not left behind here.
  for (const std::string& name : ours)
    os::RemoveSharedObject(os::SharedObjectPath(prefix, name) + "." +
                           std::to_string(support::kOutroUid));
}

TEST_F(PrivateChannelTest, ObjectsPlantedByANeighbourAreRefused) {
  SKIP_SEM_OUTRO_USUARIO();
  // The neighbour makes our first area before we do, open to everybody.
  const std::string planted = File(MonitorChannel::AreaName(1));
  const int status =
      support::ExecutarComoOutroUsuario({"/bin/sh", "-c", "umask 0 && : > \"$1\"", "sh", planted});
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  testing::internal::CaptureStderr();
  TMySQLMonitorHook hook(channel_.Prefix());
  hook.ExecuteText("db", "insert into cliente values ('segredo')", true, "");
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_FALSE(hook.Enabled());
  EXPECT_EQ(said, "Monitor SQL desligado: Cannot create shared resource. (Windows error 13)\n");
  struct stat info {};
  ASSERT_EQ(stat(planted.c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 0);  // nothing of ours went into it
  EXPECT_EQ(info.st_uid, support::kOutroUid);
}

}  // namespace
