#include "common/EngineWalk.h"

#include <cstdio>
#include <cstdlib>

#include "common/BenchTable.h"
#include "wire/MysqlClient.h"

namespace bench {

Account Login(const Options& o, const char* program) {
  wire::TMysqlClient c;
  if (c.ConnectToServer(o.host, o.user, o.password, kBenchDatabase, o.port, "", true, kClientFlags))
    return {o.user, o.password};
  if (c.ErrorNumber() == 1045 && !o.userGiven) return {"tolve536", "kb71530264809"};
  std::fprintf(stderr, "%s: cannot connect to %s:%d: %d %s\n", program, o.host.c_str(), o.port,
               c.ErrorNumber(), c.ErrorMessage().c_str());
  std::exit(1);
}

void PrepareBenchTable(const Options& o, const Account& a, const char* program) {
  wire::TMysqlClient c;
  c.ConnectToServer(o.host, a.user, a.password, kBenchDatabase, o.port, "", true, kClientFlags);
  std::string error;
  if (!EnsureBenchTable(c, error)) {
    std::fprintf(stderr, "%s: cannot prepare %s: %s\n", program, kBenchTable, error.c_str());
    std::exit(1);
  }
}

EngineBench StartEngineBench(int argc, char** argv, const char* program) {
  EngineBench b;
  b.o = ParseOptions(argc, argv, {}, {"repeat"});
  b.repeat = RepeatOption(b.o);
  b.account = Login(b.o, program);
  PrepareBenchTable(b.o, b.account, program);
  return b;
}

std::vector<std::string> EngineParams(const Options& o, const Account& a) {
  return {"Port=" + std::to_string(o.port), "Host=" + o.host, "UID=" + a.user, "PWD=" + a.password,
          "DatabaseName=" + std::string(kBenchDatabase)};
}

void CheckEngine(engine::TmySQLEngine& e, engine::DBIResult r, const char* what,
                 const char* program) {
  if (r == 0) return;
  std::fprintf(stderr, "%s: %s failed: %u %s\n", program, what, r, e.LastErrorMessage().c_str());
  std::exit(1);
}

engine::TNativeConnect* OpenEngine(engine::TmySQLEngine& e, const Options& o, const Account& a,
                                   const char* program) {
  engine::TNativeConnect* conn = nullptr;
  CheckEngine(e, e.OpenDatabase(0, EngineParams(o, a), conn), "OpenDatabase", program);
  return conn;
}

WalkFigures EngineWalk(engine::TmySQLEngine& e, engine::TNativeConnect* conn,
                       const std::string& select, const char* program,
                       const std::function<void(engine::TNativeDataSet*)>& afterWalk) {
  engine::TNativeDataSet* stmt = nullptr;
  CheckEngine(e, e.AllocateStatement(conn, stmt), "AllocateStatement", program);
  CheckEngine(e, e.PrepareStatement(stmt, select), "PrepareStatement", program);
  WalkFigures f;
  Timer t;
  engine::TNativeDataSet* cursor = nullptr;
  CheckEngine(e, e.ExecuteStatement(stmt, &cursor), "ExecuteStatement", program);
  engine::CursorProperties props;
  CheckEngine(e, e.GetCursorProperties(cursor, props), "GetCursorProperties", program);
  std::vector<std::uint8_t> buffer(props.iRecBufSize);
  std::vector<char> value(70000);
  e.SetToBegin(cursor);
  while (e.GetNextRecord(cursor, 0, nullptr, buffer.data()) == 0) {
    ++f.rows;
    for (int k = 1; k <= props.iFields; ++k) {
      bool is_null = false;
      e.GetField(cursor, k, buffer.data(), value.data(), is_null);
      f.checksum += is_null ? 1u : static_cast<unsigned char>(value[0]);
    }
  }
  f.seconds = t.Seconds();
  if (afterWalk) afterWalk(cursor);
  e.ReleaseRecordBuffer(cursor, buffer.data());
  e.FreeStatement(stmt);
  return f;
}

}  // namespace bench
