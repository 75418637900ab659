#include "os/MonitorChannel.h"

#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace os {
namespace {

// The header is little-endian; the counters are changed in place with
// atomic operations, which presumes a little-endian machine.
static_assert(std::endian::native == std::endian::little);

void StoreInt32(std::uint8_t* at, std::int32_t value) {
  std::memcpy(at, &value, 4);
}

std::int32_t LoadInt32(const std::uint8_t* at) {
  std::int32_t value;
  std::memcpy(&value, at, 4);
  return value;
}

// Copies the text to the start of the area, cut to `limit` bytes, and stores
// its length at `lengthAt`.
void PutText(std::uint8_t* area, std::string_view text, std::size_t limit, std::uint8_t* lengthAt) {
  std::size_t length = text.size() < limit ? text.size() : limit;
  std::memcpy(area, text.data(), length);
  StoreInt32(lengthAt, static_cast<std::int32_t>(length));
}

std::string GetText(const std::uint8_t* area, const std::uint8_t* lengthAt, std::size_t limit) {
  std::int32_t length = LoadInt32(lengthAt);
  if (length < 0) length = 0;
  if (static_cast<std::size_t>(length) > limit) length = static_cast<std::int32_t>(limit);
  return std::string(reinterpret_cast<const char*>(area), static_cast<std::size_t>(length));
}

const char* const kEventNames[4] = {
    MonitorChannel::kWriteEventName, MonitorChannel::kWriteFinishedEventName,
    MonitorChannel::kReadEventName, MonitorChannel::kReadFinishedEventName};
// Initial states: only the write-finished event starts set.
const bool kEventInitiallySet[4] = {false, true, false, false};

}  // namespace

std::string MonitorChannel::EffectivePrefix(std::string_view prefix) {
  if (!prefix.empty()) return std::string(prefix);
  const char* fromEnvironment = std::getenv("TOLVEX_MONITOR_PREFIX");
  return fromEnvironment ? std::string(fromEnvironment) : std::string();
}

std::string MonitorChannel::ObjectPath(std::string_view prefix, std::string_view name) {
  return SharedObjectPath(prefix, name) + "." + std::to_string(geteuid());
}

std::string MonitorChannel::AreaName(int area) {
  std::string name = kAreaName;
  name += static_cast<char>('0' + area / 10);
  name += static_cast<char>('0' + area % 10);
  return name;
}

bool MonitorChannel::MakeSync(const std::string& prefix, bool open, int* error) {
  const std::string mutexPath = ObjectPath(prefix, kMutexName);
  if (open) mutex_ = NamedMutex::Open(mutexPath, error);
  // Opening fails when a process died between creating area 1 and the
  // mutex; creating it then keeps that from disabling every later process.
  if (!mutex_ && (!open || *error == ENOENT))
    mutex_ = NamedMutex::Create(mutexPath, nullptr, error);
  if (!mutex_) return false;
  for (int i = 0; i < 4; ++i) {
    const std::string path = ObjectPath(prefix, kEventNames[i]);
    if (open) events_[i] = NamedEvent::Open(path, error);
    if (!events_[i] && (!open || *error == ENOENT))
      events_[i] = NamedEvent::Create(path, kEventInitiallySet[i], nullptr, error);
    if (!events_[i]) return false;
  }
  return true;
}

std::unique_ptr<MonitorChannel> MonitorChannel::Attach(std::string_view prefixArgument,
                                                       int* error) {
  const std::string prefix = EffectivePrefix(prefixArgument);
  std::unique_ptr<MonitorChannel> channel(new MonitorChannel());
  bool existed = false;
  channel->areas_[0] =
      SharedMemory::Create(ObjectPath(prefix, AreaName(1)), kAreaSize, &existed, error);
  if (!channel->areas_[0]) return nullptr;
  // Processes attaching at the same moment take turns, so that none of them
  // finds the set half made: one that found area 5 new would otherwise clear
  // the counts of monitors that attached meanwhile.
  if (int failed = channel->areas_[0]->Lock()) {
    *error = failed;
    return nullptr;
  }
  if (!channel->Setup(prefix, existed, error)) channel.reset();
  if (channel) channel->areas_[0]->Unlock();
  return channel;
}

