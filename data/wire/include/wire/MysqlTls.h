// What a connection asks of TLS, and what it learns of the server's
// certificate.
//
// TTlsOptions travels from the connection component through the engine to
// the client (TMysqlClient::SetTlsOptions), which hands it to its transport
// for the handshake. The modes, weakest first:
//   Off         never ask for TLS;
//   Preferred   TLS when the greeting offers it, plain otherwise;
//   Required    fail when the greeting does not offer TLS; any certificate;
//   VerifyCa    also the chain, against caFile or the system's store;
//   VerifyHost  also the host name or IP address the connection was made to.
// A fingerprint pins the server certificate instead: the chain and the
// name are not checked, but the certificate's SHA-256 must be the pinned
// one, and TLS is required. In every mode that requires TLS a failure ends
// the connect before any byte of the login packet leaves the client, with
// client error 2026. The protocol is TLS 1.2 or later.
//
// Plain values and pure functions; any thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace wire {

enum class TlsMode : std::uint8_t { Off, Preferred, Required, VerifyCa, VerifyHost };

// A SHA-256 digest of a certificate in its DER form.
using TFingerprint = std::array<std::uint8_t, 32>;

struct TTlsOptions {
  TlsMode mode = TlsMode::Off;
  std::string caFile;                       // PEM bundle; empty: the system's store
  std::optional<TFingerprint> fingerprint;  // pinned server certificate

  bool operator==(const TTlsOptions&) const = default;
};

// The mode in force: a pin requires TLS whatever the mode says.
TlsMode EffectiveTlsMode(const TTlsOptions& options);

// "sha256:" and the 32 bytes as upper-case hex pairs joined by ':'.
std::string FormatFingerprint(const TFingerprint& digest);
// Reads the form above; the prefix may be in any case, the hex digits too,
// and the colons may be left out. nullopt for anything else.
std::optional<TFingerprint> ParseFingerprint(std::string_view text);

// The server certificate as the handshake showed it.
struct TCertificateInfo {
  std::string subject;  // one-line distinguished names
  std::string issuer;
  std::string notBefore;  // "YYYY-MM-DD HH:MM:SS UTC"
  std::string notAfter;
  std::string names;  // subject alternative names, "DNS:x, IP:y"
  TFingerprint fingerprint{};
};

}  // namespace wire

namespace wire {

// Connects to a server, asks for TLS without checking its certificate,
// and fills `info` with the certificate the handshake showed; no login is
// sent. False, with `error` set, when the server cannot be reached or does
// not offer TLS, or the handshake fails.
bool FetchServerCertificate(const std::string& host, int port, int timeoutSeconds,
                            TCertificateInfo& info, std::string& error);

}  // namespace wire
