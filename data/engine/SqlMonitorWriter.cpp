#include "SqlMonitorWriter.h"

#include <chrono>

#include "os/MonitorChannel.h"
#include "os/SharedObjects.h"

namespace engine {

TMonitorWriterThread::TMonitorWriterThread(os::MonitorChannel& channel) : channel_(channel) {
  thread_ = std::thread([this] { Run(); });
}

TMonitorWriterThread::~TMonitorWriterThread() {
  Terminate(false);
}

void TMonitorWriterThread::Enqueue(std::unique_ptr<TMySQLTraceObject> report) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    queue_.push_back(std::move(report));
  }
  wake_.notify_one();
}

void TMonitorWriterThread::Terminate(bool drain) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    if (drain)
      terminate_ = true;
    else
      stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  std::lock_guard<std::mutex> guard(lock_);
  queue_.clear();
  emptied_.notify_all();
}

std::size_t TMonitorWriterThread::Pending() const {
  std::lock_guard<std::mutex> guard(lock_);
  return queue_.size();
}

bool TMonitorWriterThread::WaitUntilEmpty(int timeoutMs) const {
  std::unique_lock<std::mutex> guard(lock_);
  return emptied_.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                           [this] { return queue_.empty(); });
}

void TMonitorWriterThread::Run() {
  const auto idle = std::chrono::milliseconds(kIdleSleepMs);
  std::unique_lock<std::mutex> guard(lock_);
  // A shrunk area ends the thread: nothing more goes through the channel,
  // and what is queued is dropped.
  auto giveUp = [this] {
    MonitorChannelBroken(channel_);
    queue_.clear();
    emptied_.notify_all();
  };
  while (!stop_) {
    std::int32_t monitors = 0;
    if (channel_.Broken() || !os::Guarded([&] { monitors = channel_.MonitorCount().load(); })) {
      giveUp();
      break;
    }
    if (monitors <= 0) {
      // Nobody listens: what is queued is dropped without touching the
      // named objects.
      queue_.clear();
      emptied_.notify_all();
      if (terminate_) break;
      wake_.wait_for(guard, idle);
      continue;
    }
    if (queue_.empty()) {
      if (terminate_) break;
      wake_.wait_for(guard, idle);
      continue;
    }
    // The front report stays queued (and owned by the queue) while it is
    // written; only this thread removes reports, so the pointer stays valid.
    const TMySQLTraceObject* report = queue_.front().get();
    guard.unlock();
    const bool written = Write(*report);
    guard.lock();
    if (!written) {
      giveUp();
      break;
    }
    if (!queue_.empty()) queue_.pop_front();
    if (queue_.empty()) emptied_.notify_all();
  }
}

bool TMonitorWriterThread::Write(const TMySQLTraceObject& report) {
  os::MonitorReport shared;
  shared.TraceType = static_cast<std::uint8_t>(report.TraceType);
  shared.Success = report.Success;
  shared.Time = report.Time;
  shared.ApplicationTitle = MonitorPrintable(report.ApplicationTitle);
  shared.DatabaseName = MonitorPrintable(report.DatabaseName);
  shared.EventName = MonitorPrintable(report.EventName);
  shared.StatementText = MonitorPrintable(report.StatementText);
  shared.Message = MonitorPrintable(report.Message);
  // Everything that touches the named objects runs in one guarded section,
  // which owns nothing, so an object shrunk under it only cuts it short.
  volatile bool locked = false;
  const bool whole = os::Guarded([&] {
    // A previous holder that died mid-report leaves the areas half-written;
    // the report written now replaces them entirely, so nothing is repaired.
    channel_.Mutex().Lock();
    locked = true;
    if (channel_.MonitorCount().load() > 0) {
      channel_.WriteReport(shared);
      Handshake();
    }
    channel_.Mutex().Unlock();
    locked = false;
  });
  // Cut short holding the mutex: let the other writers go on if it is still
  // there.
  if (!whole && locked) os::Guarded([this] { channel_.Mutex().Unlock(); });
  return whole;
}

// The monitors announce that all of them wait for a report through the read
// event and that all have read it through the read-finished event. A monitor
// that stays silent for a whole step is given up, so one hung or killed
// monitor delays the writer by a step and then no more.
void TMonitorWriterThread::Handshake() {
  auto monitors = channel_.MonitorCount();
  auto readers = channel_.ReaderCount();

  while (!channel_.ReadEvent().Wait(kHandshakeStepMs)) {
    // Give up one monitor; when every one left is waiting (or none is left)
    // there is nobody more to wait for.
    const std::int32_t left = os::MonitorChannel::DecrementIfPositive(monitors);
    if (left == 0 || left == readers.load()) channel_.ReadEvent().Set();
  }

  channel_.WriteFinishedEvent().Reset();
  channel_.ReadFinishedEvent().Reset();
  channel_.WriteEvent().Set();

  while (!channel_.ReadFinishedEvent().Wait(kHandshakeStepMs)) {
    if (readers.load() == 0 || os::MonitorChannel::DecrementIfPositive(readers) == 0)
      channel_.ReadFinishedEvent().Set();
  }

  channel_.WriteEvent().Reset();
  channel_.WriteFinishedEvent().Set();
}

}  // namespace engine
