// Server greeting: decoding and the login packet built from what it gave.

#include <cstddef>
#include <cstdint>
#include <string>

#include "wire/MysqlProtocol.h"
#include "wire/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  wire::TMysqlGreeting g;
  if (!wire::ParseGreeting(data, size, g)) return 0;
  if (g.seed.size() > 20) __builtin_trap();
  wire::TLoginRequest q;
  // Every flag a connect may ask for; the low sixteen only when the server
  // offers them.
  constexpr std::uint32_t kAsked = wire::kClientBaseFlags | wire::CLIENT_CONNECT_WITH_DB |
                                   wire::CLIENT_COMPRESS | wire::CLIENT_LOCAL_FILES |
                                   wire::CLIENT_MULTI_STATEMENTS | wire::CLIENT_MULTI_RESULTS;
  q.clientFlags = kAsked & (g.capabilities | 0xFFFF0000u);
  q.serverCapabilities = g.capabilities;
  q.serverCharset = g.charset;
  q.serverIs410 = g.is410;
  q.user = g.serverVersion;
  q.password = g.seed.empty() ? std::string() : g.serverVersion;
  q.database = g.seed;
  q.seed = g.seed;
  std::size_t header = 0;
  std::string login = wire::BuildLoginPacket(q, header);
  if (login.size() > 180 || header > login.size()) __builtin_trap();
  if (size >= 24) wire::Scramble410Answer(q.password, data);
  return 0;
}
