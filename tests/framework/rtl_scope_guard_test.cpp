#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "rtl/ScopeExit.h"

namespace {

// What a guard leaves when its scope ends normally, by its own failure, and
// while an exception is already on its way out.
TEST(ScopeGuards, ExitRunsAlwaysFailOnlyWhenLeftByAnException) {
  int exits = 0, fails = 0;
  {
    rtl::ScopeExit exit([&] { ++exits; });
    rtl::ScopeFail fail([&] { ++fails; });
  }
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(fails, 0);

  EXPECT_THROW(
      {
        rtl::ScopeExit exit([&] { ++exits; });
        rtl::ScopeFail fail([&] { ++fails; });
        throw std::runtime_error("step");
      },
      std::runtime_error);
  EXPECT_EQ(exits, 2);
  EXPECT_EQ(fails, 1);
}

TEST(ScopeGuards, CleanupFailureSurfacesOnlyWithoutAnotherInFlight) {
  // A normal exit reports the cleanup's own failure.
  EXPECT_THROW({ rtl::ScopeExit exit([] { throw std::logic_error("cleanup"); }); },
               std::logic_error);
  // While unwinding, the first failure is the one the caller sees.
  std::string seen;
  try {
    rtl::ScopeExit exit([] { throw std::logic_error("cleanup"); });
    rtl::ScopeFail fail([] { throw std::logic_error("undo"); });
    throw std::runtime_error("step");
  } catch (const std::exception& e) {
    seen = e.what();
  }
  EXPECT_EQ(seen, "step");
}

// A guard inside a catch handler sees the handled exception as finished:
// only a new one leaving its scope counts as a failure.
TEST(ScopeGuards, HandledExceptionDoesNotCountAsFailure) {
  int fails = 0;
  try {
    throw std::runtime_error("handled");
  } catch (const std::exception&) {
    rtl::ScopeFail fail([&] { ++fails; });
  }
  EXPECT_EQ(fails, 0);
}

}  // namespace