bool MonitorChannel::Setup(const std::string& prefix, bool firstExisted, int* error) {
  if (!firstExisted && !MakeSync(prefix, false, error)) return false;
  bool existed = false;
  for (int area = 2; area <= kAreaCount; ++area) {
    areas_[area - 1] =
        SharedMemory::Create(ObjectPath(prefix, AreaName(area)), kAreaSize, &existed, error);
    if (!areas_[area - 1]) return false;
  }
  // `existed` now tells about area 5. The mutex and events are opened unless
  // made above; a missing one (its maker died before making it) is made.
  if (!mutex_ && !MakeSync(prefix, true, error)) return false;
  if (!existed) {
    MonitorCount().store(0);
    ReaderCount().store(0);
    StoreInt32(Area(1) + kEventLengthOffset, 0);
    for (int type = 0; type < kTraceTypeCount; ++type) Wanted(type).store(0);
  }
  for (auto counter : {MonitorCount(), ReaderCount()}) {
    std::int32_t value = counter.load();
    while (value < 0 && !counter.compare_exchange_weak(value, 0)) {
    }
  }
  return true;
}

void MonitorChannel::RemoveObjects(std::string_view prefixArgument) {
  const std::string prefix = EffectivePrefix(prefixArgument);
  RemoveSharedObject(ObjectPath(prefix, kMutexName));
  for (int area = 1; area <= kAreaCount; ++area)
    RemoveSharedObject(ObjectPath(prefix, AreaName(area)));
  for (const char* name : kEventNames) RemoveSharedObject(ObjectPath(prefix, name));
}

MonitorChannel::~MonitorChannel() = default;

std::int32_t MonitorChannel::DecrementIfPositive(std::atomic_ref<std::int32_t> counter) {
  std::int32_t value = counter.load();
  while (value > 0) {
    if (counter.compare_exchange_weak(value, value - 1)) return value - 1;
  }
  return value;
}

void MonitorChannel::WriteReport(const MonitorReport& report) {
  std::uint8_t* header = Area(1);
  PutText(Area(1), report.ApplicationTitle, kTitleLimit, header + kTitleLengthOffset);
  PutText(Area(2), report.DatabaseName, kTextChunk, header + kDatabaseLengthOffset);
  PutText(Area(3), report.EventName, kTextChunk, header + kEventLengthOffset);
  PutText(Area(4), report.StatementText, kTextChunk, header + kStatementLengthOffset);
  PutText(Area(5), report.Message, kTextChunk, header + kMessageLengthOffset);
  header[kTraceTypeOffset] = report.TraceType;
  std::memcpy(header + kTimeOffset, &report.Time, sizeof report.Time);
  header[kSuccessOffset] = report.Success;
}

MonitorReport MonitorChannel::ReadReport() const {
  const std::uint8_t* header = Area(1);
  MonitorReport report;
  report.ApplicationTitle = GetText(Area(1), header + kTitleLengthOffset, kTitleLimit);
  report.DatabaseName = GetText(Area(2), header + kDatabaseLengthOffset, kAreaSize);
  report.EventName = GetText(Area(3), header + kEventLengthOffset, kAreaSize);
  report.StatementText = GetText(Area(4), header + kStatementLengthOffset, kAreaSize);
  report.Message = GetText(Area(5), header + kMessageLengthOffset, kAreaSize);
  report.TraceType = header[kTraceTypeOffset];
  std::memcpy(&report.Time, header + kTimeOffset, sizeof report.Time);
  report.Success = header[kSuccessOffset];
  return report;
}

}  // namespace os
