// Scoped hold of a TMysqlClient's optional lock (no-op while the client is
// not in thread-safe mode).
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

}  // namespace wire
