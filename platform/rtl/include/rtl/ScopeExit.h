// ScopeExit: runs a cleanup when the scope it guards ends, however it ends.
// ScopeFail: runs it only when the scope is left by an exception (undoing a
// step half done, where success keeps the step).
//
//   hold_ = true;
//   rtl::ScopeExit release([&] { hold_ = false; });
//   ... code that may raise ...
//
// They replace the catch-all blocks that restore a state and rethrow. The
// cleanup may itself raise (an EndUpdate that fires an event, say): on a
// normal exit that failure propagates as it would from the plain call; while
// the scope is already being left by an exception it is dropped, since a
// second exception would end the program and the first is the one the
// caller has to see.
#pragma once

#include <exception>
#include <utility>

namespace rtl {

template <typename F>
class [[nodiscard]] ScopeExit {
 public:
  explicit ScopeExit(F cleanup)
      : cleanup_(std::move(cleanup)), exceptions_(std::uncaught_exceptions()) {}
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

  ~ScopeExit() noexcept(false) {
    if (std::uncaught_exceptions() == exceptions_) {
      cleanup_();
      return;
    }
    try {
      cleanup_();
    } catch (...) {
      // Unwinding already: the exception in flight is the one to report.
    }
  }

 private:
  F cleanup_;
  int exceptions_;
};

template <typename F>
class [[nodiscard]] ScopeFail {
 public:
  explicit ScopeFail(F cleanup)
      : cleanup_(std::move(cleanup)), exceptions_(std::uncaught_exceptions()) {}
  ScopeFail(const ScopeFail&) = delete;
  ScopeFail& operator=(const ScopeFail&) = delete;

  ~ScopeFail() {
    if (std::uncaught_exceptions() == exceptions_) return;
    try {
      cleanup_();
    } catch (...) {
      // Unwinding already: the exception in flight is the one to report.
    }
  }

 private:
  F cleanup_;
  int exceptions_;
};

}  // namespace rtl
