// The writer side of the SQL monitor: the engine's reports to monitor programs.
//
// The engine reports what it does (connects, statement preparation and
// execution, row fetches, transactions) to SQL monitor programs running on the
// same machine. A report travels through the named shared areas and events of
// os::MonitorChannel; any number of monitor processes may attach. When no
// monitor is attached, a report costs one read of the monitor count in shared
// memory and nothing else: nothing is queued, no thread is woken.
//
// There is one TMySQLMonitorHook per process, reached through MonitorHook();
// it is created on first use under a process-wide lock and destroyed at
// process end (the writer thread is stopped and joined first). Tests may build
// their own hooks on channels with a private name prefix.
//
// Threads: the event operations may be called from any thread at the same
// time. They only append trace objects to a queue (guarded by a lock); one
// writer thread per hook (TMonitorWriterThread) takes them off in order and
// hands each to the attached monitors under the channel's named mutex, which
// serialises the writers of every process on the machine.
//
// Every event operation takes plain values, so the engine calls them without
// the monitor knowing its classes: the database name is the connection's
// "DatabaseName" parameter, the message the client's last error message.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace os {
class MonitorChannel;
}

namespace engine {

// Kinds of report; the values are those in the shared header, and each has a
// "wanted" counter that the monitors set.
enum class TMySQLTraceType : std::uint8_t {
  Prepare = 0,
  Execute = 1,
  Fetch = 2,
  Connect = 3,  // connect and disconnect
  Transaction = 4,
};

// One queued report.
struct TMySQLTraceObject {
  TMySQLTraceType TraceType = TMySQLTraceType::Prepare;
  std::string EventName;
  double Time = 0;  // local date and time as a floating day count
  std::string DatabaseName;
  std::uint8_t Success = 1;
  std::string StatementText;
  std::string ApplicationTitle;
  std::string Message;
};

class TMonitorWriterThread;

class TMySQLMonitorHook {
 public:
  // A hook on the channel whose object names carry `namePrefix` (empty: the
  // machine-wide names, or those of the TOLVEX_MONITOR_PREFIX variable when
  // it is set; see os/MonitorChannel.h). Prepares the shared objects at once;
  // when that fails the hook is switched off and never reports. A channel
  // whose objects are shrunk later switches it off too (see os::Guarded).
  // Either way the hook says so once, in one line on the error output
  // ("Monitor SQL desligado: " and the reason), and the process goes on.
  TMySQLMonitorHook();
  explicit TMySQLMonitorHook(std::string namePrefix);
  virtual ~TMySQLMonitorHook();

  TMySQLMonitorHook(const TMySQLMonitorHook&) = delete;
  TMySQLMonitorHook& operator=(const TMySQLMonitorHook&) = delete;

  // The events, in slot order. `statement` is the statement text or, for a
  // table cursor, the table name; `source` of a fetch is "Query" for a
  // statement cursor or the table name; `row` is the cursor's current row
  // index, -1 when it has no result.
  virtual void Prepare(std::string_view database, std::string_view statement);
  virtual void Execute(std::string_view database, std::string_view statement, bool success,
                       std::string_view message);
  // Execute on a connection (ExecuteDirect, modification statements).
  virtual void ExecuteText(std::string_view database, std::string_view text, bool success,
                           std::string_view message);
  virtual void Fetch(std::string_view database, std::string_view source, long long row);
  virtual void Connect(std::string_view database, bool success, std::string_view message);
  virtual void Disconnect(std::string_view database);
  virtual void StartTransaction(std::string_view database, bool success, std::string_view message);
  virtual void Commit(std::string_view database, bool success, std::string_view message);
  virtual void Rollback(std::string_view database, bool success, std::string_view message);

  // Whether a report of `type` would reach a monitor now: the check that is
  // all a report costs when none is attached. Callers that must build costly
  // arguments for an event may ask first.
  bool Wanted(TMySQLTraceType type);

  // Creates or opens the shared objects unless they are ready. Raises
  // EMySQLMonitorError ("Cannot create shared resource. (Windows error %d)"
  // with the system's error number) when they cannot be made.
  void PrepareResources();
  bool ResourcesReady() const { return ready_.load(std::memory_order_acquire); }

  bool Enabled() const { return enabled_.load(std::memory_order_acquire); }
  // Switching off also stops the writer thread; queued reports are dropped.
  void SetEnabled(bool value);

  // Number of trace objects queued since the hook was made (for tests: with
  // no monitor attached it stays unchanged).
  std::uint64_t QueuedReports() const { return queued_.load(std::memory_order_relaxed); }
  // Reports queued but not yet written or discarded.
  std::size_t PendingReports() const;
  bool WriterRunning() const;
  // Waits until the queue is empty, at most `timeoutMs`; true when it is.
  bool WaitUntilWritten(int timeoutMs) const;

  // The process-wide tracing switch (on from the start), combined with the
  // enabled flag of every hook.
  static void SetTracing(bool value);
  static bool Tracing();

  // The application title sent with every report (default: the program's
  // name). Process-wide.
  static void SetApplicationTitle(std::string title);
  static std::string ApplicationTitle();

 private:
  void Queue(TMySQLTraceType type, std::string_view eventName, std::string_view database,
             bool success, std::string statement, std::string_view message);
  void StopWriter();

  std::string prefix_;
  std::unique_ptr<os::MonitorChannel> channel_;
  std::atomic<bool> ready_{false};
  std::atomic<bool> enabled_{true};
  std::atomic<std::uint64_t> queued_{0};
  mutable std::mutex lock_;  // guards channel_ creation and writer_
  std::unique_ptr<TMonitorWriterThread> writer_;
};

// The process's hook, created on first use. Returns nullptr once the process
// has begun to shut down. Never throws: a hook whose shared objects could not
// be made is returned switched off.
TMySQLMonitorHook* MonitorHook();

// Makes a text printable for the monitors: every byte below 32 other than LF
// and CR becomes "#$" and two upper-case hexadecimal digits.
std::string MonitorPrintable(std::string_view text);

}  // namespace engine
