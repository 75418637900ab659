// Connection component: the parameter list kept in step with the
// properties, the open-database check, connect failures, holds by datasets,
// closing datasets, direct execution and transactions.
#include <gtest/gtest.h>

#include "component_fixture.h"
#include "db/Consts.h"
#include "engine/EngineErrors.h"

namespace components::testing {
namespace {

std::vector<std::string> Lines(const rtl::TStrings& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Strings(i));
  return out;
}

TEST(DatabaseParams, ANewComponentHasPortAndTimeoutOnly) {
  TmySQLDatabase d;
  EXPECT_EQ(Lines(d.Params()), (std::vector<std::string>{"Port=3306", "TIMEOUT=30"}));
  EXPECT_FALSE(d.Connected());
  EXPECT_EQ(d.ConnectOptions(), engine::ConnectOptionBit(engine::coCompress));
  EXPECT_TRUE(d.KeepConnection());
  EXPECT_FALSE(d.LoginPrompt());
  EXPECT_EQ(d.TransIsolation(), tiReadCommitted);
}

TEST(DatabaseParams, LinesFollowThePropertiesInTheOrderTheyWereSet) {
  TmySQLDatabase d;
  d.SetDatabaseName("t2tipafecf");
  d.SetUserName("root");
  d.SetUserPassword("kmzq");
  d.SetHost("localhost");
  EXPECT_EQ(Lines(d.Params()),
            (std::vector<std::string>{"Port=3306", "TIMEOUT=30", "DatabaseName=t2tipafecf",
                                      "UID=root", "PWD=kmzq", "Host=localhost"}));
  // An empty value removes the line; a new value comes back at the end.
  d.SetUserPassword("");
  EXPECT_EQ(d.Params().IndexOfName("PWD"), -1);
  d.SetUserPassword("novo");
  EXPECT_EQ(d.Params().Strings(d.Params().Count() - 1), "PWD=novo");
  d.SetPort(3307);
  d.SetConnectionTimeout(5);
  EXPECT_EQ(d.Params().Values("Port"), "3307");
  EXPECT_EQ(d.Params().Values("TIMEOUT"), "5");
}

using DatabaseTest = ComponentTest;

TEST_F(DatabaseTest, ChangesWhileConnectedRaiseTheOpenDatabaseError) {
  db_->SetName("dbPDV");
  db_->Open();
  ASSERT_TRUE(db_->Connected());
  const std::string host = db_->Host();
  // The same value is no change at all.
  EXPECT_NO_THROW(db_->SetHost(host));
  const std::string expected = "dbPDV: Cannot perform this operation on an open database";
  auto expect_refused = [&](const std::function<void()>& change) {
    try {
      change();
      ADD_FAILURE() << "change accepted while connected";
    } catch (const db::EDatabaseError& e) {
      EXPECT_EQ(std::string(e.what()), expected);
    }
  };
  expect_refused([&] { db_->SetHost("10.0.0.1"); });
  expect_refused([&] { db_->SetDatabaseName("outro"); });
  expect_refused([&] { db_->SetPort(1); });
  expect_refused([&] { db_->SetUserName("outro"); });
  expect_refused([&] { db_->SetUserPassword(""); });
  expect_refused([&] { db_->SetConnectionTimeout(5); });
  expect_refused([&] { db_->SetReadOnly(true); });
  expect_refused([&] {
    rtl::TStringList replacement;
    replacement.Add("Port=3306");
    db_->SetParams(replacement);
  });
  EXPECT_FALSE(db_->ReadOnly());
  EXPECT_EQ(db_->ConnectionTimeout(), 30u);
  EXPECT_EQ(db_->Params().Values("PWD"), kAgentPassword);
  expect_refused([&] { db_->Params().SetValues("UID", "x"); });
  expect_refused([&] { db_->Params().Add("Extra=1"); });
  EXPECT_EQ(db_->Host(), host);
  EXPECT_EQ(db_->Params().Values("Host"), host);
  EXPECT_EQ(db_->Params().Values("UID"), kAgentUser);
  // Open on an open connection and Close on a closed one do nothing.
  db_->Open();
  db_->Close();
  db_->Close();
  EXPECT_FALSE(db_->Connected());
  db_->SetHost(host);
}

TEST_F(DatabaseTest, WrongPasswordGoesToTheFailureEventOrRaises) {
  db_->SetUserPassword("errada");
  std::vector<std::string> messages;
  int after_connect = 0;
  db_->OnConnectionFailure = [&](TmySQLDatabase&, const std::string& m) { messages.push_back(m); };
  db_->AfterConnect = [&](TmySQLDatabase&) { ++after_connect; };
  db_->Open();
  EXPECT_FALSE(db_->Connected());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("MySQL Error Code: (1045)\r\n", 0), 0u) << messages[0];
  EXPECT_EQ(after_connect, 1);

