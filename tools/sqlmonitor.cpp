// sqlmonitor: watches what the data-access engine of every process of this
// user on this machine reports (connects, statements, fetches,
// transactions) and prints one line per report. Each user has a channel of
// their own (see os/MonitorChannel.h): another user's statements never
// reach this program.
//
// It attaches like any SQL monitor program: it raises the wanted counters of
// the trace types it watches and the monitor count, then, report after
// report, announces itself as a reader, waits for the write event, reads the
// shared areas and answers through the read-finished event. Ctrl-C (or
// SIGTERM) detaches it cleanly, taking back its counts.
//
// Output, one line per report, fields separated by TAB (reports never hold
// a TAB: the writer sends control bytes as "#$" and two hex digits):
//   time  trace-type  event  database  success  statement  message
// CR, LF and backslash in a field are shown as \r, \n and \\; Windows-1252
// text is converted to UTF-8 unless --raw is given.

#include <signal.h>

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "os/MonitorChannel.h"
#include "wire/CodePages.h"

namespace {

constexpr const char* kTraceTypeNames[os::MonitorChannel::kTraceTypeCount] = {
    "prepare", "execute", "fetch", "connect", "transaction"};

// How long a wait lasts before the program looks at its stop flag again.
constexpr int kPollMs = 200;

volatile sig_atomic_t g_stop = 0;

void OnSignal(int) {
  g_stop = 1;
}

struct Options {
  bool wanted[os::MonitorChannel::kTraceTypeCount] = {true, true, true, true, true};
  std::string prefix;
  long count = 0;  // 0: no limit
  bool raw = false;
};

void Usage(std::FILE* out) {
  std::fputs(
      "Usage: sqlmonitor [options]\n"
      "Prints the SQL monitor reports of this user's engines on this machine, one per line:\n"
      "time, trace type, event, database, success, statement, message (TAB-separated).\n"
      "\n"
      "  -t, --types LIST   trace types to watch, comma-separated:\n"
      "                     prepare, execute, fetch, connect, transaction (default: all)\n"
      "  -p, --prefix NAME  name prefix of the shared objects\n"
      "                     (default: $TOLVEX_MONITOR_PREFIX, else none); the names\n"
      "                     end in the user id: /dev/shm/NAMEQuorv4MySQL.SQL.MONITOR.*.UID\n"
      "  -n, --count N      leave after N reports\n"
      "      --raw          print texts as they arrive (Windows-1252), not as UTF-8\n"
      "  -h, --help         this text\n",
      out);
}

bool ParseTypes(std::string_view list, Options& options) {
  for (bool& flag : options.wanted) flag = false;
  while (!list.empty()) {
    std::size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    bool known = false;
    for (int type = 0; type < os::MonitorChannel::kTraceTypeCount; ++type) {
      if (item == kTraceTypeNames[type]) {
        options.wanted[type] = true;
        known = true;
      }
    }
    if (!known) {
      std::fprintf(stderr, "sqlmonitor: unknown trace type '%.*s'\n", static_cast<int>(item.size()),
                   item.data());
      return false;
    }
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
  for (bool flag : options.wanted)
    if (flag) return true;
  std::fputs("sqlmonitor: no trace type given\n", stderr);
  return false;
}

// Returns 0 to go on, or the exit status.
int ParseArguments(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "sqlmonitor: %s needs a value\n", name);
        return nullptr;
      }
      return argv[++i];
    };
    if (arg == "-h" || arg == "--help") {
      Usage(stdout);
      return -1;
    } else if (arg == "-t" || arg == "--types") {
      const char* list = value("--types");
      if (!list || !ParseTypes(list, options)) return 2;
    } else if (arg == "-p" || arg == "--prefix") {
      const char* prefix = value("--prefix");
      if (!prefix) return 2;
      options.prefix = prefix;
    } else if (arg == "-n" || arg == "--count") {
      const char* count = value("--count");
      if (!count) return 2;
      char* end = nullptr;
      options.count = std::strtol(count, &end, 10);
      if (*end != '\0' || options.count < 0) {
        std::fprintf(stderr, "sqlmonitor: bad count '%s'\n", count);
        return 2;
      }
    } else if (arg == "--raw") {
      options.raw = true;
    } else {
      std::fprintf(stderr, "sqlmonitor: unknown option '%s'\n", argv[i]);
      Usage(stderr);
      return 2;
    }
  }
  return 0;
}

std::string Field(std::string_view text, bool raw) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x80 || raw) {
      out += c;
    } else {
      // Windows-1252, as the engines hold text; the bytes it leaves
      // undefined keep their own value.
      static const std::uint16_t* const cp1252 = wire::CodePageTable(wire::CP_WINDOWS_1252);
      const std::uint16_t code = cp1252[byte];
      wire::AppendUtf8(out, code == wire::kUndefinedCharacter ? byte : code);
    }
  }
  return out;
}

