// The engine's monitor hook and writer thread, watched through the
// sqlmonitor program and through the shared header directly.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <thread>

#include "MonitorTestSupport.h"
#include "engine/EngineErrors.h"
#include "engine/SqlMonitor.h"
#include "os/MonitorChannel.h"
#include "rtl/DateTime.h"

namespace {

using monitor_test::Eventually;

using engine::TMySQLMonitorHook;
using monitor_test::MonitorProcess;
using monitor_test::SplitFields;

constexpr int kLineWaitMs = 10000;

// The day count of sqlmonitor's "yyyy-mm-dd hh:nn:ss.zzz".
double ParseTime(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d.%d", &year, &month, &day, &hour, &minute,
                  &second, &msec) != 7)
    return -1;
  return rtl::EncodeDate(year, month, day) + rtl::EncodeTime(hour, minute, second, msec);
}

// Fields of a monitor line after the time: type, event, database, success,
// statement, message.
std::vector<std::string> Tail(const std::string& line) {
  std::vector<std::string> fields = SplitFields(line);
  if (!fields.empty()) fields.erase(fields.begin());
  return fields;
}

class SqlMonitorHookTest : public ::testing::Test {
 protected:
  std::unique_ptr<os::MonitorChannel> Channel() {
    int error = 0;
    auto channel = os::MonitorChannel::Attach(channel_.Prefix(), &error);
    EXPECT_TRUE(channel) << error;
    return channel;
  }

  // Every event once, with the texts a user would see.
  static void ReportEverything(TMySQLMonitorHook& hook) {
    hook.Connect("t2tipafecf", true, "");
    hook.Prepare("t2tipafecf", "select *\tfrom cliente");
    hook.Execute("t2tipafecf", "select *\tfrom cliente", true, "");
    hook.Fetch("t2tipafecf", "Query", 0);
    hook.Fetch("t2tipafecf", "cliente", -1);
    hook.ExecuteText("t2tipafecf", "insert into x values (1)", false,
                     "Duplicate entry '1' for key 'PRIMARY'");
    hook.StartTransaction("t2tipafecf", true, "");
    hook.Commit("t2tipafecf", false, "Lost connection to MySQL server during query");
    hook.Rollback("t2tipafecf", true, "");
    hook.Disconnect("t2tipafecf");
  }

  monitor_test::PrivateChannel channel_;
};

TEST(MonitorPrintableTest, ControlBytesOtherThanCrLfBecomeHashDollarHex) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"select\t1", "select#$091"},
      {std::string("a\0b", 3), "a#$00b"},
      {"\x01\x1f", "#$01#$1F"},
      {"line\r\nnext\n", "line\r\nnext\n"},
      {"\x1b[0m", "#$1B[0m"},
      {"n\xE3o \x7f \x80", "n\xE3o \x7f \x80"},  // only bytes below 32 change
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(engine::MonitorPrintable(c.in), c.out) << c.in;
}

TEST_F(SqlMonitorHookTest, WithoutAMonitorNothingIsQueued) {
  TMySQLMonitorHook hook(channel_.Prefix());
  ASSERT_TRUE(hook.ResourcesReady());
  ASSERT_TRUE(hook.Enabled());
  for (int i = 0; i < 100; ++i) ReportEverything(hook);
  EXPECT_EQ(hook.QueuedReports(), 0u);
  EXPECT_FALSE(hook.WriterRunning());

  // Wanted counters without an attached monitor do not count either.
  auto channel = Channel();
  for (int type = 0; type < 5; ++type) channel->Wanted(type).store(1);
  ReportEverything(hook);
  EXPECT_EQ(hook.QueuedReports(), 0u);
}

TEST_F(SqlMonitorHookTest, OnlyWantedTraceTypesAreQueued) {
  auto channel = Channel();
  TMySQLMonitorHook hook(channel_.Prefix());
  channel->MonitorCount().store(1);
  // A monitor that wants only transactions, and never reads: the writer
  // gives it up, which the counts here do not depend on.
  channel->Wanted(4).store(1);
  hook.Connect("db", true, "");
  hook.Prepare("db", "select 1");
  hook.Execute("db", "select 1", true, "");
  hook.ExecuteText("db", "select 1", true, "");
  hook.Fetch("db", "Query", 1);
  hook.Disconnect("db");
  EXPECT_EQ(hook.QueuedReports(), 0u);
  hook.StartTransaction("db", true, "");
  hook.Commit("db", true, "");
  hook.Rollback("db", true, "");
  EXPECT_EQ(hook.QueuedReports(), 3u);

  // The process-wide switch and the hook's own flag both silence it.
  TMySQLMonitorHook::SetTracing(false);
  hook.Commit("db", true, "");
  TMySQLMonitorHook::SetTracing(true);
  hook.SetEnabled(false);
  EXPECT_FALSE(hook.WriterRunning());
  hook.Commit("db", true, "");
  EXPECT_EQ(hook.QueuedReports(), 3u);
}