  db_->OnConnectionFailure = nullptr;
  EXPECT_THROW(db_->Open(), engine::EmySQLDatabaseError);
  EXPECT_FALSE(db_->Connected());
}

TEST_F(DatabaseTest, MissingOrNonNumericPortFailsTheConnect) {
  // The conversion error itself, not an engine error wrapping it.
  auto expect_conversion_error = [&](const std::string& text) {
    try {
      db_->Open();
      ADD_FAILURE() << "connect with Port=" << text << " succeeded";
    } catch (const rtl::EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid integer value");
    } catch (const std::exception& e) {
      ADD_FAILURE() << "unexpected failure: " << e.what();
    }
    EXPECT_FALSE(db_->Connected());
  };
  db_->Params().SetValues("Port", "abc");
  expect_conversion_error("abc");
  db_->Params().SetValues("Port", "");
  ASSERT_EQ(db_->Params().IndexOfName("Port"), -1);
  expect_conversion_error("");
}

TEST_F(DatabaseTest, ConnectAndDisconnectHooksRunInOrder) {
  std::vector<std::string> log;
  auto note = [&log](const char* what) {
    return [&log, what](TmySQLDatabase& d) {
      log.push_back(std::string(what) + (d.Connected() ? "+" : "-"));
    };
  };
  db_->BeforeConnect = note("BeforeConnect");
  db_->AfterConnect = note("AfterConnect");
  db_->BeforeDisconnect = note("BeforeDisconnect");
  db_->AfterDisconnect = note("AfterDisconnect");
  TmySQLQuery& q = Query("select 1");
  q.BeforeClose = [&log](db::TDataSet&) { log.push_back("query closes"); };
  q.Open();
  db_->Close();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeConnect-", "AfterConnect+", "BeforeDisconnect+",
                                           "query closes", "AfterDisconnect-"}));
}

TEST_F(DatabaseTest, LoginPromptUsesTheLoginEvent) {
  db_->SetUserName("ninguem");
  db_->SetLoginPrompt(true);
  db_->OnLogin = [&](TmySQLDatabase&, rtl::TStrings& login) {
    login.SetValues("UID", kAgentUser);
    login.SetValues("PWD", kAgentPassword);
  };
  db_->Open();
  EXPECT_TRUE(db_->Connected());
  EXPECT_EQ(db_->Params().Values("UID"), kAgentUser);
}

TEST_F(DatabaseTest, LoginDialogStartsEmptyAndItsAnswersGoIntoTheParameters) {
  db_->SetUserName("ninguem");
  db_->SetLoginPrompt(true);
  std::string shown_database, shown_user = "unset";
  SetLoginDialog([&](const std::string& database, std::string& user, std::string& password) {
    shown_database = database;
    shown_user = user;
    user = kAgentUser;
    password = kAgentPassword;
    return true;
  });
  db_->Open();
  SetLoginDialog(nullptr);
  EXPECT_TRUE(db_->Connected());
  EXPECT_EQ(shown_database, db_->DatabaseName());
  EXPECT_EQ(shown_user, "");
  EXPECT_EQ(db_->Params().Values("UID"), kAgentUser);
  EXPECT_EQ(db_->Params().Values("PWD"), kAgentPassword);
  // The parameter list, not the property, carries the login.
  EXPECT_EQ(db_->UserName(), "ninguem");
}

TEST_F(DatabaseTest, CancelledLoginRaisesCannotConnect) {
  db_->SetLoginPrompt(true);
  SetLoginDialog([](const std::string&, std::string&, std::string&) { return false; });
  EXPECT_EQ(MessageOf([&] { db_->Open(); }), "Cannot connect to database 'tolvex_test'");
  SetLoginDialog(nullptr);
  EXPECT_FALSE(db_->Connected());
}

TEST_F(DatabaseTest, KeepConnectionFalseConnectsAroundEachQuery) {
  int connects = 0, disconnects = 0;
  db_->AfterConnect = [&](TmySQLDatabase&) { ++connects; };
  db_->AfterDisconnect = [&](TmySQLDatabase&) { ++disconnects; };
  db_->SetKeepConnection(false);
  TmySQLQuery& q = OpenQuery("select 1");
  EXPECT_TRUE(db_->Connected());
  EXPECT_EQ(db_->HoldCount(), 1);
  q.Close();
  EXPECT_FALSE(db_->Connected());
  const std::string t = CreateTable("(n INT)");
  TmySQLQuery& e = Query("insert into " + t + " values (1)");
  e.Execute();
  EXPECT_FALSE(db_->Connected());
  EXPECT_EQ(e.AffectedRowCount(), 1);
  EXPECT_EQ(connects, 2);
  EXPECT_EQ(disconnects, 2);

  db_->SetKeepConnection(true);
  q.Open();
  q.Close();
  EXPECT_TRUE(db_->Connected());
}

