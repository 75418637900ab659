#include "engine/SqlMonitor.h"

#include <errno.h>

#include <cstdio>

#include "SqlMonitorWriter.h"
#include "engine/EngineErrors.h"
#include "os/MonitorChannel.h"
#include "rtl/DateTime.h"

namespace engine {
namespace {

std::atomic<bool> g_tracing{true};

std::mutex g_titleLock;
std::string& TitleStorage() {
  static std::string title = program_invocation_short_name;
  return title;
}

// The process's hook. The flag is set before the hook goes, so that code
// still reporting during process end gets no hook instead of a dead one.
std::atomic<bool> g_shuttingDown{false};
std::atomic<TMySQLMonitorHook*> g_hook{nullptr};

struct HookHolder {
  std::mutex lock;
  std::unique_ptr<TMySQLMonitorHook> hook;

  ~HookHolder() {
    g_shuttingDown.store(true, std::memory_order_release);
    g_hook.store(nullptr, std::memory_order_release);
    std::lock_guard<std::mutex> guard(lock);
    hook.reset();
  }
};

HookHolder& Holder() {
  static HookHolder holder;
  return holder;
}

// The one line a hook that stops reporting leaves on the error output.
void SayMonitorOff(std::string_view reason) {
  std::fprintf(stderr, "Monitor SQL desligado: %.*s\n", static_cast<int>(reason.size()),
               reason.data());
}

}  // namespace

void MonitorChannelBroken(os::MonitorChannel& channel) {
  if (channel.MarkBroken()) SayMonitorOff("um objeto compartilhado do canal foi truncado");
}

std::string MonitorPrintable(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 && byte != '\n' && byte != '\r') {
      result += "#$";
      result += kHex[byte >> 4];
      result += kHex[byte & 15];
    } else {
      result += c;
    }
  }
  return result;
}

TMySQLMonitorHook* MonitorHook() {
  if (TMySQLMonitorHook* hook = g_hook.load(std::memory_order_acquire)) return hook;
  if (g_shuttingDown.load(std::memory_order_acquire)) return nullptr;
  HookHolder& holder = Holder();
  std::lock_guard<std::mutex> guard(holder.lock);
  if (g_shuttingDown.load(std::memory_order_acquire)) return nullptr;
  if (!holder.hook) {
    holder.hook = std::make_unique<TMySQLMonitorHook>();
    g_hook.store(holder.hook.get(), std::memory_order_release);
  }
  return holder.hook.get();
}

// --- TMySQLMonitorHook -----------------------------------------------------

TMySQLMonitorHook::TMySQLMonitorHook() : TMySQLMonitorHook(std::string()) {}

TMySQLMonitorHook::TMySQLMonitorHook(std::string namePrefix) : prefix_(std::move(namePrefix)) {
  try {
    PrepareResources();
  } catch (const EMySQLMonitorError& e) {
    enabled_.store(false, std::memory_order_release);
    SayMonitorOff(e.Message());
  }
}

TMySQLMonitorHook::~TMySQLMonitorHook() {
  std::unique_ptr<TMonitorWriterThread> writer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    writer = std::move(writer_);
  }
  // Reports still queued reach the monitors before the process goes.
  if (writer) writer->Terminate(true);
}

void TMySQLMonitorHook::PrepareResources() {
  std::lock_guard<std::mutex> guard(lock_);
  if (ready_.load(std::memory_order_acquire)) return;
  int error = 0;
  auto channel = os::MonitorChannel::Attach(prefix_, &error);
  if (!channel) {
    throw EMySQLMonitorError("Cannot create shared resource. (Windows error " +
                             std::to_string(error) + ")");
  }
  channel_ = std::move(channel);
  ready_.store(true, std::memory_order_release);
}

void TMySQLMonitorHook::SetEnabled(bool value) {
  if (value) {
    enabled_.store(true, std::memory_order_release);
    return;
  }
  enabled_.store(false, std::memory_order_release);
  StopWriter();
}

void TMySQLMonitorHook::StopWriter() {
  std::unique_ptr<TMonitorWriterThread> writer;
  {
    std::lock_guard<std::mutex> guard(lock_);
    writer = std::move(writer_);
  }
  if (writer) writer->Terminate(false);
}

std::size_t TMySQLMonitorHook::PendingReports() const {
  std::lock_guard<std::mutex> guard(lock_);
  return writer_ ? writer_->Pending() : 0;
}

bool TMySQLMonitorHook::WriterRunning() const {
  std::lock_guard<std::mutex> guard(lock_);
  return writer_ != nullptr;
}

bool TMySQLMonitorHook::WaitUntilWritten(int timeoutMs) const {
  // Holding the lock keeps the writer from being freed meanwhile; reports
  // made during the wait are held up until it ends.
  std::lock_guard<std::mutex> guard(lock_);
  return !writer_ || writer_->WaitUntilEmpty(timeoutMs);
}

void TMySQLMonitorHook::SetTracing(bool value) {
  g_tracing.store(value);
}
bool TMySQLMonitorHook::Tracing() {
  return g_tracing.load(std::memory_order_relaxed);
}

