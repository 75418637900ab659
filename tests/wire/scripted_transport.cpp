#include "scripted_transport.h"

#include <algorithm>
#include <cstring>

#include "wire/ClientErrors.h"

namespace wiretest {

ScriptedTransport& ScriptedTransport::Bytes(const std::string& bytes, std::size_t piece) {
  if (piece == 0) piece = std::max<std::size_t>(bytes.size(), 1);
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    script_.push_back({bytes.substr(at, piece), std::nullopt});
  }
  return *this;
}

ScriptedTransport& ScriptedTransport::Inject(Fault fault) {
  script_.push_back({{}, fault});
  return *this;
}

bool ScriptedTransport::Take(Fault fault) {
  if (script_.empty() || script_.front().fault != fault) return false;
  script_.pop_front();
  return true;
}

int ScriptedTransport::Fail(Fault fault) {
  lastError_ = fault;
  return -1;
}

int ScriptedTransport::Connect(int, const std::string& host, bool, int, int, const std::string&) {
  if (open_) return -20;
  ++connects_;
  lastError_.reset();
  if (Take(Fault::kRefused)) {
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
  lastError_.reset();
  if (script_.empty()) return 0;
  Event& next = script_.front();
  if (!next.fault) {
    const std::size_t n = std::min(size, next.bytes.size());
    std::memcpy(buffer, next.bytes.data(), n);
    next.bytes.erase(0, n);
    if (next.bytes.empty()) script_.pop_front();
    return static_cast<int>(n);
  }
  const Fault fault = *next.fault;
  switch (fault) {
    case Fault::kInterrupted:
    case Fault::kReset:
    case Fault::kTimedOut:
      script_.pop_front();
      return Fail(fault);
    case Fault::kClosed:
      script_.pop_front();
      return 0;
    default:
      return 0;  // a write or connect fault waits: nothing more comes now
  }
}

int ScriptedTransport::Write(const void* buffer, std::size_t size) {
  if (!open_) return -1;
  lastError_.reset();
  if (Take(Fault::kWriteFails)) return Fail(Fault::kWriteFails);
  written_.append(static_cast<const char*>(buffer), size);
  return static_cast<int>(size);
}

bool ScriptedTransport::WaitReadable(int) {
  return open_ && !script_.empty() && !script_.front().fault;
}

bool ScriptedTransport::ShouldRetry() const {
  return open_ && lastError_ == Fault::kInterrupted;
}

void ScriptedTransport::SslConnect(const std::string&, const std::string&, const std::string&,
                                   const std::string&, std::string&, int) {
  tlsFailure_ = "TLS is not available";
  open_ = false;
}

}  // namespace wiretest
