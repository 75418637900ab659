// Scoped hold of a TMysqlClient's optional lock (no-op while the client is
// not in thread-safe mode), and a flag of the client set for one scope.
#pragma once

#include <mutex>

#include "wire/MysqlClient.h"

namespace wire {

class TMysqlClient::Guard {
 public:
  explicit Guard(const TMysqlClient& client) : mutex_(client.lock_.get()) {
    if (mutex_) mutex_->lock();
  }
  ~Guard() {
    if (mutex_) mutex_->unlock();
  }
  Guard(const Guard&) = delete;
  Guard& operator=(const Guard&) = delete;

 private:
  std::recursive_mutex* mutex_;
};

// Gives a flag a value for the rest of the scope and puts the old value
// back however the scope ends (a failed allocation included).
class TScopedFlag {
 public:
  TScopedFlag(bool& flag, bool value) : flag_(flag), old_(flag) { flag_ = value; }
  ~TScopedFlag() { flag_ = old_; }
  TScopedFlag(const TScopedFlag&) = delete;
  TScopedFlag& operator=(const TScopedFlag&) = delete;

 private:
  bool& flag_;
  const bool old_;
};

}  // namespace wire
