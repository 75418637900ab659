// Component benchmark: how much the query component adds to the engine.
//
// Over the 1,000,000-row bench table it measures, in one run:
//   engine_s      a statement cursor opened on "select * from bench_rows" and
//                 walked with GetNextRecord plus GetField of every field
//   components_s  a TmySQLQuery opened on the same text and walked with Next
//                 to the end, reading every field with AsString
// Each is the best of --repeat runs (default 2). Last line:
//   rows=... engine_s=... components_s=... ratio=...
// with ratio = components_s / engine_s.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "common/BenchCommon.h"
#include "common/BenchTable.h"
#include "components/MySQLDatabase.h"
#include "components/MySQLQuery.h"
#include "engine/MySQLEngine.h"
#include "wire/MysqlClient.h"

namespace {

double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
}

const std::string kSelect = std::string("select * from ") + bench::kBenchTable;

struct Account {
  std::string user, password;
};

// The account that logs in: the one given, else root, else the agent's
// account (a password-less root@127.0.0.1 may shadow root@%).
Account Login(const bench::Options& o) {
  wire::TMysqlClient c;
  if (c.ConnectToServer(o.host, o.user, o.password, bench::kBenchDatabase, o.port, "", true,
                        0x30000))
    return {o.user, o.password};
  if (c.ErrorNumber() == 1045 && !o.userGiven) return {"tolve536", "kb71530264809"};
  std::fprintf(stderr, "bench_components: cannot connect to %s:%d: %d %s\n", o.host.c_str(), o.port,
               c.ErrorNumber(), c.ErrorMessage().c_str());
  std::exit(1);
}

std::vector<std::string> Params(const bench::Options& o, const Account& a) {
  return {"Port=" + std::to_string(o.port), "Host=" + o.host, "UID=" + a.user, "PWD=" + a.password,
          "DatabaseName=" + std::string(bench::kBenchDatabase)};
}

void Check(engine::TmySQLEngine& e, engine::DBIResult r, const char* what) {
  if (r == 0) return;
  std::fprintf(stderr, "bench_components: %s failed: %u %s\n", what, r,
               e.LastErrorMessage().c_str());
  std::exit(1);
}

double EngineWalk(engine::TmySQLEngine& e, engine::TNativeConnect* conn, std::uint64_t& rows,
                  std::uint64_t& checksum) {
  engine::TNativeDataSet* stmt = nullptr;
  Check(e, e.AllocateStatement(conn, stmt), "AllocateStatement");
  Check(e, e.PrepareStatement(stmt, kSelect), "PrepareStatement");
  bench::Timer t;
  engine::TNativeDataSet* cursor = nullptr;
  Check(e, e.ExecuteStatement(stmt, &cursor), "ExecuteStatement");
  engine::CursorProperties props;
  Check(e, e.GetCursorProperties(cursor, props), "GetCursorProperties");
  std::vector<std::uint8_t> buffer(props.iRecBufSize);
  std::vector<char> value(70000);
  e.SetToBegin(cursor);
  rows = 0;
  while (e.GetNextRecord(cursor, 0, nullptr, buffer.data()) == 0) {
    ++rows;
    for (int k = 1; k <= props.iFields; ++k) {
      bool is_null = false;
      e.GetField(cursor, k, buffer.data(), value.data(), is_null);
      checksum += is_null ? 1u : static_cast<unsigned char>(value[0]);
    }
  }
  const double s = t.Seconds();
  e.FreeStatement(stmt);
  return s;
}

double ComponentWalk(components::TmySQLDatabase& db, std::uint64_t& rows, std::uint64_t& checksum) {
  components::TmySQLQuery q;
  q.SetDatabase(&db);
  q.SQL().Add(kSelect);
  bench::Timer t;
  q.Open();
  const int fields = q.FieldCount();
  rows = 0;
  while (!q.Eof()) {
    ++rows;
    for (int k = 0; k < fields; ++k) {
      const std::string v = q.Fields()[k].AsString();
      checksum += v.empty() ? 1u : static_cast<unsigned char>(v[0]);
    }
    q.Next();
  }
  const double s = t.Seconds();
  q.Close();
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Options o = bench::ParseOptions(argc, argv, {}, {"repeat"});
  const int repeat = std::max(1, std::atoi(o.Value("repeat", "2").c_str()));
  const Account account = Login(o);
  {
    wire::TMysqlClient c;
    c.ConnectToServer(o.host, account.user, account.password, bench::kBenchDatabase, o.port, "",
                      true, 0x30000);
    std::string error;
    if (!bench::EnsureBenchTable(c, error)) {
      std::fprintf(stderr, "bench_components: cannot prepare %s: %s\n", bench::kBenchTable,
                   error.c_str());
      return 1;
    }
  }

  engine::TmySQLEngine e;
  engine::TNativeConnect* conn = nullptr;
  Check(e, e.OpenDatabase(0, Params(o, account), conn), "OpenDatabase");

  components::TmySQLDatabase db;
  db.SetName("dbBench");
  db.SetConnectOptions(0);
  rtl::TStringList params;
  for (const std::string& line : Params(o, account)) params.Add(line);
  db.SetParams(params);
  try {
    db.Open();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_components: %s\n", error.what());
    return 1;
  }

  std::uint64_t engine_rows = 0, component_rows = 0, engine_sum = 0, component_sum = 0;
  double engine_s = 1e9, components_s = 1e9;
  // The two walks take turns, so both see the same server load.
  for (int i = 0; i < repeat; ++i) {
    double cpu = CpuSeconds();
    engine_s = std::min(engine_s, EngineWalk(e, conn, engine_rows, engine_sum));
    std::fprintf(stderr, "engine walk: %.3f s of processor time\n", CpuSeconds() - cpu);
    try {
      cpu = CpuSeconds();
      components_s = std::min(components_s, ComponentWalk(db, component_rows, component_sum));
      std::fprintf(stderr, "component walk: %.3f s of processor time\n", CpuSeconds() - cpu);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "bench_components: %s\n", error.what());
      return 1;
    }
  }
  e.CloseDatabase(conn);
  db.Close();
  if (engine_rows != component_rows) {
    std::fprintf(stderr, "bench_components: engine read %llu rows, components %llu\n",
                 static_cast<unsigned long long>(engine_rows),
                 static_cast<unsigned long long>(component_rows));
    return 1;
  }
  if (engine_sum == 0 || component_sum == 0)
    std::fprintf(stderr, "bench_components: empty values?\n");
  std::printf("rows=%llu %s\n", static_cast<unsigned long long>(component_rows),
              bench::FormatFigures({{"engine_s", engine_s},
                                    {"components_s", components_s},
                                    {"ratio", engine_s > 0 ? components_s / engine_s : 0}})
                  .c_str());
  return 0;
}
