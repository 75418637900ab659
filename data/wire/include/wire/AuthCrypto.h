// The cryptography of the login methods beyond the SHA-1 and pre-4.1
// scrambles: the SHA-256 scramble and the RSA-OAEP password of
// caching_sha2_password, and the Ed25519 signature of MariaDB's
// client_ed25519. Pure functions over bytes; safe from any thread.
#pragma once

#include <string>
#include <string_view>

namespace wire {

// XOR(SHA256(password), SHA256(SHA256(SHA256(password)) || nonce)): 32 bytes.
std::string ScrambleSha256(std::string_view password, std::string_view nonce);

// The password, zero-terminated, XORed with the nonce (repeated as needed)
// and encrypted with RSA-OAEP under the server's public key (PEM, "BEGIN
// PUBLIC KEY"). False when the key does not read as an RSA public key or the
// text does not fit it.
bool EncryptPasswordRsa(std::string_view password, std::string_view nonce, std::string_view pem,
                        std::string& out);

// Ed25519 signature (64 bytes) of the message, with the secret scalar and
// prefix taken from SHA-512 of the whole secret. For a 32-byte secret this
// is the standard signature with that secret as its seed; MariaDB hashes
// the password itself in its place.
std::string Ed25519Sign(std::string_view secret, std::string_view message);

}  // namespace wire
