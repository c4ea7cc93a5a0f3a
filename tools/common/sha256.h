// SHA-256 of bytes handed over in pieces, for the tools: the system's cryptography library on
// each build (libcrypto natively, BCrypt on Windows).
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace q9x {

class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Add(std::string_view bytes);
  // The digest of everything added, as 64 lower-case hex digits. Call once; the object is then
  // spent.
  std::string Hex();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace q9x