TEST_F(SqlMonitorHookTest, SilentMonitorIsGivenUpAndReportingStops) {
  auto channel = Channel();
  channel->MonitorCount().store(1);
  for (int type = 0; type < 5; ++type) channel->Wanted(type).store(1);
  TMySQLMonitorHook hook(channel_.Prefix());

  const auto start = std::chrono::steady_clock::now();
  hook.ExecuteText("db", "select 1", true, "");
  EXPECT_EQ(hook.QueuedReports(), 1u);
  ASSERT_TRUE(Eventually([&] { return channel->MonitorCount().load() == 0; }, 10000));
  // Given up only after a whole step without an answer.
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
  ASSERT_TRUE(hook.WaitUntilWritten(10000));
  // The round was closed for any monitor that comes later.
  EXPECT_TRUE(channel->WriteFinishedEvent().IsSet());
  EXPECT_FALSE(channel->WriteEvent().IsSet());

  hook.ExecuteText("db", "select 2", true, "");
  hook.Connect("db", true, "");
  EXPECT_EQ(hook.QueuedReports(), 1u);
}

TEST_F(SqlMonitorHookTest, MonitorProgramSeesEveryEventInOrder) {
  MonitorProcess monitor(channel_.Prefix(), {"-n", "10"});
  ASSERT_TRUE(monitor.WaitAttached(kLineWaitMs));
  TMySQLMonitorHook hook(channel_.Prefix());
  const double before = rtl::Now();
  ReportEverything(hook);
  EXPECT_EQ(hook.QueuedReports(), 10u);

  const std::vector<std::vector<std::string>> expected = {
      {"connect", "Connect", "t2tipafecf", "1", "", ""},
      {"prepare", "Prepare", "t2tipafecf", "1", "select *#$09from cliente", ""},
      {"execute", "Execute", "t2tipafecf", "1", "select *#$09from cliente", ""},
      {"fetch", "Fetch", "t2tipafecf", "1", "Query: Row # 0\\r\\n", ""},
      {"fetch", "Fetch", "t2tipafecf", "1", "cliente: Row # -1\\r\\n", ""},
      {"execute", "Execute", "t2tipafecf", "0", "insert into x values (1)",
       "Duplicate entry '1' for key 'PRIMARY'"},
      {"transaction", "Start transaction", "t2tipafecf", "1", "", ""},
      {"transaction", "Commit (Hard commit)", "t2tipafecf", "0", "",
       "Lost connection to MySQL server during query"},
      {"transaction", "Rollback", "t2tipafecf", "1", "", ""},
      {"connect", "Disconnect", "t2tipafecf", "1", "", ""},
  };
  std::vector<double> times;
  for (const auto& fields : expected) {
    std::string line;
    ASSERT_TRUE(monitor.ReadLine(line, kLineWaitMs)) << "missing: " << fields[1];
    EXPECT_EQ(Tail(line), fields) << line;
    times.push_back(ParseTime(SplitFields(line).at(0)));
  }
  EXPECT_EQ(monitor.Wait(kLineWaitMs), 0);
  const double after = rtl::Now();

  // Each report carries the local time it was made, in order.
  const double ms = 1.0 / rtl::MSecsPerDay;
  for (double time : times) {
    EXPECT_GE(time, before - ms);
    EXPECT_LE(time, after + ms);
  }
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
}

TEST_F(SqlMonitorHookTest, MonitorWatchingOneTypeGetsNothingElse) {
  MonitorProcess monitor(channel_.Prefix(), {"--types", "fetch,connect"});
  ASSERT_TRUE(monitor.WaitAttached(kLineWaitMs));
  TMySQLMonitorHook hook(channel_.Prefix());
  ReportEverything(hook);
  // Prepare, execute and transaction reports are not even queued.
  EXPECT_EQ(hook.QueuedReports(), 4u);
  std::vector<std::string> events;
  std::string line;
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(monitor.ReadLine(line, kLineWaitMs));
    events.push_back(SplitFields(line).at(2));
  }
  EXPECT_EQ(events, (std::vector<std::string>{"Connect", "Fetch", "Fetch", "Disconnect"}));
  ASSERT_TRUE(hook.WaitUntilWritten(kLineWaitMs));
  EXPECT_FALSE(monitor.ReadLine(line, 300)) << line;

  // Ctrl-C takes the monitor's counts back; the hook then queues nothing.
  EXPECT_EQ(monitor.Interrupt(), 0);
  auto channel = Channel();
  EXPECT_EQ(channel->MonitorCount().load(), 0);
  EXPECT_EQ(channel->ReaderCount().load(), 0);
  for (int type = 0; type < 5; ++type) EXPECT_EQ(channel->Wanted(type).load(), 0) << type;
  ReportEverything(hook);
  EXPECT_EQ(hook.QueuedReports(), 4u);
}

