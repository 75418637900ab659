#include "support/Sandbox.h"

#include <cctype>
#include <cstdlib>

namespace support {

SandboxAddress SandboxFromEnvironment() {
  SandboxAddress a;
  const char* host = std::getenv("MYSQL_TEST_HOST");
  const char* port = std::getenv("MYSQL_TEST_PORT");
  if (host && *host && port && *port) {
    a.host = host;
    a.port = std::atoi(port);
    a.present = a.port > 0;
  }
  return a;
}

void SandboxTest::SetUp() {
  address_ = SandboxFromEnvironment();
  if (!address_.present) {
    GTEST_SKIP() << "no sandbox server: MYSQL_TEST_HOST/MYSQL_TEST_PORT not set "
                    "(start one with scripts/sandbox.sh start)";
  }
}

std::string SandboxTest::TestTableName(const std::string& prefix, const std::string& suffix,
                                       std::size_t max_length) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = prefix + info->name() + suffix;
  for (auto& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  if (name.size() > max_length) name.resize(max_length);
  return name;
}

}  // namespace support
