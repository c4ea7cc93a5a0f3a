// Containers for the scene tests: packed from JSON descriptions by the q9x writer, or laid out
// byte by byte where a test needs exact offsets; a session on the reference link library.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "base/exchange_folder.h"
#include "base/text.h"
#include "pack/pack_description.h"
#include "reference_link.h"
#include "scene/scene_container.h"
#include "test_files.h"

namespace q9 {

using nlohmann::json;

// The container a description gives; fails the test when the description is wrong.
inline std::string Pack(const json& description) {
  const q9x::PackResult packed = q9x::PackContainer(description, "");
  EXPECT_TRUE(packed.ok) << packed.error;
  return packed.bytes;
}

// Little-endian bytes laid out at chosen offsets, for sections whose layout a test fixes.
class RawBytes {
 public:
  RawBytes& Put32(size_t at, uint32_t value) {
    Grow(at + 4);
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<char>(value >> (8 * i));
    return *this;
  }
  // A length-prefixed string; returns the offset behind it.
  size_t PutString(size_t at, std::u16string_view text) {
    Put32(at, static_cast<uint32_t>(text.size()));
    return PutUnits(at + 4, text);
  }
  size_t PutUnits(size_t at, std::u16string_view text) {
    Grow(at + 2 * text.size());
    for (size_t i = 0; i < text.size(); ++i) {
      bytes_[at + 2 * i] = static_cast<char>(text[i]);
      bytes_[at + 2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return at + 2 * text.size();
  }
  void Grow(size_t size) {
    if (bytes_.size() < size) bytes_.resize(size, '\0');
  }
  const std::string& bytes() const { return bytes_; }
  std::string Hex() const {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes_) {
      hex += digits[c >> 4];
      hex += digits[c & 15];
    }
    return hex;
  }

 private:
  std::string bytes_;
};

inline uint32_t Bits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  return bits;
}

// A session on the reference library, an exchange folder of the test's own, a container.
class SceneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeFolder(exchange);
    process.exchangeFolder.Fix(exchange);
    ASSERT_TRUE(link.Start(session));
    logLinesBefore = LogMessages().size();
  }

  // The messages of the log lines written since SetUp, timestamps cut.
  std::vector<std::string> LogMessages() const {
    std::vector<std::string> messages = test::LogMessages(process.log.LogPath());
    messages.erase(messages.begin(),
                   messages.begin() + static_cast<std::ptrdiff_t>(std::min(logLinesBefore, messages.size())));
    return messages;
  }

  std::u16string File(std::u16string_view name) const { return exchange + u"\\" + std::u16string(name); }
  void Write(std::u16string_view name, const json& description) {
    test::WriteFileBytes(File(name), Pack(description));
  }
  // Points the container at `name` in the exchange folder.
  void Use(std::u16string_view name) { container.path = File(name); }

  test::ReferenceLink link;
  std::u16string exchange = link.folder().File(u"Data");
  ProcessState process;
  SceneContainer container{process};
  LinkSession& session = container.session;
  size_t logLinesBefore = 0;
};

// The identity matrix as the journal shows MaxBeginNode's arguments.
inline std::string BeginNode(const std::string& name) {
  return "MaxBeginNode [\"" + name + "\",[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1],true]";
}

}  // namespace q9
