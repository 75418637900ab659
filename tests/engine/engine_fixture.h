// Fixture for engine tests against the sandbox server: one engine, one
// native connection to the scratch database, helpers to run statements and
// read fields. Tables are named after the test so tests may run in
// parallel.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/MySQLEngine.h"
#include "support/Sandbox.h"

namespace engine {

// The engine's descriptor and property records are packed: a test copies a
// field out before handing it to a comparison that takes a reference.
template <typename T>
T Packed(T value) {
  return value;
}

class EngineTest : public support::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(engine_.OpenDatabase(ConnectOptionBit(coCompress), Params(kAgentUser, kAgentPassword),
                                   conn_),
              0)
        << engine_.LastErrorMessage();
  }

  void TearDown() override {
    for (auto* c : cursors_) engine_.FreeStatement(c);
    if (!conn_) return;
    for (const auto& t : tables_)
      engine_.ExecuteDirect(conn_, "DROP TABLE IF EXISTS " + t, nullptr);
    engine_.CloseDatabase(conn_);
  }

  std::vector<std::string> Params(const std::string& user, const std::string& password,
                                  const std::string& database = kTestDatabase) {
    return {"Port=" + std::to_string(Port()),
            "TIMEOUT=10",
            "DatabaseName=" + database,
            "UID=" + user,
            "PWD=" + password,
            "Host=" + Host()};
  }

  // A table name unique to the running test.
  std::string Table(const std::string& suffix = "") {
    // Runs of the suite in other processes may share the server.
    const std::string name = TestTableName("eng_", suffix, 52) + "_" + std::to_string(getpid());
    tables_.push_back(name);
    // A run that crashed may have left it behind.
    engine_.ExecuteDirect(conn_, "DROP TABLE IF EXISTS " + name, nullptr);
    return name;
  }

  void Exec(const std::string& sql) {
    ASSERT_EQ(engine_.ExecuteDirect(conn_, sql, nullptr), 0)
        << sql << ": " << engine_.LastErrorMessage();
  }

  // A table of the running test's own, created with `definition` (the
  // column list and any table options) and filled with `rows` (the text
  // after VALUES) when given.
  std::string CreateTable(const std::string& definition, const std::string& rows = "") {
    const std::string name = Table();
    Exec("CREATE TABLE " + name + " " + definition);
    if (!rows.empty()) Exec("INSERT INTO " + name + " VALUES " + rows);
    return name;
  }

  // A statement cursor opened on `sql` (null when it returned no rows).
  TNativeDataSet* Open(const std::string& sql, int result_set_no = 0) {
    TNativeDataSet* stmt = nullptr;
    EXPECT_EQ(engine_.AllocateStatement(conn_, stmt), 0);
    EXPECT_EQ(engine_.PrepareStatement(stmt, sql), 0);
    stmt->SetResultSetNumber(result_set_no);
    TNativeDataSet* cursor = nullptr;
    DBIResult r = engine_.ExecuteStatement(stmt, &cursor);
    EXPECT_EQ(r, 0) << sql << ": " << engine_.LastErrorMessage();
    cursors_.push_back(stmt);
    return cursor;
  }

  TNativeDataSet* OpenTable(const std::string& table, const std::string& index = "", int limit = -1,
                            int offset = 0) {
    TNativeDataSet* cursor = nullptr;
    DBIResult r = engine_.OpenTable(conn_, table, index, limit, offset, cursor);
    EXPECT_EQ(r, 0) << engine_.LastErrorMessage();
    return cursor;
  }

  std::vector<std::uint8_t> Buffer(TNativeDataSet* cursor) {
    return std::vector<std::uint8_t>(cursor->RecordSize() + 16, 0xCC);
  }

  std::string Text(TNativeDataSet* cursor, int field, const std::vector<std::uint8_t>& buffer) {
    std::vector<char> value(70000, 0);
    bool is_null = false;
    EXPECT_EQ(engine_.GetField(cursor, field, buffer.data(), value.data(), is_null), 0);
    return is_null ? std::string("<null>") : std::string(value.data());
  }

  template <typename T>
  T Value(TNativeDataSet* cursor, int field, const std::vector<std::uint8_t>& buffer,
          bool* is_null = nullptr) {
    T value{};
    bool null = false;
    EXPECT_EQ(engine_.GetField(cursor, field, buffer.data(), &value, null), 0);
    if (is_null) *is_null = null;
    return value;
  }

  // The value of a field as the engine writes it in statements (unquoted),
  // "<null>" for null.
  std::string Plain(TNativeDataSet* cursor, int field, const std::vector<std::uint8_t>& buffer) {
    bool is_null = false;
    EXPECT_EQ(engine_.GetField(cursor, field, buffer.data(), nullptr, is_null), 0);
    return is_null ? std::string("<null>") : cursor->ValueText(field, buffer.data());
  }

  // Values of column `field` over every record, read forward.
  std::vector<std::string> Column(TNativeDataSet* cursor, int field) {
    std::vector<std::string> out;
    auto buffer = Buffer(cursor);
    engine_.SetToBegin(cursor);
    while (engine_.GetNextRecord(cursor, 0, nullptr, buffer.data()) == 0)
      out.push_back(Plain(cursor, field, buffer));
    // The buffer dies here; later moves must not fill it.
    engine_.ReleaseRecordBuffer(cursor, buffer.data());
    return out;
  }

  TmySQLEngine engine_;
  TNativeConnect* conn_ = nullptr;
  std::vector<std::string> tables_;
  std::vector<TNativeDataSet*> cursors_;
};

}  // namespace engine
