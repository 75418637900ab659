#include "support/Hex.h"

#include <cstdint>

namespace support {

namespace {

std::string Digits(std::string_view bytes, const char* digits, const char* between) {
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += between;
    auto b = static_cast<uint8_t>(bytes[i]);
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 15]);
  }
  return out;
}

}  // namespace

std::string Hex(std::string_view bytes) {
  return Digits(bytes, "0123456789abcdef", " ");
}

std::string ServerHex(std::string_view bytes) {
  return Digits(bytes, "0123456789ABCDEF", "");
}

std::string FromHex(std::string_view hex) {
  auto value = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  int high = -1;
  for (char c : hex) {
    int v = value(c);
    if (v < 0) continue;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<char>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

}  // namespace support
