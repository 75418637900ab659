// What the engine reports while a program connects, queries, fetches and
// runs transactions against the sandbox server, as sqlmonitor prints it.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "MonitorTestSupport.h"
#include "engine/MySQLEngine.h"
#include "engine/SqlMonitor.h"
#include "support/Sandbox.h"

namespace {

using monitor_test::MonitorProcess;
using monitor_test::SplitFields;

constexpr int kLineWaitMs = 10000;

class EngineMonitorTest : public support::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    if (IsSkipped()) return;
    // The process's hook works on the channel named by the environment.
    prefix_ = monitor_test::ProcessChannelPrefix();
    ASSERT_NE(engine::MonitorHook(), nullptr);
  }

  std::vector<std::string> Params(const std::string& database = kTestDatabase) {
    return {"Port=" + std::to_string(Port()),     "TIMEOUT=10",
            "DatabaseName=" + database,           "UID=" + std::string(kAgentUser),
            "PWD=" + std::string(kAgentPassword), "Host=" + Host()};
  }

  // Connects, runs a query and walks it, runs a transaction of each kind,
  // a failing statement and disconnects.
  void RunSession() {
    engine::TmySQLEngine engine;
    engine::TNativeConnect* connection = nullptr;
    ASSERT_EQ(
        engine.OpenDatabase(engine::ConnectOptionBit(engine::coCompress), Params(), connection), 0)
        << engine.LastErrorMessage();
    engine::TNativeDataSet* statement = nullptr;
    ASSERT_EQ(engine.AllocateStatement(connection, statement), 0);
    ASSERT_EQ(engine.PrepareStatement(statement, "SELECT 1 UNION ALL SELECT 2"), 0);
    engine::TNativeDataSet* cursor = nullptr;
    ASSERT_EQ(engine.ExecuteStatement(statement, &cursor), 0) << engine.LastErrorMessage();
    ASSERT_NE(cursor, nullptr);
    std::vector<std::uint8_t> buffer(cursor->RecordSize() + 16);
    EXPECT_EQ(engine.GetNextRecord(cursor, 0, nullptr, buffer.data()), 0);
    EXPECT_EQ(engine.GetNextRecord(cursor, 0, nullptr, buffer.data()), 0);
    engine.FreeStatement(statement);

    engine::TNativeConnect* transaction = nullptr;
    EXPECT_EQ(engine.BeginTransaction(connection, 1, transaction), 0);
    EXPECT_EQ(engine.EndTransaction(connection, transaction, 0), 0);
    EXPECT_EQ(engine.BeginTransaction(connection, 1, transaction), 0);
    EXPECT_EQ(engine.EndTransaction(connection, transaction, 1), 0);
    EXPECT_NE(engine.ExecuteDirect(connection, "SELECT\t* FROM mon_no_such_table", nullptr), 0);
    engine.CloseDatabase(connection);
  }

  // Lines up to and including the one whose event is `last`.
  std::vector<std::vector<std::string>> LinesUntil(MonitorProcess& monitor,
                                                   const std::string& last) {
    std::vector<std::vector<std::string>> lines;
    std::string line;
    while (monitor.ReadLine(line, kLineWaitMs)) {
      auto fields = SplitFields(line);
      fields.erase(fields.begin());  // the time
      lines.push_back(fields);
      if (fields.at(1) == last) break;
    }
    return lines;
  }

  std::string prefix_;
};

TEST_F(EngineMonitorTest, SessionArrivesInOrderWithNamesTextsAndSuccess) {
  MonitorProcess monitor(prefix_, {});
  ASSERT_TRUE(monitor.WaitAttached(kLineWaitMs));
  RunSession();
  auto lines = LinesUntil(monitor, "Disconnect");
  ASSERT_FALSE(lines.empty());

  // Statements the engine sends on its own (character set queries) may come
  // in between; the session's own reports arrive in this order.
  const std::string db = kTestDatabase;
  const std::vector<std::vector<std::string>> expected = {
      {"connect", "Connect", db, "1", "", ""},
      {"prepare", "Prepare", db, "1", "SELECT 1 UNION ALL SELECT 2", ""},
      {"execute", "Execute", db, "1", "SELECT 1 UNION ALL SELECT 2", ""},
      {"fetch", "Fetch", db, "1", "Query: Row # 0\\r\\n", ""},
      {"fetch", "Fetch", db, "1", "Query: Row # 1\\r\\n", ""},
      {"transaction", "Start transaction", db, "1", "", ""},
      {"transaction", "Commit (Hard commit)", db, "1", "", ""},
      {"transaction", "Start transaction", db, "1", "", ""},
      {"transaction", "Rollback", db, "1", "", ""},
      {"execute", "Execute", db, "0", "SELECT#$09* FROM mon_no_such_table",
       "Table 'tolvex_test.mon_no_such_table' doesn't exist"},
      {"connect", "Disconnect", db, "1", "", ""},
  };
  auto at = lines.begin();
  for (const auto& fields : expected) {
    at = std::find(at, lines.end(), fields);
    ASSERT_NE(at, lines.end()) << "missing in order: " << fields[1] << " " << fields[4];
    ++at;
  }
}

TEST_F(EngineMonitorTest, UnwantedTraceTypesDoNotArrive) {
  MonitorProcess monitor(prefix_, {"--types", "transaction,connect"});
  ASSERT_TRUE(monitor.WaitAttached(kLineWaitMs));
  RunSession();
  auto lines = LinesUntil(monitor, "Disconnect");
  std::vector<std::string> events;
  for (const auto& fields : lines) events.push_back(fields.at(1));
  EXPECT_EQ(events,
            (std::vector<std::string>{"Connect", "Start transaction", "Commit (Hard commit)",
                                      "Start transaction", "Rollback", "Disconnect"}));
}

TEST_F(EngineMonitorTest, WithoutAMonitorTheEngineQueuesNothing) {
  const std::uint64_t before = engine::MonitorHook()->QueuedReports();
  RunSession();
  EXPECT_EQ(engine::MonitorHook()->QueuedReports(), before);
}

}  // namespace
