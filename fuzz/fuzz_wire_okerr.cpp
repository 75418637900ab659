// OK packets and error packets. The first two bytes choose the server
// capabilities / client flags and the protocol version; the rest is the
// packet payload, decoded as an OK packet and, framed with a 255 in front,
// read as an error packet through the packet layer.

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "wire/MysqlNet.h"
#include "wire/MysqlProtocol.h"
#include "wire/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2 || size > 60000) return 0;
  const std::uint32_t caps = data[0] & 1 ? wire::CLIENT_TRANSACTIONS : 0;
  const std::uint32_t flags = data[0] & 2 ? wire::CLIENT_RESERVED : 0;
  const int protocol = data[1] & 1 ? 9 : 10;
  const std::uint8_t* payload = data + 2;
  const std::size_t length = size - 2;

  wire::TMysqlOkPacket ok;
  wire::ParseOkPacket(payload, length, caps, flags, ok);

  std::string packet(4, '\0');
  const std::size_t errLength = length + 1;
  packet[0] = static_cast<char>(errLength);
  packet[1] = static_cast<char>(errLength >> 8);
  packet[2] = static_cast<char>(errLength >> 16);
  packet += '\xFF';
  packet.append(reinterpret_cast<const char*>(payload), length);
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  ::send(fds[1], packet.data(), packet.size(), MSG_NOSIGNAL);
  ::shutdown(fds[1], SHUT_WR);
  wire::TMysqlNet net;
  net.Attach(fds[0]);
  net.SetProtocolVersion(protocol);
  net.Clear();
  net.SafeRead(flags);
  if (net.ErrorMessage().size() > 199) __builtin_trap();
  net.Close();
  ::close(fds[1]);
  return 0;
}
