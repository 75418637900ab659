#include "scripted_transport.h"

#include <algorithm>
#include <cstring>

#include "wire/ClientErrors.h"

namespace wiretest {

ScriptedTransport& ScriptedTransport::Add(Step step, std::string bytes) {
  script_.push_back({step, std::move(bytes)});
  return *this;
}

ScriptedTransport& ScriptedTransport::Bytes(const std::string& bytes, std::size_t piece) {
  if (piece == 0) piece = std::max<std::size_t>(bytes.size(), 1);
  for (std::size_t at = 0; at < bytes.size(); at += piece) Add(kBytes, bytes.substr(at, piece));
  return *this;
}

ScriptedTransport& ScriptedTransport::Interrupted() {
  return Add(kInterrupted);
}
ScriptedTransport& ScriptedTransport::Reset() {
  return Add(kReset);
}
ScriptedTransport& ScriptedTransport::TimedOut() {
  return Add(kTimedOut);
}
ScriptedTransport& ScriptedTransport::Closed() {
  return Add(kClosed);
}
ScriptedTransport& ScriptedTransport::WriteFails() {
  return Add(kWriteFails);
}
ScriptedTransport& ScriptedTransport::Refused() {
  return Add(kRefused);
}

bool ScriptedTransport::Take(Step step) {
  if (script_.empty() || script_.front().step != step) return false;
  script_.pop_front();
  return true;
}

int ScriptedTransport::Fail(Step error) {
  lastError_ = error;
  return -1;
}

int ScriptedTransport::Connect(int, const std::string& host, bool, int, int, const std::string&) {
  if (open_) return -20;
  ++connects_;
  lastError_ = kBytes;
  if (Take(kRefused)) {
    SetError(wire::CR_CONN_HOST_ERROR,
             wire::FormatClientError(wire::CR_CONN_HOST_ERROR, {host, 111}));
    return -7;
  }
  open_ = true;
  ClearError();
  return 0;
}

int ScriptedTransport::Close() {
  open_ = false;
  return 0;
}

int ScriptedTransport::Read(void* buffer, std::size_t size) {
  if (!open_ || size == 0) return -1;
  lastError_ = kBytes;
  if (script_.empty()) return 0;
  Event& next = script_.front();
  switch (next.step) {
    case kBytes: {
      const std::size_t n = std::min(size, next.bytes.size());
      std::memcpy(buffer, next.bytes.data(), n);
      next.bytes.erase(0, n);
      if (next.bytes.empty()) script_.pop_front();
      return static_cast<int>(n);
    }
    case kInterrupted:
    case kReset:
    case kTimedOut: {
      const Step failure = next.step;
      script_.pop_front();
      return Fail(failure);
    }
    case kClosed:
      script_.pop_front();
      return 0;
    default:
      return 0;  // a write or connect event waits: nothing more comes now
  }
}

int ScriptedTransport::Write(const void* buffer, std::size_t size) {
  if (!open_) return -1;
  lastError_ = kBytes;
  if (Take(kWriteFails)) return Fail(kWriteFails);
  written_.append(static_cast<const char*>(buffer), size);
  return static_cast<int>(size);
}

bool ScriptedTransport::WaitReadable(int) {
  return open_ && !script_.empty() && script_.front().step == kBytes;
}

bool ScriptedTransport::ShouldRetry() const {
  return open_ && lastError_ == kInterrupted;
}

void ScriptedTransport::SslConnect(const std::string&, const std::string&, const std::string&,
                                   const std::string&, std::string&, int) {
  tlsFailure_ = "TLS is not available";
  open_ = false;
}

}  // namespace wiretest
