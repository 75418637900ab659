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
#include "common/EngineWalk.h"
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

constexpr const char* kProgram = "bench_components";

double ComponentWalk(components::TmySQLDatabase& db, std::uint64_t& rows, std::uint64_t& checksum) {
  components::TmySQLQuery q;
  q.SetDatabase(&db);
  q.SQL().Add(bench::kBenchSelect);
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
  const bench::EngineBench b = bench::StartEngineBench(argc, argv, kProgram);

  engine::TmySQLEngine e;
  engine::TNativeConnect* conn = bench::OpenEngine(e, b.o, b.account, kProgram);

  components::TmySQLDatabase db;
  db.SetName("dbBench");
  db.SetConnectOptions(0);
  rtl::TStringList params;
  for (const std::string& line : bench::EngineParams(b.o, b.account)) params.Add(line);
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
  for (int i = 0; i < b.repeat; ++i) {
    double cpu = CpuSeconds();
    const bench::WalkFigures walk = bench::EngineWalk(e, conn, bench::kBenchSelect, kProgram);
    engine_rows = walk.rows;
    engine_sum += walk.checksum;
    engine_s = std::min(engine_s, walk.seconds);
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
