#include "wire/AuthCrypto.h"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>
#include <sodium.h>

#include <cstring>
#include <memory>

namespace wire {

namespace {

std::string Digest(const EVP_MD* md, std::initializer_list<std::string_view> parts) {
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
  unsigned char out[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestInit_ex(ctx.get(), md, nullptr);
  for (std::string_view p : parts) EVP_DigestUpdate(ctx.get(), p.data(), p.size());
  EVP_DigestFinal_ex(ctx.get(), out, &length);
  return std::string(reinterpret_cast<char*>(out), length);
}

using Bytes32 = unsigned char[32];

void Reduce(const std::string& digest64, unsigned char* scalar) {
  unsigned char wide[64];
  std::memcpy(wide, digest64.data(), 64);
  crypto_core_ed25519_scalar_reduce(scalar, wide);
}

}  // namespace

std::string ScrambleSha256(std::string_view password, std::string_view nonce) {
  const std::string stage1 = Digest(EVP_sha256(), {password});
  const std::string stage2 = Digest(EVP_sha256(), {stage1});
  std::string out = Digest(EVP_sha256(), {stage2, nonce});
  for (std::size_t i = 0; i < out.size(); ++i) out[i] ^= stage1[i];
  return out;
}

bool EncryptPasswordRsa(std::string_view password, std::string_view nonce, std::string_view pem,
                        std::string& out) {
  if (nonce.empty()) return false;
  std::string text(password);
  text += '\0';
  for (std::size_t i = 0; i < text.size(); ++i) text[i] ^= nonce[i % nonce.size()];

  std::unique_ptr<BIO, decltype(&BIO_free)> bio(
      BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())), BIO_free);
  if (!bio) return false;
  std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
      PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
  if (!key || EVP_PKEY_get_base_id(key.get()) != EVP_PKEY_RSA) return false;
  std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> ctx(
      EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
  std::size_t length = 0;
  const auto* in = reinterpret_cast<const unsigned char*>(text.data());
  if (!ctx || EVP_PKEY_encrypt_init(ctx.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(ctx.get(), RSA_PKCS1_OAEP_PADDING) <= 0 ||
      EVP_PKEY_encrypt(ctx.get(), nullptr, &length, in, text.size()) <= 0) {
    return false;
  }
  out.assign(length, '\0');
  if (EVP_PKEY_encrypt(ctx.get(), reinterpret_cast<unsigned char*>(out.data()), &length, in,
                       text.size()) <= 0) {
    out.clear();
    return false;
  }
  out.resize(length);
  return true;
}

std::string Ed25519Sign(std::string_view secret, std::string_view message) {
  static const int sodium_ready = sodium_init();
  (void)sodium_ready;
  // Secret scalar a (clamped) and prefix from SHA-512 of the secret.
  std::string az = Digest(EVP_sha512(), {secret});
  az[0] = static_cast<char>(az[0] & 248);
  az[31] = static_cast<char>((az[31] & 63) | 64);
  const auto* a_bytes = reinterpret_cast<const unsigned char*>(az.data());

  Bytes32 A;  // public key a·B
  crypto_scalarmult_ed25519_base_noclamp(A, a_bytes);

  Bytes32 r;  // nonce r = SHA-512(prefix || M) mod L
  Reduce(Digest(EVP_sha512(), {std::string_view(az).substr(32, 32), message}), r);
  Bytes32 R;
  crypto_scalarmult_ed25519_base_noclamp(R, r);

  Bytes32 h;  // h = SHA-512(R || A || M) mod L
  const std::string_view R_view(reinterpret_cast<const char*>(R), 32);
  const std::string_view A_view(reinterpret_cast<const char*>(A), 32);
  Reduce(Digest(EVP_sha512(), {R_view, A_view, message}), h);

  Bytes32 a;  // a mod L
  Reduce(az.substr(0, 32) + std::string(32, '\0'), a);
  Bytes32 ha, S;  // S = r + h·a mod L
  crypto_core_ed25519_scalar_mul(ha, h, a);
  crypto_core_ed25519_scalar_add(S, r, ha);

  std::string signature(R_view);
  signature.append(reinterpret_cast<const char*>(S), 32);
  sodium_memzero(a, sizeof a);
  sodium_memzero(az.data(), az.size());
  return signature;
}

}  // namespace wire
