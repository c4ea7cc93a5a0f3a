#include "common/sha256.h"

#include <cstdint>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#include <bcrypt.h>
#else
#include <openssl/evp.h>
#endif

namespace q9x {

namespace {

std::string HexOf(const unsigned char* digest, size_t bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (size_t i = 0; i < bytes; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 15]);
  }
  return hex;
}

// Pieces of at most this many bytes: both libraries count in 32 bits somewhere.
constexpr size_t kPiece = size_t{1} << 30;

}  // namespace

#ifdef _WIN32

struct Sha256::State {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash) BCryptDestroyHash(hash);
    if (algorithm) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (BCryptOpenAlgorithmProvider(&state_->algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0 ||
      BCryptCreateHash(state_->algorithm, &state_->hash, nullptr, 0, nullptr, 0, 0) < 0) {
    throw std::runtime_error("BCrypt offers no SHA-256");
  }
}

void Sha256::Add(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::string_view piece = bytes.substr(0, kPiece);
    BCryptHashData(state_->hash, reinterpret_cast<PUCHAR>(const_cast<char*>(piece.data())),
                   static_cast<ULONG>(piece.size()), 0);
    bytes.remove_prefix(piece.size());
  }
}

std::string Sha256::Hex() {
  unsigned char digest[32];
  BCryptFinishHash(state_->hash, digest, sizeof digest, 0);
  return HexOf(digest, sizeof digest);
}

#else

struct Sha256::State {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  ~State() { EVP_MD_CTX_free(context); }
};

Sha256::Sha256() : state_(std::make_unique<State>()) {
  if (!state_->context || EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("libcrypto offers no SHA-256");
  }
}

void Sha256::Add(std::string_view bytes) {
  while (!bytes.empty()) {
    const std::string_view piece = bytes.substr(0, kPiece);
    EVP_DigestUpdate(state_->context, piece.data(), piece.size());
    bytes.remove_prefix(piece.size());
  }
}

std::string Sha256::Hex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int bytes = 0;
  EVP_DigestFinal_ex(state_->context, digest, &bytes);
  return HexOf(digest, bytes);
}

#endif

Sha256::~Sha256() = default;

}  // namespace q9x