TEST_F(SqlMonitorHookTest, TwoMonitorsEachReceiveEveryReport) {
  MonitorProcess first(channel_.Prefix(), {"-n", "3"});
  MonitorProcess second(channel_.Prefix(), {"-n", "3"});
  ASSERT_TRUE(first.WaitAttached(kLineWaitMs));
  ASSERT_TRUE(second.WaitAttached(kLineWaitMs));
  TMySQLMonitorHook hook(channel_.Prefix());
  hook.ExecuteText("db", "update a set b=1", true, "");
  hook.ExecuteText("db", "update a set b=2", true, "");
  hook.ExecuteText("db", "update a set b=3", true, "");
  for (MonitorProcess* monitor : {&first, &second}) {
    for (const char* text : {"update a set b=1", "update a set b=2", "update a set b=3"}) {
      std::string line;
      ASSERT_TRUE(monitor->ReadLine(line, kLineWaitMs)) << text;
      EXPECT_EQ(SplitFields(line).at(5), text);
    }
    EXPECT_EQ(monitor->Wait(kLineWaitMs), 0);
  }
}

TEST_F(SqlMonitorHookTest, TwoProcessesShareOneChannel) {
  MonitorProcess monitor(channel_.Prefix(), {"-n", "2", "-t", "connect"});
  ASSERT_TRUE(monitor.WaitAttached(kLineWaitMs));
  TMySQLMonitorHook hook(channel_.Prefix());
  hook.Connect("parent_db", true, "");
  ASSERT_TRUE(hook.WaitUntilWritten(kLineWaitMs));

  pid_t child = fork();
  if (child == 0) {
    // The second process opens the objects the first one made.
    TMySQLMonitorHook own(channel_.Prefix());
    own.Connect("child_db", false, "Access denied");
    bool written = own.WaitUntilWritten(kLineWaitMs);
    _exit(own.ResourcesReady() && written && own.QueuedReports() == 1 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  std::set<std::string> databases;
  std::string line;
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(monitor.ReadLine(line, kLineWaitMs));
    databases.insert(SplitFields(line).at(3) + "/" + SplitFields(line).at(4));
  }
  EXPECT_EQ(databases, (std::set<std::string>{"parent_db/1", "child_db/0"}));
}

TEST_F(SqlMonitorHookTest, QueuedReportsReachTheMonitorWhenTheHookGoes) {
  MonitorProcess monitor(channel_.Prefix(), {"-n", "20", "-t", "fetch"});
  ASSERT_TRUE(monitor.WaitAttached(kLineWaitMs));
  {
    TMySQLMonitorHook hook(channel_.Prefix());
    for (int row = 0; row < 20; ++row) hook.Fetch("db", "produto", row);
  }
  std::string line;
  for (int row = 0; row < 20; ++row) {
    ASSERT_TRUE(monitor.ReadLine(line, kLineWaitMs)) << row;
    EXPECT_EQ(SplitFields(line).at(5), "produto: Row # " + std::to_string(row) + "\\r\\n");
  }
}

TEST_F(SqlMonitorHookTest, SharedObjectsThatCannotBeMadeSwitchTheHookOff) {
  TMySQLMonitorHook hook("no/such/");
  EXPECT_FALSE(hook.Enabled());
  EXPECT_FALSE(hook.ResourcesReady());
  hook.Connect("db", true, "");
  EXPECT_EQ(hook.QueuedReports(), 0u);
  try {
    hook.PrepareResources();
    FAIL() << "no error raised";
  } catch (const engine::EMySQLMonitorError& error) {
    EXPECT_EQ(error.Message(), "Cannot create shared resource. (Windows error 22)");
  }
}

TEST(ProcessMonitorHookTest, OneObjectOnTheEnvironmentsChannel) {
  const std::string prefix = monitor_test::ProcessChannelPrefix();
  std::vector<TMySQLMonitorHook*> seen(4);
  std::vector<std::thread> threads;
  for (auto& slot : seen) threads.emplace_back([&slot] { slot = engine::MonitorHook(); });
  for (auto& thread : threads) thread.join();
  ASSERT_NE(seen[0], nullptr);
  for (TMySQLMonitorHook* hook : seen) EXPECT_EQ(hook, seen[0]);

  MonitorProcess monitor(prefix, {"-n", "1"});
  ASSERT_TRUE(monitor.WaitAttached(kLineWaitMs));
  TMySQLMonitorHook::SetApplicationTitle("Importador PDV");
  EXPECT_EQ(TMySQLMonitorHook::ApplicationTitle(), "Importador PDV");
  seen[0]->Rollback("tolve536_vidoru", true, "");
  std::string line;
  ASSERT_TRUE(monitor.ReadLine(line, kLineWaitMs));
  EXPECT_EQ(SplitFields(line).at(2), "Rollback");
  EXPECT_EQ(SplitFields(line).at(3), "tolve536_vidoru");
}

}  // namespace
