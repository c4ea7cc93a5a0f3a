// The ZIP reader on archives from outside: names that would write elsewhere, records that do not
// hold together, members that do not inflate as promised; and a support bundle unpacked, with
// what its manifest does not vouch for passed over or refused and nothing left behind.
#include "common/zip_reader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "base/platform.h"
#include "base/text.h"
#include "bundle/bundle_reader.h"
#include "common/files.h"
#include "common/zip_archive.h"
#include "test_files.h"

namespace q9x::zip {
namespace {

std::filesystem::path FsPath(const std::string& utf8) { return std::filesystem::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Archive(const std::vector<std::pair<std::string, std::string>>& members) {
  StringSink sink;
  Writer writer(sink);
  for (const auto& [name, bytes] : members) {
    EXPECT_TRUE(writer.Begin(name, bytes.size()) && writer.Add(bytes) && writer.End()) << writer.error();
  }
  EXPECT_TRUE(writer.Finish());
  return sink.bytes;
}

// Where the index-th directory record starts.
size_t CentralAt(const std::string& archive, size_t index) {
  size_t at = archive.find("PK\x01\x02");
  for (; index > 0; --index) at = archive.find("PK\x01\x02", at + 1);
  return at;
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (8 * i));
}

std::string Refusal(const std::string& archive, const ReadLimits& limits = {}) {
  MemorySource source(archive);
  Reader reader;
  if (reader.Open(source, limits)) return "opened";
  return reader.error();
}

TEST(ZipReader, RefusesNamesThatWriteElsewhereOrAreAnotherFileOnWindows) {
  const std::pair<std::string, std::string> cases[] = {
      {"../outside.txt", "\"..\" part"},        {"recording/../../x", "\"..\" part"},
      {"/etc/passwd", "absolute path"},         {"C:/Windows/x", "drive"},
      {"a\\..\\..\\b", "backslash"},            {"a//b", "empty part"},
      {"CON", "device name"},                   {"recording/aux.txt", "device name"},
      {"step./x", "ends in a dot"},             {"bell\x07", "control character"},
      {"what?", "'?'"},                         {std::string(1025, 'n'), "more than 1024 bytes"},
      {"\xc3\x28", "not UTF-8"},
  };
  for (const auto& [name, reason] : cases) {
    EXPECT_NE(Refusal(Archive({{name, "x"}})).find(reason), std::string::npos) << name;
  }
  EXPECT_NE(Refusal(Archive({{"Views.cam", "a"}, {"views.CAM", "b"}})).find("second member of that name"),
            std::string::npos);
  EXPECT_EQ(Refusal(Archive({{"recording/s/0001-startup/_model.pdx", "x"}, {"K\xc3\xbc" "che.cam", ""}})), "opened");
}

TEST(ZipReader, RefusesRecordsThatDoNotHoldTogether) {
  const std::string noise = [] {
    std::string bytes;
    for (uint32_t state = 7, i = 0; i < 20000; ++i) bytes.push_back(static_cast<char>((state = state * 1103515245 + 12345) >> 24));
    return bytes;
  }();
  const std::string good = Archive({{"a.txt", std::string(5000, 'a')}, {"b.bin", noise}});
  ASSERT_EQ(Refusal(good), "opened");
  const size_t first = CentralAt(good, 0), second = CentralAt(good, 1);
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    const char* reason;
  };
  const Case cases[] = {
      {"cut short", [](std::string& a) { a.resize(a.size() / 2); }, "no end record"},
      {"a link", [&](std::string& a) { a[first + 5] = 3; Put32(a, first + 38, 0120777u << 16); }, "a link"},
      {"encrypted", [&](std::string& a) { a[first + 8] |= 1; }, "encrypted"},
      {"method 12", [&](std::string& a) { a[first + 10] = 12; }, "compression method 12"},
      {"runs into the next", [&](std::string& a) { Put32(a, first + 20, 4000); }, "run past the next member"},
      {"a bomb's size", [&](std::string& a) { Put32(a, first + 24, 0x7FFFFFFF); }, "more than deflate can make"},
      {"overlapping", [&](std::string& a) { Put32(a, second + 42, 0); }, "no local header"},
      {"more members than records", [](std::string& a) { a[a.size() - 12] = 3; a[a.size() - 14] = 3; }, "claims 3 members"},
      {"the directory elsewhere", [](std::string& a) { Put32(a, a.size() - 6, 3); }, "does not lie before"},
  };
  for (const Case& c : cases) {
    std::string damaged = good;
    c.damage(damaged);
    EXPECT_NE(Refusal(damaged).find(c.reason), std::string::npos) << c.what << ": " << Refusal(damaged);
  }
  ReadLimits small;
  small.memberBytes = 10000;
  EXPECT_NE(Refusal(good, small).find("beyond the limit of 10000 for one member"), std::string::npos);
  small = {};
  small.totalBytes = 21000;
  EXPECT_NE(Refusal(good, small).find("more than the limit of 21000"), std::string::npos);

