// The set of named objects through which the SQL monitor's reports travel
// from the engine of any process to the monitor programs on the machine.
//
// Objects: the mutex "Quorv4MySQL.SQL.MONITOR.Mutex", five shared areas of
// 2048 bytes "Quorv4MySQL.SQL.MONITOR.SharedMem01" to "05", and the
// manual-reset events WriteEvent (initially off), WriteFinishedEvent
// (initially on), ReadEvent and ReadFinishedEvent (initially off). Area 1
// holds the application title from offset 0 and, at its end, the header
// below (32-bit little-endian integers, two bytes and a double); areas 2 to
// 5 hold the database name, event name, statement text and message.
//
// Name prefix: every name may carry a prefix, which keeps test runs and
// private setups apart from the machine-wide channel. An empty prefix means
// the value of the environment variable TOLVEX_MONITOR_PREFIX, or no prefix
// when it is unset.
//
// Each user has a channel of its own: the objects' paths end in "." and the
// user id (ObjectPath), they are made 0600, and objects that belong to
// someone else are refused (see os/SharedObjects.h), so statements never
// reach another user's monitor and no one else can shrink the areas.
//
// Writers and monitor programs both attach with Attach(): the first process
// creates the objects, later ones open them. The header's counters are read
// and changed atomically, so a monitor may attach or leave while a writer
// works. A channel handle may be shared by threads; it owns its mappings and
// object handles, never the objects themselves.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "os/SharedObjects.h"

namespace os {

// One report as it lies in the shared areas.
struct MonitorReport {
  std::uint8_t TraceType = 0;
  std::uint8_t Success = 0;
  double Time = 0;  // floating day count
  std::string ApplicationTitle;
  std::string DatabaseName;
  std::string EventName;
  std::string StatementText;
  std::string Message;
};

class MonitorChannel {
 public:
  static constexpr std::size_t kAreaSize = 2048;
  static constexpr int kAreaCount = 5;
  static constexpr int kTraceTypeCount = 5;
  // Longest text an area receives; area 1 also keeps its header clear.
  static constexpr std::size_t kTextChunk = 2002;
  static constexpr std::size_t kTitleLimit = 1984;

  // Offsets of the header fields in area 1.
  static constexpr std::size_t kMonitorCountOffset = 2044;
  static constexpr std::size_t kReaderCountOffset = 2040;
  static constexpr std::size_t kTraceTypeOffset = 2036;
  static constexpr std::size_t kSuccessOffset = 2032;
  static constexpr std::size_t kTitleLengthOffset = 2028;
  static constexpr std::size_t kDatabaseLengthOffset = 2024;
  static constexpr std::size_t kEventLengthOffset = 2020;
  static constexpr std::size_t kStatementLengthOffset = 2016;
  static constexpr std::size_t kMessageLengthOffset = 2012;
  // Wanted counter of trace type t (0 prepare ... 4 transaction) lies at
  // kWantedOffset - 4 * t.
  static constexpr std::size_t kWantedOffset = 2008;
  static constexpr std::size_t kTimeOffset = 1984;

  static constexpr const char* kMutexName = "Quorv4MySQL.SQL.MONITOR.Mutex";
  static constexpr const char* kAreaName = "Quorv4MySQL.SQL.MONITOR.SharedMem";  // + "01".."05"
  static constexpr const char* kWriteEventName = "Quorv4MySQL.SQL.MONITOR.WriteEvent";
  static constexpr const char* kWriteFinishedEventName =
      "Quorv4MySQL.SQL.MONITOR.WriteFinishedEvent";
  static constexpr const char* kReadEventName = "Quorv4MySQL.SQL.MONITOR.ReadEvent";
  static constexpr const char* kReadFinishedEventName = "Quorv4MySQL.SQL.MONITOR.ReadFinishedEvent";

  // The prefix used for `prefix` (see above).
  static std::string EffectivePrefix(std::string_view prefix);
  // The shared-memory path of the object `name` of the running user's
  // channel: "/" + prefix + name + "." + user id.
  static std::string ObjectPath(std::string_view prefix, std::string_view name);
  // The names of all ten objects, without prefix.
  static std::string AreaName(int area);  // 1..5

  // Creates or opens the objects: area 1; when it is new, the mutex and the
  // events with their initial states; areas 2 to 5; then the mutex and events
  // are opened unless made already (a missing one is made), and when area 5
  // was new the counts, the event-name length and the wanted counters are
  // zeroed. Negative counts are set to 0.
  // Returns nullptr with the system's error number in `*error` on failure.
  static std::unique_ptr<MonitorChannel> Attach(std::string_view prefix, int* error);

  // Removes every object of the channel with this prefix (tests, clean-up).
  static void RemoveObjects(std::string_view prefix);

  ~MonitorChannel();

  // Header counters.
  std::atomic_ref<std::int32_t> MonitorCount() const { return Counter(kMonitorCountOffset); }
  std::atomic_ref<std::int32_t> ReaderCount() const { return Counter(kReaderCountOffset); }
  std::atomic_ref<std::int32_t> Wanted(int traceType) const {
    return Counter(kWantedOffset - 4 * static_cast<std::size_t>(traceType));
  }
  // Decrements `counter` when it is above 0; returns the value it leaves.
  static std::int32_t DecrementIfPositive(std::atomic_ref<std::int32_t> counter);

  // Whether a shrunk object made the channel unusable. MarkBroken returns
  // true only to the first caller, who tells about it.
  bool Broken() const { return broken_.load(std::memory_order_acquire); }
  bool MarkBroken() { return !broken_.exchange(true, std::memory_order_acq_rel); }

  // Writes the report's fields into the areas and the header. Each text is
  // cut to the area's capacity (kTextChunk; the title to kTitleLimit).
  void WriteReport(const MonitorReport& report);
  MonitorReport ReadReport() const;

  std::uint8_t* Area(int area) const { return areas_[area - 1]->Data(); }  // 1..5
  NamedMutex& Mutex() const { return *mutex_; }
  NamedEvent& WriteEvent() const { return *events_[0]; }
  NamedEvent& WriteFinishedEvent() const { return *events_[1]; }
  NamedEvent& ReadEvent() const { return *events_[2]; }
  NamedEvent& ReadFinishedEvent() const { return *events_[3]; }

 private:
  MonitorChannel() = default;
  std::atomic_ref<std::int32_t> Counter(std::size_t offset) const {
    return std::atomic_ref<std::int32_t>(*reinterpret_cast<std::int32_t*>(Area(1) + offset));
  }
  bool MakeSync(const std::string& prefix, bool open, int* error);
  bool Setup(const std::string& prefix, bool firstExisted, int* error);

  std::unique_ptr<SharedMemory> areas_[kAreaCount];
  std::unique_ptr<NamedMutex> mutex_;
  std::unique_ptr<NamedEvent> events_[4];
  std::atomic<bool> broken_{false};
};

}  // namespace os
