// Engine benchmark: how much the native cursor adds to the wire client.
//
// Over the 1,000,000-row bench table it measures, in one run:
//   wire_s    the wire client's stored result built and walked value by value
//   engine_s  a statement cursor opened on the same SELECT and walked with
//             GetNextRecord plus GetField of every field of every record
//   sort_s    SortFieldNames of two columns over that cursor
// Each is the best of --repeat runs (default 2). Last line:
//   rows=... wire_s=... engine_s=... ratio=... sort_s=...
// with ratio = engine_s / wire_s.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/BenchCommon.h"
#include "common/BenchTable.h"
#include "common/EngineWalk.h"
#include "engine/MySQLEngine.h"
#include "wire/MysqlClient.h"

namespace {

constexpr const char* kProgram = "bench_engine";

double WireWalk(wire::TMysqlClient& c, std::uint64_t& rows) {
  bench::Timer t;
  std::uint64_t checksum = 0;
  if (!bench::WalkStoredResult(c, rows, checksum)) {
    std::fprintf(stderr, "bench_engine: wire read failed: %s\n", c.ErrorMessage().c_str());
    std::exit(1);
  }
  double s = t.Seconds();
  if (checksum == 0) std::fprintf(stderr, "bench_engine: empty values?\n");
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  const bench::EngineBench b = bench::StartEngineBench(argc, argv, kProgram);

  // Both sides read uncompressed, as the engine connection below does.
  wire::TMysqlClient client;
  client.SetCompress(false);
  if (!client.ConnectToServer(b.o.host, b.account.user, b.account.password, bench::kBenchDatabase,
                              b.o.port, "", true, bench::kClientFlags)) {
    std::fprintf(stderr, "bench_engine: %s\n", client.ErrorMessage().c_str());
    return 1;
  }
  std::uint64_t rows = 0;
  double wire_s = 1e9;
  engine::TmySQLEngine e;
  engine::TNativeConnect* conn = bench::OpenEngine(e, b.o, b.account, kProgram);
  double engine_s = 1e9, sort_s = 1e9;
  std::uint64_t engine_rows = 0, checksum = 0;
  // Wire and engine walks take turns, so both see the same server load.
  for (int i = 0; i < b.repeat; ++i) {
    wire_s = std::min(wire_s, WireWalk(client, rows));
    double sorted = 0;
    const bench::WalkFigures walk = bench::EngineWalk(e, conn, bench::kBenchSelect, kProgram,
                                                      [&](engine::TNativeDataSet* cursor) {
                                                        bench::Timer s;
                                                        cursor->SetSortFieldNames("nome DESC, id");
                                                        sorted = s.Seconds();
                                                      });
    engine_rows = walk.rows;
    checksum += walk.checksum;
    engine_s = std::min(engine_s, walk.seconds);
    sort_s = std::min(sort_s, sorted);
  }
  e.CloseDatabase(conn);
  if (engine_rows != rows) {
    std::fprintf(stderr, "bench_engine: engine read %llu rows, wire %llu\n",
                 static_cast<unsigned long long>(engine_rows),
                 static_cast<unsigned long long>(rows));
    return 1;
  }
  if (checksum == 0) std::fprintf(stderr, "bench_engine: empty values?\n");
  std::printf("rows=%llu %s\n", static_cast<unsigned long long>(rows),
              bench::FormatFigures({{"wire_s", wire_s},
                                    {"engine_s", engine_s},
                                    {"ratio", wire_s > 0 ? engine_s / wire_s : 0},
                                    {"sort_s", sort_s}})
                  .c_str());
  return 0;
}