  // A CRC-32 that differs, or compressed bytes that are not deflate, show only on extraction;
  // what was handed over never passes the member's size.
  for (const size_t at : {first + 16, CentralAt(good, 0) - 20}) {
    std::string damaged = good;
    damaged[at] ^= 0x5A;
    MemorySource source(damaged);
    Reader reader;
    ASSERT_TRUE(reader.Open(source)) << reader.error();
    uint64_t handed = 0;
    EXPECT_FALSE(reader.Extract(reader.entries()[at == first + 16 ? 0 : 1], [&](std::string_view bytes) {
      handed += bytes.size();
      return true;
    }));
    EXPECT_NE(reader.error().find("damaged"), std::string::npos) << reader.error();
    EXPECT_LE(handed, noise.size());
  }
}

// A bundle of the writer's form: its manifest lists `listed` with their sizes and SHA-256s.
std::string Bundle(const std::vector<std::pair<std::string, std::string>>& members, const std::string& listed, int format = 1) {
  std::vector<std::pair<std::string, std::string>> all = members;
  all.emplace_back("manifest.json", "{\"format\": " + std::to_string(format) + ", \"members\": [" + listed + "]}");
  return Archive(all);
}

std::string Listed(const std::string& name, const std::string& bytes) {
  q9::platform::Sha256 hash;
  hash.Add(bytes.data(), bytes.size());
  return "{\"name\": \"" + name + "\", \"size\": " + std::to_string(bytes.size()) + ", \"sha256\": \"" +
         hash.HexDigest() + "\"}";
}

TEST(BundleReader, UnpacksOnlyWhatItsManifestVouchesForAndLeavesNothingOnRefusal) {
  q9::test::TempFolder temp;
  const std::string camera = "Camera_Start\r\nCamera_End\r\n";
  const std::string step = "recording/20261210-130509-4242/0002-1025/camera.cam";
  const std::string archivePath = q9::platform::DisplayPath(temp.File(u"bundle.zip"));
  const std::string folder = q9::platform::DisplayPath(temp.File(u"unpacked"));
  auto unpack = [&](const std::string& archive) {
    EXPECT_TRUE(WriteWholeFile(archivePath, archive));
    std::error_code ignored;
    std::filesystem::remove_all(FsPath(folder), ignored);
    return bundle::UnpackBundle(archivePath, folder, 0);
  };

  const Outcome<bundle::Unpacked> done = unpack(Bundle(
      {{"camera.cam", camera}, {step, camera}, {"notes.txt", "x"}, {"Views.cam", "unlisted"}},
      Listed("camera.cam", camera) + "," + Listed(step, camera) + "," + Listed("_mod.sm", "gone")));
  ASSERT_TRUE(done) << done.failure().reason;
  EXPECT_EQ(done->written, (std::vector<std::string>{"manifest.json", "camera.cam", step}));
  EXPECT_EQ(done->passedOver, (std::vector<std::string>{"notes.txt", "Views.cam"}));
  EXPECT_EQ(done->missing, std::vector<std::string>{"_mod.sm"});
  EXPECT_TRUE(std::filesystem::is_regular_file(FsPath(folder + "/" + step)));
  EXPECT_FALSE(std::filesystem::exists(FsPath(folder + "/notes.txt")));

  const std::pair<std::string, std::string> refused[] = {
      {Bundle({{"camera.cam", camera}}, Listed("camera.cam", camera), 2),
       "made by a later version of q9x (bundle format 2; this version reads format 1 and earlier)"},
      {Bundle({{"camera.cam", camera}}, Listed("camera.cam", camera + "x")), "its manifest says"},
      {Bundle({{"camera.cam", camera}}, Listed("camera.cam", "Camera_Start\r\nCamera_Enx\r\n")), "SHA-256 differs"},
      {Archive({{"camera.cam", camera}}), "no manifest.json"},
      {Bundle({{"../camera.cam", camera}}, Listed("../camera.cam", camera)), "\"..\" part"},
  };
  for (const auto& [archive, reason] : refused) {
    const Outcome<bundle::Unpacked> unpacked = unpack(archive);
    ASSERT_FALSE(unpacked) << reason;
    EXPECT_EQ(unpacked.failure().kind, FailureKind::Unsafe);
    EXPECT_NE(unpacked.failure().reason.find(reason), std::string::npos) << unpacked.failure().reason;
    EXPECT_FALSE(std::filesystem::exists(FsPath(folder))) << reason;
  }
}

}  // namespace
}  // namespace q9x::zip
