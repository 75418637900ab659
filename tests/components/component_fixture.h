// Fixture for component tests against the sandbox server: a connection
// component set up like the agent's (six parameter lines, compression), a
// helper connection for preparing and checking data, and tables named after
// the running test so that tests may run side by side.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "components/MySQLDatabase.h"
#include "components/MySQLQuery.h"
#include "components/MySQLTable.h"
#include "db/DBError.h"
#include "db/DataSource.h"
#include "support/Sandbox.h"

namespace components::testing {

// The message of the `Error` that `action` raises; a failure of the test,
// and an empty text, when it raises none.
template <typename Error = db::EDatabaseError, typename Action>
std::string MessageOf(Action&& action) {
  try {
    action();
  } catch (const Error& e) {
    return e.what();
  }
  ADD_FAILURE() << "no error raised";
  return "";
}

class ComponentTest : public support::SandboxTest {
 protected:
  void SetUp() override {
    SandboxTest::SetUp();
    if (IsSkipped()) return;
    db_ = MakeDatabase("dbTeste");
    helper_ = MakeDatabase("dbAjuda");
    helper_->Open();
  }

  void TearDown() override {
    if (helper_) {
      for (const auto& t : tables_) {
        try {
          helper_->Execute("DROP TABLE IF EXISTS " + t);
        } catch (...) {
          // A table left behind is dropped by the next run's setup.
        }
      }
    }
    queries_.clear();
    tables_objs_.clear();
    db_.reset();
    helper_.reset();
  }

  std::unique_ptr<TmySQLDatabase> MakeDatabase(const std::string& name,
                                               const std::string& database = kTestDatabase,
                                               const std::string& user = kAgentUser,
                                               const std::string& password = kAgentPassword) {
    auto d = std::make_unique<TmySQLDatabase>();
    d->SetName(name);
    d->SetDatabaseName(database);
    d->SetUserName(user);
    d->SetUserPassword(password);
    d->SetHost(Host());
    d->SetPort(static_cast<std::uint32_t>(Port()));
    return d;
  }

  // A table name unique to the running test.
  std::string Table(const std::string& suffix = "") {
    const std::string name = TestTableName("cmp_", suffix, 60);
    tables_.push_back(name);
    // A run that was killed may have left it behind.
    helper_->Execute("DROP TABLE IF EXISTS " + name);
    return name;
  }

  void Exec(const std::string& sql) { helper_->Execute(sql); }

  // A table of the running test's own, created with `definition` (the
  // column list and any table options) and filled with `rows` (the text
  // after VALUES) when given.
  std::string CreateTable(const std::string& definition, const std::string& rows = "") {
    const std::string name = Table();
    Exec("CREATE TABLE " + name + " " + definition);
    if (!rows.empty()) Exec("INSERT INTO " + name + " VALUES " + rows);
    return name;
  }

  // The single value a statement returns, read on the helper connection
  // (or on `on`).
  std::string Value(const std::string& sql, TmySQLDatabase* on = nullptr) {
    TmySQLQuery q;
    q.SetDatabase(on ? on : helper_.get());
    q.SQL().Add(sql);
    q.Open();
    std::string v = q.Fields()[0].AsString();
    q.Close();
    return v;
  }

  // The "id" column of every record of `d`, from the first.
  static std::vector<int> Ids(db::TDataSet& d) {
    std::vector<int> ids;
    d.First();
    while (!d.Eof()) {
      ids.push_back(d.FieldByName("id").AsInteger());
      d.Next();
    }
    return ids;
  }

  // Closes a query and gives it a new text, as the agent does before each
  // statement.
  static void Rewrite(TmySQLQuery& q, const std::string& sql) {
    q.Close();
    q.SQL().Clear();
    q.SQL().Add(sql);
  }

  TmySQLQuery& Query(const std::string& sql = "", TmySQLDatabase* on = nullptr) {
    auto q = std::make_unique<TmySQLQuery>();
    q->SetName("qry" + std::to_string(queries_.size() + 1));
    q->SetDatabase(on ? on : db_.get());
    if (!sql.empty()) q->SQL().Add(sql);
    queries_.push_back(std::move(q));
    return *queries_.back();
  }

  // A query component on `sql`, opened.
  TmySQLQuery& OpenQuery(const std::string& sql) {
    TmySQLQuery& q = Query(sql);
    q.Open();
    return q;
  }

  TmySQLTable& TableComponent(const std::string& table_name) {
    auto t = std::make_unique<TmySQLTable>();
    t->SetName("tbl" + std::to_string(tables_objs_.size() + 1));
    t->SetDatabase(db_.get());
    t->SetTableName(table_name);
    tables_objs_.push_back(std::move(t));
    return *tables_objs_.back();
  }

  // A table component on `table_name` that follows the dataset of `master`
  // by `field`, through the index on it.
  TmySQLTable& DetailTable(const std::string& table_name, db::TDataSource& master,
                           const std::string& field) {
    TmySQLTable& detail = TableComponent(table_name);
    detail.SetIndexFieldNames(field);
    detail.SetMasterSource(&master);
    detail.SetMasterFields(field);
    return detail;
  }

  // COM_UPDATE of the component connection's own session.
  int SessionUpdates() {
    return std::stoi(
        Value("select VARIABLE_VALUE from information_schema.SESSION_STATUS where "
              "VARIABLE_NAME='COM_UPDATE'",
              db_.get()));
  }

  std::unique_ptr<TmySQLDatabase> db_;
  std::unique_ptr<TmySQLDatabase> helper_;
  std::vector<std::string> tables_;
  std::vector<std::unique_ptr<TmySQLQuery>> queries_;
  std::vector<std::unique_ptr<TmySQLTable>> tables_objs_;
};

}  // namespace components::testing
