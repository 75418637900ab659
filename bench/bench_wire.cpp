// Reading a large result with the wire client.
//
// Times "select * from tolvex_test.bench_rows" (1,000,000 rows x 8 columns)
// in two ways: drain reads every packet of the result without decoding rows
// (the floor the transport and packet layer allow), stored builds the whole
// stored result and walks every value. Each is run --repeat times (default
// 2) and the best time kept. The figures are printed once with compression
// (first line) and once without (last line):
//
//   rows=... drain_s=... stored_s=... ratio=... rows_per_s=... peak_rss_mb=... payload_mb=...
//
// ratio = stored_s / drain_s; rows_per_s from stored_s; peak_rss_mb is the
// process's peak resident size during the stored runs; payload_mb the bytes
// of all packet payloads of the result (MiB). --drain runs only the drain,
// --compress only the compressed pass, --plain only the uncompressed one.
// --tls runs the uncompressed pass over plain TCP and then over TLS (one
// handshake per connection, not per statement) and ends with
//
//   tls=1 rows=... stored_s=... ... tls_ratio=...
//
// tls_ratio = the stored time over TLS / the stored time over plain TCP.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "common/BenchCommon.h"
#include "common/BenchTable.h"
#include "wire/MysqlClient.h"
#include "wire/MysqlProtocol.h"

namespace {

struct Figures {
  std::uint64_t rows = 0;
  double drainSeconds = 0;
  double storedSeconds = 0;
  double peakRssMb = 0;
  double payloadMb = 0;
};

std::unique_ptr<wire::TMysqlClient> Connect(const bench::Options& o, bool compress,
                                            bool tls = false) {
  auto c = std::make_unique<wire::TMysqlClient>();
  c->SetCompress(compress);
  if (tls) c->SetTlsOptions({wire::TlsMode::Required, {}, {}});
  const std::uint32_t flags = bench::kClientFlags | (compress ? wire::CLIENT_COMPRESS : 0u);
  if (c->ConnectToServer(o.host, o.user, o.password, bench::kBenchDatabase, o.port, "", true,
                         flags)) {
    return c;
  }
  // Some sandboxes keep a password-less root@127.0.0.1 from the bootstrap,
  // which shadows root@%: fall back to the agent's account, which holds
  // every privilege too.
  if (c->ErrorNumber() == 1045 && !o.userGiven) {
    std::fprintf(stderr, "bench_wire: %s; using the agent's account\n", c->ErrorMessage().c_str());
    if (c->ConnectToServer(o.host, "tolve536", "kb71530264809", bench::kBenchDatabase, o.port, "",
                           true, flags)) {
      return c;
    }
  }
  std::fprintf(stderr, "bench_wire: cannot connect to %s:%d: %d %s\n", o.host.c_str(), o.port,
               c->ErrorNumber(), c->ErrorMessage().c_str());
  std::exit(1);
}

// Reads the result packet by packet; returns false on failure.
bool DrainOnce(wire::TMysqlClient& c, std::uint64_t& rows, std::uint64_t& payload) {
  wire::TMysqlNet& net = c.NetForTesting();
  if (!c.Ping()) return false;
  net.ClearError();
  net.Clear();
  if (net.WriteCommand(wire::COM_QUERY, bench::kBenchSelect.data(), bench::kBenchSelect.size()) !=
      0)
    return false;
  rows = 0;
  payload = 0;
  int ends = 0;
  for (;;) {
    long n = net.SafeRead(c.ClientFlags());
    if (n < 0) return false;
    payload += static_cast<std::uint64_t>(n);
    if (wire::IsEndOfData(net.ReadPos(), n)) {
      if (++ends == 2) break;
    } else if (ends == 1) {
      ++rows;
    }
  }
  net.Shrink();
  return true;
}

Figures Measure(const bench::Options& o, bool compress, int repeat, bool drainOnly,
                bool tls = false) {
  Figures f;
  auto c = Connect(o, compress, tls);
  std::uint64_t payload = 0;
  f.drainSeconds = 1e9;
  for (int i = 0; i < repeat; ++i) {
    bench::Timer t;
    if (!DrainOnce(*c, f.rows, payload)) {
      std::fprintf(stderr, "bench_wire: drain failed: %s\n", c->ErrorMessage().c_str());
      std::exit(1);
    }
    f.drainSeconds = std::min(f.drainSeconds, t.Seconds());
  }
  f.payloadMb = static_cast<double>(payload) / 1048576.0;
  if (drainOnly) return f;

  std::uint64_t checksum = 0;
  bench::ResetPeakRss();
  f.storedSeconds = 1e9;
  for (int i = 0; i < repeat; ++i) {
    bench::Timer t;
    std::uint64_t rows = 0;
    if (!bench::WalkStoredResult(*c, rows, checksum) || rows != f.rows) {
      std::fprintf(stderr, "bench_wire: stored read failed: %s\n", c->ErrorMessage().c_str());
      std::exit(1);
    }
    f.storedSeconds = std::min(f.storedSeconds, t.Seconds());
  }
  f.peakRssMb = bench::PeakRssMb();
  if (checksum == 0) std::fprintf(stderr, "bench_wire: empty values?\n");
  return f;
}

void Print(const char* prefix, const Figures& f, const char* suffix = "") {
  const double ratio = f.drainSeconds > 0 ? f.storedSeconds / f.drainSeconds : 0;
  const double rate = f.storedSeconds > 0 ? static_cast<double>(f.rows) / f.storedSeconds : 0;
  std::printf(
      "%srows=%llu drain_s=%.3f stored_s=%.3f ratio=%.3f rows_per_s=%.0f "
      "peak_rss_mb=%.1f payload_mb=%.1f%s\n",
      prefix, static_cast<unsigned long long>(f.rows), f.drainSeconds, f.storedSeconds, ratio, rate,
      f.peakRssMb, f.payloadMb, suffix);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::Options o =
      bench::ParseOptions(argc, argv, {"drain", "compress", "plain", "tls"}, {"repeat"});
  const int repeat = bench::RepeatOption(o);
  {
    auto c = Connect(o, false);
    std::string error;
    if (!bench::EnsureBenchTable(*c, error)) {
      std::fprintf(stderr, "bench_wire: cannot prepare %s: %s\n", bench::kBenchTable,
                   error.c_str());
      return 1;
    }
  }
  const bool drainOnly = o.Has("drain");
  if (o.Has("tls")) {
    const Figures plain = Measure(o, false, repeat, drainOnly);
    Print("tls=0 ", plain);
    const Figures tls = Measure(o, false, repeat, drainOnly, true);
    const double base = drainOnly ? plain.drainSeconds : plain.storedSeconds;
    const double over = drainOnly ? tls.drainSeconds : tls.storedSeconds;
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, " tls_ratio=%.3f", base > 0 ? over / base : 0);
    Print("tls=1 ", tls, suffix);
    return 0;
  }
  if (!o.Has("plain")) Print("compress=1 ", Measure(o, true, repeat, drainOnly));
  if (!o.Has("compress")) Print("", Measure(o, false, repeat, drainOnly));
  return 0;
}
