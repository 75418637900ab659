// Packet reader, plain and compressed: the input is what the server sends.
// The first byte picks the mode and the client flags; the rest goes through
// a socketpair into TMysqlNet::SafeRead until the stream ends.

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "wire/MysqlNet.h"
#include "wire/Protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1 || size > 65536) return 0;
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  const std::uint8_t mode = data[0];
  ::send(fds[1], data + 1, size - 1, MSG_NOSIGNAL);
  ::shutdown(fds[1], SHUT_WR);

  wire::TMysqlNet net;
  net.Attach(fds[0]);
  net.SetCompress(mode & 1);
  net.SetProtocolVersion(mode & 2 ? 9 : 10);
  const std::uint32_t flags = mode & 4 ? wire::CLIENT_RESERVED : 0;
  net.Clear();
  unsigned sum = 0;
  for (int i = 0; i < 1000; ++i) {
    long n = net.SafeRead(flags);
    if (n < 0) {
      if (!net.IsConnected()) break;
      continue;  // a server error packet: the connection goes on
    }
    for (long j = 0; j <= n; ++j) sum += net.ReadPos()[j];  // includes the terminating zero
    if (mode & 8) net.Shrink();
  }
  net.Close();
  ::close(fds[1]);
  return static_cast<int>(sum & 0);
}
