// The private MariaDB that scripts/sandbox.sh starts for a test run.
//
// Tests that need a real server derive their fixture from SandboxTest. The
// server's address comes from MYSQL_TEST_HOST and MYSQL_TEST_PORT; when they
// are absent the test is reported as skipped with the reason, never passed.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace support {

// The accounts and databases the sandbox's init file creates.
struct SandboxAccounts {
  static constexpr const char* kRootUser = "root";
  static constexpr const char* kRootPassword = "kmzq";
  static constexpr const char* kAgentUser = "tolve536";
  static constexpr const char* kAgentPassword = "kb71530264809";
  // Account with a pre-4.1 (old-style) password.
  static constexpr const char* kOldUser = "oldpw";
  static constexpr const char* kOldPassword = "velha123";
  // Account without a password.
  static constexpr const char* kEmptyUser = "nopw";
  static constexpr const char* kPdvDatabase = "t2tipafecf";
  static constexpr const char* kBackOfficeDatabase = "tolve536_vidoru";
  // Scratch database the tests may fill and drop tables in (latin1).
  static constexpr const char* kTestDatabase = "tolvex_test";
};

struct SandboxAddress {
  std::string host;
  int port = 0;
  bool present = false;
};

// Reads MYSQL_TEST_HOST / MYSQL_TEST_PORT.
SandboxAddress SandboxFromEnvironment();

class SandboxTest : public ::testing::Test, public SandboxAccounts {
 protected:
  void SetUp() override;

  const std::string& Host() const { return address_.host; }
  int Port() const { return address_.port; }

  // `prefix`, the running test's name and `suffix`, every character but
  // letters and digits made '_', cut to `max_length`: the name of a table of
  // the test's own, so that tests may run side by side.
  static std::string TestTableName(const std::string& prefix, const std::string& suffix,
                                   std::size_t max_length);

 private:
  SandboxAddress address_;
};

}  // namespace support
