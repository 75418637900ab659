// What the wire tests share: the names they use unqualified (a test file says
// `using namespace wiretest;`), the flags the engine connects with, and the
// login most tests against a FakeServer begin with, the server's side of it
// and the client's connect as user "u" with password "p", no database, no
// compression, the engine's flags.
#pragma once

#include <cstdint>

#include "support/FakeServer.h"
#include "wire/MysqlClient.h"
#include "wire/Protocol.h"

namespace wiretest {

using support::Bytes;
using support::FakeServer;
using support::Hex;
using support::PayloadOf;
using wire::TMysqlClient;

// The flags the engine connects with.
inline constexpr std::uint32_t kEngineFlags = wire::kMultiStatementFlags;

// Greeting, login and OK of one connection.
inline void ScriptLogin(support::FakeServer& s, const support::Greeting& g = support::Greeting()) {
  s.SendPacket(support::GreetingPayload(g), 0).ReadPacket().SendPacket(support::OkPayload(), 2);
}

inline bool Connect(support::FakeServer& s, wire::TMysqlClient& c, int timeoutSeconds = 5) {
  c.SetConnectTimeout(timeoutSeconds);
  c.SetCompress(false);
  return c.ConnectToServer(s.Host(), "u", "p", "", s.Port(), "", true, kEngineFlags);
}

}  // namespace wiretest
