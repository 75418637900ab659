// The monitor channel: object names, the create-or-open rule and the shared
// header layout, byte for byte.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "MonitorTestSupport.h"
#include "os/MonitorChannel.h"

namespace {

using os::MonitorChannel;

std::int32_t Int32At(const std::uint8_t* area, std::size_t offset) {
  // Little-endian, whatever the host.
  return static_cast<std::int32_t>(area[offset] | area[offset + 1] << 8 | area[offset + 2] << 16 |
                                   static_cast<std::uint32_t>(area[offset + 3]) << 24);
}

// The file of an object of the running user's channel.
std::string ShmFile(const std::string& prefix, const std::string& name) {
  return "/dev/shm" + MonitorChannel::ObjectPath(prefix, name);
}

class MonitorChannelTest : public ::testing::Test {
 protected:
  std::unique_ptr<MonitorChannel> Attach() {
    int error = 0;
    auto channel = MonitorChannel::Attach(private_.Prefix(), &error);
    EXPECT_TRUE(channel) << "error " << error;
    return channel;
  }
  // Removes one object of the channel, as if a process had died before
  // making it, and attaches again; the monitor and reader counts read 0.
  std::unique_ptr<MonitorChannel> AttachWithout(const char* name) {
    os::RemoveSharedObject(MonitorChannel::ObjectPath(private_.Prefix(), name));
    auto channel = Attach();
    if (channel) {
      EXPECT_EQ(channel->MonitorCount().load(), 0);
      EXPECT_EQ(channel->ReaderCount().load(), 0);
    }
    return channel;
  }
  monitor_test::PrivateChannel private_;
};

TEST_F(MonitorChannelTest, CreatesTheTenNamedObjectsWithTheirInitialStates) {
  auto channel = Attach();
  ASSERT_TRUE(channel);
  const std::string p = private_.Prefix();
  for (const char* name :
       {"Quorv4MySQL.SQL.MONITOR.Mutex", "Quorv4MySQL.SQL.MONITOR.SharedMem01",
        "Quorv4MySQL.SQL.MONITOR.SharedMem02", "Quorv4MySQL.SQL.MONITOR.SharedMem03",
        "Quorv4MySQL.SQL.MONITOR.SharedMem04", "Quorv4MySQL.SQL.MONITOR.SharedMem05",
        "Quorv4MySQL.SQL.MONITOR.WriteEvent", "Quorv4MySQL.SQL.MONITOR.WriteFinishedEvent",
        "Quorv4MySQL.SQL.MONITOR.ReadEvent", "Quorv4MySQL.SQL.MONITOR.ReadFinishedEvent"}) {
    struct stat info {};
    ASSERT_EQ(stat(ShmFile(p, name).c_str(), &info), 0) << name;
    // The user's alone, whatever the umask.
    EXPECT_EQ(info.st_mode & 0777, 0600u) << name;
    EXPECT_EQ(info.st_uid, geteuid()) << name;
  }
  EXPECT_EQ(MonitorChannel::ObjectPath(p, "X"), "/" + p + "X." + std::to_string(geteuid()));
  struct stat info {};
  ASSERT_EQ(stat(ShmFile(p, "Quorv4MySQL.SQL.MONITOR.SharedMem03").c_str(), &info), 0);
  EXPECT_EQ(info.st_size, 2048);

  EXPECT_FALSE(channel->WriteEvent().IsSet());
  EXPECT_TRUE(channel->WriteFinishedEvent().IsSet());
  EXPECT_FALSE(channel->ReadEvent().IsSet());
  EXPECT_FALSE(channel->ReadFinishedEvent().IsSet());
  EXPECT_EQ(channel->MonitorCount().load(), 0);
  EXPECT_EQ(channel->ReaderCount().load(), 0);

  // The prefix can also come from the environment.
  setenv("TOLVEX_MONITOR_PREFIX", "from-env.", 1);
  EXPECT_EQ(MonitorChannel::EffectivePrefix(""), "from-env.");
  EXPECT_EQ(MonitorChannel::EffectivePrefix("given."), "given.");
  unsetenv("TOLVEX_MONITOR_PREFIX");
  EXPECT_EQ(MonitorChannel::EffectivePrefix(""), "");
}

TEST_F(MonitorChannelTest, HeaderCountersLieAtTheirOffsets) {
  auto channel = Attach();
  ASSERT_TRUE(channel);
  channel->MonitorCount().store(3);
  channel->ReaderCount().store(2);
  for (int type = 0; type < 5; ++type) channel->Wanted(type).store(10 + type);
  const std::uint8_t* area = channel->Area(1);
  EXPECT_EQ(Int32At(area, 2044), 3);
  EXPECT_EQ(Int32At(area, 2040), 2);
  // prepare, execute, fetch, connect, transaction
  const std::size_t wantedOffsets[5] = {2008, 2004, 2000, 1996, 1992};
  for (int type = 0; type < 5; ++type) EXPECT_EQ(Int32At(area, wantedOffsets[type]), 10 + type);
}

TEST_F(MonitorChannelTest, ReportIsLaidOutInTheAreasAndTheHeader) {
  auto channel = Attach();
  ASSERT_TRUE(channel);
  os::MonitorReport report;
  report.TraceType = 2;
  report.Success = 1;
  report.Time = 46000.5;
  report.ApplicationTitle = "agent";
  report.DatabaseName = "t2tipafecf";
  report.EventName = "Fetch";
  report.StatementText = "Query: Row # 3\r\n";
  report.Message = "Lost connection";
  channel->WriteReport(report);

  const std::uint8_t* area1 = channel->Area(1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(area1), 5), "agent");
  EXPECT_EQ(Int32At(area1, 2028), 5);
  EXPECT_EQ(Int32At(area1, 2024), 10);
  EXPECT_EQ(Int32At(area1, 2020), 5);
  EXPECT_EQ(Int32At(area1, 2016), 16);
  EXPECT_EQ(Int32At(area1, 2012), 15);
  EXPECT_EQ(area1[2036], 2);
  EXPECT_EQ(area1[2032], 1);
  double time = 0;
  std::memcpy(&time, area1 + 1984, 8);
  EXPECT_EQ(time, 46000.5);
  const struct {
    int area;
    const char* text;
  } texts[] = {{2, "t2tipafecf"}, {3, "Fetch"}, {4, "Query: Row # 3\r\n"}, {5, "Lost connection"}};
  for (const auto& expected : texts) {
    EXPECT_EQ(std::memcmp(channel->Area(expected.area), expected.text, std::strlen(expected.text)),
              0)
        << expected.area;
  }

