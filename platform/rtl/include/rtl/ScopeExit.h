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

namespace detail {

// The guard both kinds share: the cleanup runs on a normal exit when
// `kOnNormalExit`, and always while an exception leaves the scope.
template <typename F, bool kOnNormalExit>
class ScopeGuard {
 public:
  explicit ScopeGuard(F cleanup)
      : cleanup_(std::move(cleanup)), exceptions_(std::uncaught_exceptions()) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;

  ~ScopeGuard() noexcept(!kOnNormalExit) {
    if (std::uncaught_exceptions() == exceptions_) {
      if constexpr (kOnNormalExit) cleanup_();
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

}  // namespace detail

template <typename F>
class [[nodiscard]] ScopeExit : public detail::ScopeGuard<F, true> {
 public:
  explicit ScopeExit(F cleanup) : detail::ScopeGuard<F, true>(std::move(cleanup)) {}
};

template <typename F>
class [[nodiscard]] ScopeFail : public detail::ScopeGuard<F, false> {
 public:
  explicit ScopeFail(F cleanup) : detail::ScopeGuard<F, false>(std::move(cleanup)) {}
};

}  // namespace rtl
