// The SQL monitor's writer thread (private to the engine).
//
// TMonitorWriterThread takes trace objects off its queue, first in first
// out, and hands each to the attached monitors: under the channel's named
// mutex it writes the report into the shared areas and runs the handshake
// with the monitors' events. An object shrunk by another process of the user
// ends the thread instead of the process (see os::Guarded). The queue is guarded by a lock, so any
// thread may append while the writer removes. The hook owns the thread; the thread borrows the
// hook's channel, which outlives it.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/SqlMonitor.h"

namespace os {
class MonitorChannel;
}

namespace engine {

// Marks the channel broken (one of its objects was shrunk under this
// process) and, the first time, says so in one line on the error output;
// the hook and the writer then stop reporting through it.
void MonitorChannelBroken(os::MonitorChannel& channel);

class TMonitorWriterThread {
 public:
  // The waiting step of the handshake; a monitor that stays silent for one
  // step is given up.
  static constexpr int kHandshakeStepMs = 1000;
  // The pause of an idle writer.
  static constexpr int kIdleSleepMs = 50;

  explicit TMonitorWriterThread(os::MonitorChannel& channel);
  // Stops without writing what is still queued, and waits for the thread.
  ~TMonitorWriterThread();

  TMonitorWriterThread(const TMonitorWriterThread&) = delete;
  TMonitorWriterThread& operator=(const TMonitorWriterThread&) = delete;

  void Enqueue(std::unique_ptr<TMySQLTraceObject> report);
  // Ends the thread and waits for it. With `drain`, the reports still queued
  // are written first (or dropped once no monitor is attached).
  void Terminate(bool drain);

  std::size_t Pending() const;
  bool WaitUntilEmpty(int timeoutMs) const;

 private:
  void Run();
  // False when a shrunk object cut the write short.
  bool Write(const TMySQLTraceObject& report);
  void Handshake();

  os::MonitorChannel& channel_;
  mutable std::mutex lock_;
  std::condition_variable wake_;
  mutable std::condition_variable emptied_;
  std::deque<std::unique_ptr<TMySQLTraceObject>> queue_;
  bool stop_ = false;       // end now
  bool terminate_ = false;  // end once the queue is empty
  std::thread thread_;
};

}  // namespace engine