  os::MonitorReport back = channel->ReadReport();
  EXPECT_EQ(back.TraceType, 2);
  EXPECT_EQ(back.Success, 1);
  EXPECT_EQ(back.Time, 46000.5);
  EXPECT_EQ(back.ApplicationTitle, "agent");
  EXPECT_EQ(back.DatabaseName, "t2tipafecf");
  EXPECT_EQ(back.EventName, "Fetch");
  EXPECT_EQ(back.StatementText, "Query: Row # 3\r\n");
  EXPECT_EQ(back.Message, "Lost connection");
}

TEST_F(MonitorChannelTest, LongTextsAreCutWithoutTouchingTheHeader) {
  auto channel = Attach();
  ASSERT_TRUE(channel);
  channel->MonitorCount().store(1);
  for (int type = 0; type < 5; ++type) channel->Wanted(type).store(1);
  os::MonitorReport report;
  report.Time = 1.25;
  report.ApplicationTitle = std::string(3000, 'T');
  report.StatementText = std::string(2002, 'a') + std::string(1000, 'b');
  channel->WriteReport(report);

  os::MonitorReport back = channel->ReadReport();
  EXPECT_EQ(back.StatementText, std::string(2002, 'a'));
  EXPECT_EQ(back.ApplicationTitle, std::string(1984, 'T'));
  EXPECT_EQ(back.Time, 1.25);
  EXPECT_EQ(channel->MonitorCount().load(), 1);
  for (int type = 0; type < 5; ++type) EXPECT_EQ(channel->Wanted(type).load(), 1) << type;
}

TEST_F(MonitorChannelTest, SecondProcessOpensWhatTheFirstCreated) {
  auto first = Attach();
  ASSERT_TRUE(first);
  first->MonitorCount().store(2);
  first->Wanted(1).store(1);
  first->WriteFinishedEvent().Reset();

  pid_t child = fork();
  if (child == 0) {
    int error = 0;
    auto second = MonitorChannel::Attach(private_.Prefix(), &error);
    // Opening keeps the counts and the events' states, and shares them.
    bool ok = second && second->MonitorCount().load() == 2 && second->Wanted(1).load() == 1 &&
              !second->WriteFinishedEvent().IsSet();
    if (second) {
      second->ReaderCount().store(7);
      second->ReadEvent().Set();
    }
    _exit(ok ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(first->ReaderCount().load(), 7);
  EXPECT_TRUE(first->ReadEvent().IsSet());
}

TEST_F(MonitorChannelTest, NegativeCountsAreClearedAndAMissingMutexIsRemade) {
  {
    auto channel = Attach();
    ASSERT_TRUE(channel);
    channel->MonitorCount().store(-2);
    channel->ReaderCount().store(-1);
    channel->Wanted(4).store(3);
  }
  // As if a process had died after making the areas but before the mutex.
  auto again = AttachWithout("Quorv4MySQL.SQL.MONITOR.Mutex");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Wanted(4).load(), 3);
  EXPECT_FALSE(again->Mutex().Lock());
  again->Mutex().Unlock();
}

TEST_F(MonitorChannelTest, NewLastAreaClearsTheCountsOfAnOldFirstArea) {
  {
    auto channel = Attach();
    ASSERT_TRUE(channel);
    channel->MonitorCount().store(4);
    channel->ReaderCount().store(1);
    for (int type = 0; type < 5; ++type) channel->Wanted(type).store(2);
    std::memcpy(channel->Area(1) + 2020, "\x05\0\0\0", 4);
  }
  auto again = AttachWithout("Quorv4MySQL.SQL.MONITOR.SharedMem05");
  ASSERT_TRUE(again);
  EXPECT_EQ(Int32At(again->Area(1), 2020), 0);
  for (int type = 0; type < 5; ++type) EXPECT_EQ(again->Wanted(type).load(), 0) << type;
}

}  // namespace