void TMySQLMonitorHook::SetApplicationTitle(std::string title) {
  std::lock_guard<std::mutex> guard(g_titleLock);
  TitleStorage() = std::move(title);
}

std::string TMySQLMonitorHook::ApplicationTitle() {
  std::lock_guard<std::mutex> guard(g_titleLock);
  return TitleStorage();
}

bool TMySQLMonitorHook::Wanted(TMySQLTraceType type) {
  if (!enabled_.load(std::memory_order_acquire) || !Tracing()) return false;
  if (!ready_.load(std::memory_order_acquire)) {
    try {
      PrepareResources();
    } catch (const EMySQLMonitorError& e) {
      SetEnabled(false);
      SayMonitorOff(e.Message());
      return false;
    }
  }
  // The channel is made once and lives as long as the hook. Its areas are
  // read in a guarded section: an area shrunk meanwhile switches the hook
  // off instead of ending the process.
  bool wanted = false;
  const int slot = static_cast<int>(type);
  if (channel_->Broken() || !os::Guarded([&] {
        wanted = channel_->MonitorCount().load(std::memory_order_relaxed) > 0 &&
                 channel_->Wanted(slot).load(std::memory_order_relaxed) > 0;
      })) {
    MonitorChannelBroken(*channel_);
    SetEnabled(false);
    return false;
  }
  return wanted;
}

void TMySQLMonitorHook::Queue(TMySQLTraceType type, std::string_view eventName,
                              std::string_view database, bool success, std::string statement,
                              std::string_view message) {
  std::string title = ApplicationTitle();
  std::lock_guard<std::mutex> guard(lock_);
  if (!enabled_.load(std::memory_order_acquire)) return;
  std::int32_t monitors = 0;
  if (channel_->Broken() || !os::Guarded([&] { monitors = channel_->MonitorCount().load(); })) {
    MonitorChannelBroken(*channel_);
    enabled_.store(false, std::memory_order_release);
    writer_.reset();
    return;
  }
  if (!writer_) writer_ = std::make_unique<TMonitorWriterThread>(*channel_);
  if (monitors <= 0) {
    writer_.reset();
    return;
  }
  auto report = std::make_unique<TMySQLTraceObject>();
  report->TraceType = type;
  report->EventName = std::string(eventName);
  report->Time = rtl::Now();
  report->DatabaseName = std::string(database);
  report->Success = success ? 1 : 0;
  report->StatementText = std::move(statement);
  report->ApplicationTitle = std::move(title);
  report->Message = std::string(message);
  writer_->Enqueue(std::move(report));
  queued_.fetch_add(1, std::memory_order_relaxed);
}

// --- The events --------------------------------------------------------------

void TMySQLMonitorHook::Prepare(std::string_view database, std::string_view statement) {
  if (!Wanted(TMySQLTraceType::Prepare)) return;
  Queue(TMySQLTraceType::Prepare, "Prepare", database, true, std::string(statement), {});
}

void TMySQLMonitorHook::Execute(std::string_view database, std::string_view statement, bool success,
                                std::string_view message) {
  if (!Wanted(TMySQLTraceType::Execute)) return;
  Queue(TMySQLTraceType::Execute, "Execute", database, success, std::string(statement), message);
}

void TMySQLMonitorHook::ExecuteText(std::string_view database, std::string_view text, bool success,
                                    std::string_view message) {
  if (!Wanted(TMySQLTraceType::Execute)) return;
  Queue(TMySQLTraceType::Execute, "Execute", database, success, std::string(text), message);
}

void TMySQLMonitorHook::Fetch(std::string_view database, std::string_view source, long long row) {
  if (!Wanted(TMySQLTraceType::Fetch)) return;
  std::string text(source);
  text += ": Row # ";
  text += std::to_string(row);
  text += "\r\n";
  Queue(TMySQLTraceType::Fetch, "Fetch", database, true, std::move(text), {});
}

void TMySQLMonitorHook::Connect(std::string_view database, bool success, std::string_view message) {
  if (!Wanted(TMySQLTraceType::Connect)) return;
  Queue(TMySQLTraceType::Connect, "Connect", database, success, std::string(), message);
}

void TMySQLMonitorHook::Disconnect(std::string_view database) {
  if (!Wanted(TMySQLTraceType::Connect)) return;
  Queue(TMySQLTraceType::Connect, "Disconnect", database, true, std::string(), {});
}

void TMySQLMonitorHook::StartTransaction(std::string_view database, bool success,
                                         std::string_view message) {
  if (!Wanted(TMySQLTraceType::Transaction)) return;
  Queue(TMySQLTraceType::Transaction, "Start transaction", database, success, std::string(),
        message);
}

void TMySQLMonitorHook::Commit(std::string_view database, bool success, std::string_view message) {
  if (!Wanted(TMySQLTraceType::Transaction)) return;
  Queue(TMySQLTraceType::Transaction, "Commit (Hard commit)", database, success, std::string(),
        message);
}

void TMySQLMonitorHook::Rollback(std::string_view database, bool success,
                                 std::string_view message) {
  if (!Wanted(TMySQLTraceType::Transaction)) return;
  Queue(TMySQLTraceType::Transaction, "Rollback", database, success, std::string(), message);
}

}  // namespace engine
