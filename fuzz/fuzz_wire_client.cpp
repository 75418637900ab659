// The whole client reading a query reply: a scripted server greets, accepts
// the login, and answers the query with the input (after its first byte,
// which picks stored or streamed reading and compression), then closes. The
// result, if any, is walked, searched and sorted.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "scripted_transport.h"
#include "wire/MysqlClient.h"

namespace {

std::string Frame(const std::string& payload, std::uint8_t sequence) {
  std::string out(4, '\0');
  out[0] = static_cast<char>(payload.size());
  out[1] = static_cast<char>(payload.size() >> 8);
  out[2] = static_cast<char>(payload.size() >> 16);
  out[3] = static_cast<char>(sequence);
  return out + payload;
}

// The server's side of the login: the greeting (protocol 10, version,
// thread id, seed, capabilities: 4.1, secure, transactions, long flag,
// connect with db, compression when chosen), then the OK to the login.
std::string Login(bool compressed) {
  std::string greeting = std::string(
                             "\x0a"
                             "5.5.5-fuzz",
                             11) +
                         '\0' + std::string("\x01\0\0\0", 4) + "abcdefgh" + '\0';
  const std::uint16_t caps = wire::CLIENT_LONG_FLAG | wire::CLIENT_CONNECT_WITH_DB |
                             wire::CLIENT_PROTOCOL_41 | wire::CLIENT_TRANSACTIONS |
                             wire::CLIENT_RESERVED | wire::CLIENT_SECURE_CONNECTION |
                             (compressed ? wire::CLIENT_COMPRESS : 0);
  greeting += static_cast<char>(caps & 0xFF);
  greeting += static_cast<char>(caps >> 8);
  greeting += std::string("\x08\x02\x00", 3) + std::string(13, '\0') + "ijklmnopqrst" + '\0';
  return Frame(greeting, 0) + Frame(std::string("\0\0\0\x02\0\0\0", 7), 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 200000) return 0;
  const bool store = data[0] & 1;
  const bool compressed = data[0] & 2;
  const std::string reply(reinterpret_cast<const char*>(data + 1), size - 1);

  wire::TMysqlClient c;
  auto transport = std::make_unique<wiretest::ScriptedTransport>();
  transport->Bytes(Login(compressed)).Bytes(reply);
  c.NetForTesting().SetTransportForTesting(std::move(transport));
  c.SetConnectTimeout(5);
  c.SetCompress(compressed);
  // No ping before the query and no reconnect: one connection per input.
  c.SetReconnect(false);
  // The engine's flags.
  if (c.ConnectToServer("127.0.0.1", "u", "p", "", 3306, "", true, wire::kMultiStatementFlags)) {
    bool ok = false;
    auto r = c.Query("select", store, ok);
    if (r) {
      unsigned sum = 0;
      const int columns = static_cast<int>(r->ColumnCount());
      for (r->First(); !r->AtEnd(); r->Next()) {
        for (int i = 0; i < columns; ++i) {
          const char* v = r->Value(i);
          if (v) sum += static_cast<unsigned char>(v[r->ValueLength(i)]);
        }
      }
      if (sum != 0) __builtin_trap();  // every value ends in a zero byte
      if (r->IsStored() && columns > 0) {
        r->Sort({0, columns - 1}, {false, true});
        r->Locate({0}, {"a%?"}, false, 0, false);
        r->Last();
        r->Prior();
        r->GoToRow(0);
        r->Value(0);
      }
      r.reset();
    }
    while (c.MoreResults() && c.Status() == wire::TClientStatus::kReady) {
      auto next = c.NextResult(store, ok);
      if (!ok && !next) break;
    }
  }
  return 0;
}