// "yyyy-mm-dd hh:nn:ss.zzz" of a floating day count (day 0 = 30 Dec 1899).
std::string FormatTime(double dayCount) {
  long long ms = std::llround(dayCount * 86400000.0);
  long long days = ms / 86400000;
  long long msOfDay = ms % 86400000;
  if (msOfDay < 0) {
    msOfDay += 86400000;
    days -= 1;
  }
  // Civil date from days since 1970-01-01 (30 Dec 1899 is day -25569).
  long long z = days - 25569 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long day = doy - (153 * mp + 2) / 5 + 1;
  const long long month = mp < 10 ? mp + 3 : mp - 9;
  const long long year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld.%03lld", year, month,
                day, msOfDay / 3600000, msOfDay / 60000 % 60, msOfDay / 1000 % 60, msOfDay % 1000);
  return text;
}

void PrintReport(const os::MonitorReport& report, bool raw) {
  std::string line = FormatTime(report.Time);
  line += '\t';
  line += report.TraceType < os::MonitorChannel::kTraceTypeCount ? kTraceTypeNames[report.TraceType]
                                                                 : std::to_string(report.TraceType);
  for (const std::string* text : {&report.EventName, &report.DatabaseName}) {
    line += '\t';
    line += Field(*text, raw);
  }
  line += '\t';
  line += std::to_string(report.Success);
  for (const std::string* text : {&report.StatementText, &report.Message}) {
    line += '\t';
    line += Field(*text, raw);
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fflush(stdout);
}

class Monitor {
 public:
  Monitor(os::MonitorChannel& channel, const Options& options)
      : channel_(channel), options_(options) {}

  void Attach() {
    // The wanted counters go up first, so a writer that sees the monitor
    // count sees them too.
    for (int type = 0; type < os::MonitorChannel::kTraceTypeCount; ++type)
      if (options_.wanted[type]) channel_.Wanted(type).fetch_add(1);
    channel_.MonitorCount().fetch_add(1);
    // The monitors counted so far may all have announced themselves; until
    // this one has too, the writer must not take them as complete.
    if (channel_.WriteFinishedEvent().IsSet()) channel_.ReadEvent().Reset();
  }

  // Reads reports until stopped or the count is reached.
  void Run() {
    long printed = 0;
    bool announced = false;
    while (!g_stop) {
      // Idle until no write is under way, then announce this reader; the last
      // of the attached monitors to do so tells the writer through the read
      // event.
      if (!channel_.WriteFinishedEvent().Wait(kPollMs)) continue;
      const std::int32_t readers = channel_.ReaderCount().fetch_add(1) + 1;
      if (readers >= channel_.MonitorCount().load()) channel_.ReadEvent().Set();
      waiting_ = true;
      if (!announced) {
        // From here on every report reaches this monitor.
        std::fprintf(stderr, "sqlmonitor: attached\n");
        std::fflush(stderr);
        announced = true;
      }
      while (!g_stop && !channel_.WriteEvent().Wait(kPollMs)) {
      }
      if (g_stop) break;
      const os::MonitorReport report = channel_.ReadReport();
      waiting_ = false;
      if (report.TraceType < os::MonitorChannel::kTraceTypeCount &&
          options_.wanted[report.TraceType]) {
        PrintReport(report, options_.raw);
        ++printed;
      }
      // The last reader ends the round: the read event is taken back before
      // the writer hears that every monitor has read.
      if (os::MonitorChannel::DecrementIfPositive(channel_.ReaderCount()) == 0) {
        channel_.ReadEvent().Reset();
        channel_.ReadFinishedEvent().Set();
      }
      if (options_.count > 0 && printed >= options_.count) break;
      // Wait for the writer to finish the round before announcing again, so
      // the same report is not read twice.
      while (!g_stop && !channel_.WriteFinishedEvent().Wait(kPollMs)) {
      }
    }
  }

  // Takes back this monitor's counts. A monitor that had announced itself
  // and leaves without reading answers for itself, so the writer does not
  // wait a step for it.
  void Detach() {
    const std::int32_t monitors = os::MonitorChannel::DecrementIfPositive(channel_.MonitorCount());
    if (waiting_) {
      const std::int32_t readers = os::MonitorChannel::DecrementIfPositive(channel_.ReaderCount());
      if (channel_.WriteEvent().IsSet()) {
        if (readers == 0) {
          channel_.ReadEvent().Reset();
          channel_.ReadFinishedEvent().Set();
        }
      } else if (monitors > 0 && readers >= monitors) {
        channel_.ReadEvent().Set();
      }
    }
    for (int type = 0; type < os::MonitorChannel::kTraceTypeCount; ++type)
      if (options_.wanted[type]) os::MonitorChannel::DecrementIfPositive(channel_.Wanted(type));
  }

 private:
  os::MonitorChannel& channel_;
  const Options& options_;
  bool waiting_ = false;  // announced as a reader, report not yet read
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (int status = ParseArguments(argc, argv, options)) return status < 0 ? 0 : status;

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  int error = 0;
  auto channel = os::MonitorChannel::Attach(options.prefix, &error);
  if (!channel) {
    std::fprintf(stderr, "sqlmonitor: cannot open the shared objects: %s\n", std::strerror(error));
    return 1;
  }
  Monitor monitor(*channel, options);
  monitor.Attach();
  monitor.Run();
  monitor.Detach();
  return 0;
}