TEST_F(DatabaseTest, CloseClosesDatasetsLastRegisteredFirst) {
  TmySQLQuery& a = Query("select 1");
  TmySQLQuery& b = Query("select 2");
  const std::string t = CreateTable("(id INT PRIMARY KEY)");
  TmySQLTable& c = TableComponent(t);
  std::vector<std::string> order;
  for (TmySQLDataSet* ds : std::vector<TmySQLDataSet*>{&a, &b, &c})
    ds->BeforeClose = [&order](db::TDataSet& d) { order.push_back(d.Name()); };
  a.Open();
  b.Open();
  c.Open();
  EXPECT_EQ(db_->DataSetCount(), 3);
  db_->Close();
  EXPECT_EQ(order, (std::vector<std::string>{"tbl1", "qry2", "qry1"}));
  EXPECT_FALSE(a.Active() || b.Active() || c.Active());
  EXPECT_FALSE(a.Prepared());
  EXPECT_EQ(db_->DataSetCount(), 0);
}

TEST_F(DatabaseTest, TheLastConnectDecidesTheServerCodePage) {
  db_->Open();
  const int latin1 = engine::ServerCodePage();
  EXPECT_NE(latin1, 0);
  auto failing = MakeDatabase("dbFalha");
  failing->SetUserPassword("errada");
  failing->OnConnectionFailure = [](TmySQLDatabase&, const std::string&) {};
  failing->Open();
  EXPECT_EQ(engine::ServerCodePage(), 0);
  db_->Close();
  db_->Open();
  EXPECT_EQ(engine::ServerCodePage(), latin1);
}

TEST_F(DatabaseTest, EachConnectionReadsTextWithItsOwnCodePage) {
  // A latin2 database (ISO 8859-2 once SET CHARACTER SET has run), then a
  // latin1 one connected after it: the latin2 connection keeps converting
  // from ISO 8859-2.
  auto root = MakeDatabase("dbRoot", kTestDatabase, kRootUser, kRootPassword);
  root->Execute("create database if not exists tolvex_latin2 character set latin2");
  auto latin2 = MakeDatabase("dbLatin2", "tolvex_latin2");
  latin2->Open();
  db_->Open();
  EXPECT_EQ(engine::ServerCodePage(), 1);
  auto read = [](TmySQLDatabase& db) {
    TmySQLQuery q;
    q.SetDatabase(&db);
    q.SQL().Add("select convert(X'A9' using latin2) as s");
    q.Open();
    return q.Fields()[0].AsString();
  };
  EXPECT_EQ(read(*latin2), "\x8A");  // S caron, from its ISO 8859-2 byte
  EXPECT_EQ(read(*db_), "\x8A");     // the server converts for the latin1 session
}

TEST_F(DatabaseTest, ExecuteWithAndWithoutParameters) {
  const std::string t = CreateTable("(n INT, s VARCHAR(10))");
  EXPECT_EQ(db_->Execute("insert into " + t + " values (1,'a'),(2,'b')"), 2);
  db::TParams params;
  params.CreateParam(db::ftInteger, "n", db::ptInput).SetAsInteger(2);
  const std::string update = "update " + t + " set s='z' where n >= :n";
  EXPECT_EQ(db_->Execute(update, &params, true), 1);
  EXPECT_EQ(db_->CachedStatementCount(), 1);
  params[0].SetAsInteger(1);
  EXPECT_EQ(db_->Execute(update, &params, true), 1);  // the row with n=2 is 'z' already
  EXPECT_EQ(db_->CachedStatementCount(), 1);
  db_->ClearStatements();
  EXPECT_EQ(db_->CachedStatementCount(), 0);
  EXPECT_EQ(Value("select group_concat(s order by n) from " + t), "z,z");
}

TEST_F(DatabaseTest, TransactionsNeedAnOpenConnection) {
  EXPECT_EQ(MessageOf([&] { db_->StartTransaction(); }),
            "Cannot perform this operation on a closed database");
  const std::string t = CreateTable("(n INT) ENGINE=InnoDB");
  db_->Open();
  EXPECT_FALSE(db_->InTransaction());
  db_->StartTransaction();
  EXPECT_TRUE(db_->InTransaction());
  db_->Execute("insert into " + t + " values (1)");
  db_->Rollback();
  EXPECT_FALSE(db_->InTransaction());
  EXPECT_EQ(Value("select count(*) from " + t), "0");
  db_->StartTransaction();
  db_->Execute("insert into " + t + " values (2)");
  db_->Commit();
  EXPECT_EQ(Value("select count(*) from " + t), "1");
}

}  // namespace
}  // namespace components::testing
