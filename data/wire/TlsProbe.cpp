// Fetching a server's certificate without logging in, so that an installer
// can pin it.

#include <openssl/err.h>

#include "wire/ClientErrors.h"
#include "wire/MysqlClient.h"
#include "wire/MysqlNet.h"
#include "wire/MysqlProtocol.h"
#include "wire/MysqlTls.h"

namespace wire {

bool FetchServerCertificate(const std::string& host, int port, int timeoutSeconds,
                            TCertificateInfo& info, std::string& error) {
  TMysqlNet net;
  auto fail = [&](const std::string& text) {
    error = text;
    net.Close();
    return false;
  };
  net.Open(kVioTcp, host, true, timeoutSeconds, port, "");
  if (!net.IsConnected()) return fail(net.ErrorMessage());
  const long n = net.SafeRead(kClientBaseFlags);
  if (n < 0) return fail(net.ErrorMessage());
  TMysqlGreeting greeting;
  if (!ParseGreeting(net.ReadPos(), static_cast<std::size_t>(n), greeting) ||
      (greeting.protocol != 10 && greeting.protocol != 9))
    return fail(FormatClientError(CR_SERVER_HANDSHAKE_ERR));
  if (!(greeting.capabilities & CLIENT_SSL))
    return fail(FormatClientError(CR_SSL_CONNECTION_ERROR, {"the server does not offer TLS"}));
  // The TLS request is the header part of a login packet: flags, packet
  // size, character set. No name and no password follow it.
  TLoginRequest request;
  request.clientFlags = kClientBaseFlags | CLIENT_SSL;
  request.serverCapabilities = greeting.capabilities;
  request.serverCharset = greeting.charset;
  std::size_t headerLength = 0;
  const std::string login = BuildLoginPacket(request, headerLength);
  if (net.WritePacket(login.data(), headerLength) != 0 || net.Flush() != 0)
    return fail(FormatClientError(CR_SERVER_LOST));
  ERR_clear_error();
  net.Vio().SetTlsVerification({TlsMode::Required, {}, {}}, host);
  std::string cipher;
  net.StartTls("", "", "", "", cipher, timeoutSeconds);
  if (net.Kind() != kVioTls)
    return fail(FormatClientError(CR_SSL_CONNECTION_ERROR, {net.Vio().TlsFailure()}));
  info = net.Vio().PeerCertificate();
  net.Close();
  return true;
}

}  // namespace wire
