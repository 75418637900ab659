// TLS options and certificate checks of the wire client, over OpenSSL.

#include "wire/MysqlTls.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <memory>

#include "TlsHandshake.h"

namespace wire {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsIpAddress(const std::string& host) {
  unsigned char buffer[16];
  return inet_pton(AF_INET, host.c_str(), buffer) == 1 ||
         inet_pton(AF_INET6, host.c_str(), buffer) == 1;
}

std::string NameLine(X509_NAME* name) {
  if (!name) return {};
  std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
  if (!bio) return {};
  X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
  char* data = nullptr;
  const long n = BIO_get_mem_data(bio.get(), &data);
  return std::string(data, static_cast<std::size_t>(n > 0 ? n : 0));
}

std::string TimeText(const ASN1_TIME* time) {
  tm t{};
  if (!time || ASN1_TIME_to_tm(time, &t) != 1) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", t.tm_year + 1900,
                t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec);
  return text;
}

std::string AltNames(X509* certificate) {
  std::string out;
  auto* names = static_cast<GENERAL_NAMES*>(
      X509_get_ext_d2i(certificate, NID_subject_alt_name, nullptr, nullptr));
  if (!names) return out;
  for (int i = 0; i < sk_GENERAL_NAME_num(names); ++i) {
    const GENERAL_NAME* n = sk_GENERAL_NAME_value(names, i);
    std::string item;
    if (n->type == GEN_DNS) {
      item =
          "DNS:" + std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(n->d.dNSName)),
                               static_cast<std::size_t>(ASN1_STRING_length(n->d.dNSName)));
    } else if (n->type == GEN_IPADD) {
      const int len = ASN1_STRING_length(n->d.iPAddress);
      char text[INET6_ADDRSTRLEN] = "";
      inet_ntop(len == 16 ? AF_INET6 : AF_INET, ASN1_STRING_get0_data(n->d.iPAddress), text,
                sizeof text);
      item = std::string("IP:") + text;
    } else {
      continue;
    }
    if (!out.empty()) out += ", ";
    out += item;
  }
  GENERAL_NAMES_free(names);
  return out;
}

bool Fingerprint(X509* certificate, TFingerprint& digest) {
  unsigned int length = 0;
  return X509_digest(certificate, EVP_sha256(), digest.data(), &length) == 1 &&
         length == digest.size();
}

}  // namespace

TlsMode EffectiveTlsMode(const TTlsOptions& options) {
  if (options.fingerprint && options.mode < TlsMode::Required) return TlsMode::Required;
  return options.mode;
}

std::string FormatFingerprint(const TFingerprint& digest) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out = "sha256:";
  for (std::size_t i = 0; i < digest.size(); ++i) {
    if (i) out += ':';
    out += kHex[digest[i] >> 4];
    out += kHex[digest[i] & 15];
  }
  return out;
}

std::optional<TFingerprint> ParseFingerprint(std::string_view text) {
  constexpr std::string_view kPrefix = "sha256:";
  if (text.size() < kPrefix.size()) return std::nullopt;
  for (std::size_t i = 0; i < kPrefix.size(); ++i)
    if ((text[i] | 0x20) != kPrefix[i] && text[i] != kPrefix[i]) return std::nullopt;
  text.remove_prefix(kPrefix.size());
  TFingerprint digest{};
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (count == digest.size() || i + 1 >= text.size()) return std::nullopt;
    const int high = HexDigit(text[i]);
    const int low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[count++] = static_cast<std::uint8_t>(high * 16 + low);
    i += 2;
    if (i < text.size() && text[i] == ':') {
      if (i + 1 == text.size()) return std::nullopt;
      ++i;
    }
  }
  if (count != digest.size()) return std::nullopt;
  return digest;
}

bool PrepareTlsContext(SSL_CTX* context, const TTlsOptions& options, std::string& failure) {
  const TlsMode mode = EffectiveTlsMode(options);
  const bool chain = !options.fingerprint && mode >= TlsMode::VerifyCa;
  if (!chain) {
    // Encryption without a check of who is at the other end (Preferred,
    // Required), or a pin compared after the handshake.
    SSL_CTX_set_verify(context, SSL_VERIFY_NONE, nullptr);
    return true;
  }
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  const int loaded = options.caFile.empty()
                         ? SSL_CTX_set_default_verify_paths(context)
                         : SSL_CTX_load_verify_locations(context, options.caFile.c_str(), nullptr);
  if (loaded != 1) {
    ERR_clear_error();
    failure = options.caFile.empty() ? "cannot load the system's trusted certificates"
                                     : "cannot load the CA file " + options.caFile;
    return false;
  }
  return true;
}

bool PrepareTlsSession(SSL* session, const TTlsOptions& options, const std::string& host,
                       std::string& failure) {
  const bool ip = IsIpAddress(host);
  if (!ip && !host.empty()) SSL_set_tlsext_host_name(session, host.c_str());
  if (options.fingerprint || EffectiveTlsMode(options) != TlsMode::VerifyHost) return true;
  const int set = ip ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session), host.c_str())
                     : SSL_set1_host(session, host.c_str());
  if (set != 1) {
    ERR_clear_error();
    failure = "cannot check the host name " + host;
    return false;
  }
  SSL_set_hostflags(session, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  return true;
}

bool CheckTlsPeer(SSL* session, const TTlsOptions& options, std::string& failure) {
  if (!options.fingerprint) return true;
  std::unique_ptr<X509, decltype(&X509_free)> peer(SSL_get1_peer_certificate(session), X509_free);
  TFingerprint digest{};
  if (!peer || !Fingerprint(peer.get(), digest)) {
    failure = "the server sent no certificate";
    return false;
  }
  if (digest != *options.fingerprint) {
    failure = "server certificate " + FormatFingerprint(digest) + " is not the pinned one";
    return false;
  }
  return true;
}

std::string TlsFailureReason(SSL* session) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  std::string reason;
  if (code != 0) {
    const char* text = ERR_reason_error_string(code);
    reason = text ? text : "error " + std::to_string(code);
  }
  const long verify = session ? SSL_get_verify_result(session) : X509_V_OK;
  if (verify != X509_V_OK) {
    if (!reason.empty()) reason += ": ";
    reason += X509_verify_cert_error_string(verify);
  }
  if (reason.empty()) reason = "the server ended the TLS handshake";
  return reason;
}

TCertificateInfo DescribeCertificate(X509* certificate) {
  TCertificateInfo info;
  if (!certificate) return info;
  info.subject = NameLine(X509_get_subject_name(certificate));
  info.issuer = NameLine(X509_get_issuer_name(certificate));
  info.notBefore = TimeText(X509_get0_notBefore(certificate));
  info.notAfter = TimeText(X509_get0_notAfter(certificate));
  info.names = AltNames(certificate);
  Fingerprint(certificate, info.fingerprint);
  return info;
}

}  // namespace wire
