#include "base/recording.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "base/text.h"
#include "test_files.h"

namespace q9 {
namespace {

using nlohmann::json;

std::string Digest(const std::string& bytes) {
  platform::Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  return hash.HexDigest();
}

// `size` bytes that differ for each `seed`.
std::string Bytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (char& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

class RecordingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::MakeFolder(exchange);
    RecordingSwitch on;
    on.folder = root;
    on.maxSize = int64_t{1} << 30;
    test::WriteFileBytes(exchange + u"\\" + RecordingSwitch::kFileName, RecordingSwitchText(on));
  }

  // One request that reads `bytes` as the file `name`, which the host writes anew, with other
  // bytes of the same size, as soon as the request has read it.
  void Step(Recording& recording, std::optional<uint32_t> message, const std::u16string& name,
            const std::string& bytes) {
    recording.BeginStep(exchange, {message, "", "test request", false});
    const std::u16string path = exchange + u"\\" + name;
    test::WriteFileBytes(path, bytes);
    {
      platform::UniqueFile file = platform::OpenFile(path, "rb");
      ASSERT_TRUE(file);
      recording.KeepOpenFile(name, file.get());
    }
    test::WriteFileBytes(path, std::string(bytes.size(), 'x'));
    recording.EndStep({true, 1, 0, 0, 0});
  }

  std::vector<json> Lines(const std::u16string& session) const {
    std::vector<json> lines;
    for (const std::string& line : test::TextLines(test::ReadFileBytes(session + u"\\requests.jsonl"))) {
      lines.push_back(json::parse(line));
    }
    return lines;
  }
  std::vector<std::string> Warnings() const {
    std::vector<std::string> warnings;
    for (const std::string& message : test::LogMessages(exchange + u"\\Q9_Log.log")) {
      if (message.rfind("Warning: ", 0) == 0) warnings.push_back(message);
    }
    return warnings;
  }

  test::TempFolder folder;
  std::u16string exchange = folder.File(u"exchange");
  std::u16string root = folder.File(u"recording");
  LogWriter log{[this] { return exchange + u"\\"; }};
};

// Large files (their digests made after the request) and small ones (hashed as copied) in a
// row: each step's line comes in its step's order with the digest of the bytes its request read,
// not of what the host wrote afterwards, and all are written when the recording ends.
TEST_F(RecordingTest, LinesKeepTheStepOrderAndTheDigestsOfTheBytesRead) {
  const size_t large = static_cast<size_t>(Recording::kHashWhileCopyingBytes) + 1;
  std::vector<std::string> read;
  std::u16string session;
  {
    Recording recording(log);
    session = root + u"\\" + recording.sessionName();
    read.push_back(Bytes(large + 4096, 1));
    Step(recording, std::nullopt, u"_model.pdx", read.back());
    for (uint32_t step = 2; step <= 24; ++step) {
      read.push_back(Bytes(step % 7 == 0 ? large + step : 100 + step, step));
      Step(recording, 1027, u"_mod.sm", read.back());
    }
  }
  const std::vector<json> lines = Lines(session);
  ASSERT_EQ(lines.size(), read.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    const json& file = lines[i]["files"][0];
    EXPECT_EQ(lines[i]["step"], i + 1);
    EXPECT_EQ(file["size"], read[i].size()) << i;
    EXPECT_EQ(file["sha256"], Digest(read[i])) << i;
    EXPECT_TRUE(file["kept"].get<bool>()) << i;
    // (Compared as a flag: a difference of megabytes is no message.)
    EXPECT_TRUE(test::ReadFileBytes(session + u"\\" + Utf16FromUtf8(lines[i]["folder"].get<std::string>()) +
                                    (i == 0 ? u"\\_model.pdx" : u"\\_mod.sm")) == read[i])
        << i;
  }
  EXPECT_EQ(test::ReadFileBytes(session + u"\\startup-model.sha256"),
            Digest(read[0]) + " " + std::to_string(read[0].size()) + "\n");
  EXPECT_TRUE(Warnings().empty());
}

// The start-up model becomes a second name of the newest earlier session's copy only when the
// bytes it read have that copy's digest; a model of the same size with other bytes is copied.
TEST_F(RecordingTest, StartupModelIsLinkedToAnEarlierCopyOnlyWhenItsDigestIsTheSame) {
  const std::string earlier = Bytes(static_cast<size_t>(Recording::kHashWhileCopyingBytes) + 10, 7);
  const std::u16string earlierSession = root + u"\\20000101-000000-1";
  const std::u16string earlierCopy = earlierSession + u"\\0001-startup\\_model.pdx";
  test::MakeFolder(earlierSession + u"\\0001-startup");
  test::WriteFileBytes(earlierCopy, earlier);
  test::WriteFileBytes(earlierSession + u"\\startup-model.sha256",
                       Digest(earlier) + " " + std::to_string(earlier.size()) + "\n");
  for (const std::string& model : {Bytes(earlier.size(), 8), earlier}) {
    std::u16string session;
    {
      Recording recording(log);
      session = root + u"\\" + recording.sessionName();
      Step(recording, std::nullopt, u"_model.pdx", model);
    }
    const std::vector<json> lines = Lines(session);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0]["files"][0]["sha256"], Digest(model));
    EXPECT_TRUE(test::ReadFileBytes(session + u"\\0001-startup\\_model.pdx") == model);
    EXPECT_TRUE(test::ReadFileBytes(earlierCopy) == earlier);
#ifndef _WIN32
    // (The Windows runtime counts every file's names as one.)
    EXPECT_EQ(std::filesystem::hard_link_count(platform::DisplayPath(earlierCopy)), model == earlier ? 2u : 1u);
#endif
    EXPECT_TRUE(platform::RemoveTree(session));
  }
  EXPECT_TRUE(Warnings().empty());
}

}  // namespace
}  // namespace q9
