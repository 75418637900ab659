// The certificate side of the transport's TLS handshake: what the context
// and the session check, the pin compared after the handshake, and the
// reason a failed handshake is reported with. Used by TMysqlVio only.
#pragma once

#include <openssl/ssl.h>

#include <string>

#include "wire/MysqlTls.h"

namespace wire {

// Verification mode and trusted certificates of a new context. False, with
// `failure` set, when the trusted certificates asked for cannot be loaded:
// a verifying connection never falls back to another store.
bool PrepareTlsContext(SSL_CTX* context, const TTlsOptions& options, std::string& failure);
// Server name indication and, for VerifyHost, the name or address the
// certificate must carry.
bool PrepareTlsSession(SSL* session, const TTlsOptions& options, const std::string& host,
                       std::string& failure);
// After a completed handshake: the pinned fingerprint, when there is one.
bool CheckTlsPeer(SSL* session, const TTlsOptions& options, std::string& failure);
// Why a handshake failed: OpenSSL's first queued reason, with the
// certificate check's own reason when that was the cause. Clears the queue.
std::string TlsFailureReason(SSL* session);
// Subject, issuer, validity, names and fingerprint of a certificate.
TCertificateInfo DescribeCertificate(X509* certificate);

}  // namespace wire
