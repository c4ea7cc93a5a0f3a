// The ZIP writer's Zip64 switch: records of sizes and offsets beyond 32 bits (faked: no test
// writes 4 GiB), and archives written with every Zip64 record forced or with Zip64 local headers
// only, read back by the writer's own reader, the reader of archives from outside and, natively,
// by Python's zipfile and unzip.
#include "common/zip_archive.h"
#include "common/zip_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/platform.h"
#include "base/text.h"
#include "scene/container_format.h"
#include "test_files.h"

namespace q9x::zip {
namespace {

using q9::container::LoadUint16;
using q9::container::LoadUint32;

uint64_t Load64(const std::string& bytes, size_t at) {
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data() + at);
  return LoadUint32(data) | uint64_t{LoadUint32(data + 4)} << 32;
}
uint32_t Load32(const std::string& bytes, size_t at) {
  return LoadUint32(reinterpret_cast<const uint8_t*>(bytes.data() + at));
}

TEST(ZipArchive, OnlyValuesBeyond32BitsGoIntoTheZip64Fields) {
  Member member;
  member.name = "big.pdx";
  member.size = uint64_t{5} << 30;
  member.compressedSize = kMarker32;  // exactly the marker: it must go into the extra field too
  member.headerOffset = kMarker32 - 1;
  const std::string central = CentralHeader(member, {});
  EXPECT_EQ(Load32(central, 20), kMarker32);                       // compressed size
  EXPECT_EQ(Load32(central, 24), kMarker32);                       // size
  EXPECT_EQ(Load32(central, 42), kMarker32 - 1);                   // offset fits
  const size_t extra = kCentralHeaderBytes + member.name.size();
  ASSERT_EQ(central.size(), extra + kExtraHeaderBytes + 16);
  EXPECT_EQ(LoadUint16(reinterpret_cast<const uint8_t*>(central.data() + extra)), kZip64ExtraId);
  EXPECT_EQ(Load64(central, extra + 4), member.size);               // size first,
  EXPECT_EQ(Load64(central, extra + 12), member.compressedSize);    // then compressed size

  member.size = member.compressedSize = 10;
  EXPECT_EQ(CentralHeader(member, {}).size(), kCentralHeaderBytes + member.name.size());

  // 70 000 members need the Zip64 end record; so does a directory beyond 4 GiB.
  for (const auto& [members, offset] : {std::pair<uint64_t, uint64_t>{70000, 100},
                                        {3, uint64_t{6} << 30}}) {
    const std::string end = EndRecords(members, offset, 500);
    ASSERT_EQ(end.size(), kZip64EndBytes + kZip64LocatorBytes + kEndBytes);
    EXPECT_EQ(Load32(end, 0), kZip64EndSignature);
    EXPECT_EQ(Load64(end, 24), members);
    EXPECT_EQ(Load64(end, 48), offset);
    EXPECT_EQ(Load64(end, kZip64EndBytes + 8), offset + 500);  // the locator: where it is
  }
  EXPECT_EQ(EndRecords(3, 100, 500).size(), kEndBytes);
}

// Members that deflate, one that does not shrink, an empty one and one with a name beyond ASCII.
std::vector<std::pair<std::string, std::string>> SampleMembers() {
  std::string noise;
  uint32_t state = 12345;
  for (int i = 0; i < 300000; ++i) {
    state = state * 1103515245 + 12345;
    noise.push_back(static_cast<char>(state >> 24));
  }
  return {{"manifest.json", std::string(100000, 'a') + "{}"},
          {"recording/20261210-130509-4242/0001-startup/_model.pdx", noise},
          {"empty.txt", ""},
          {"K\xc3\xbc" "che.cam", "Camera_Start\r\n"}};
}

// Every record through Zip64; or the local headers of members whose size bound reached the
// switch while they stayed small (a file that shrank while it was bundled), whose central
// records must then say the same.
class ZipArchiveZip64 : public ::testing::TestWithParam<bool> {};

TEST_P(ZipArchiveZip64, TheArchiveReadsBack) {
  const bool forced = GetParam();
  q9::test::TempFolder folder;
  const std::u16string path = folder.File(u"zip64.zip");
  q9::platform::UniqueFile file = q9::platform::OpenFile(path, "wb+");
  ASSERT_TRUE(file);
  FileSink sink(file.get());
  WriterOptions options;
  options.forceZip64 = forced;
  options.time = DosTimeOf(2026, 12, 10, 13, 5, 9);
  Writer writer(sink, options);
  const auto members = SampleMembers();
  for (const auto& [name, bytes] : members) {
    ASSERT_TRUE(writer.Begin(name, forced ? bytes.size() : kLocalZip64From));
    // In pieces of odd sizes, as a stream gives them.
    for (size_t at = 0; at < bytes.size(); at += 65537) ASSERT_TRUE(writer.Add(bytes.substr(at, 65537)));
    ASSERT_TRUE(writer.End()) << writer.error();
    EXPECT_TRUE(writer.members().back().localZip64);
  }
  ASSERT_TRUE(writer.Finish());
  EXPECT_EQ(static_cast<uint64_t>(q9::platform::FileLength(file.get())), writer.size());
  ASSERT_TRUE(q9::platform::FinishFile(std::move(file)));

  file = q9::platform::OpenFile(path, "rb");
  for (size_t i = 0; i < members.size(); ++i) {
    std::string read;
    std::string error;
    EXPECT_TRUE(ReadWrittenMember(file.get(), writer.members()[i],
                                  [&](std::string_view bytes) { read += bytes; }, error))
        << error;
    EXPECT_EQ(read, members[i].second) << members[i].first;
  }
  // And through the reader of archives from outside, Zip64 records and all.
  FileSource source(file.get());
  Reader reader;
  ASSERT_TRUE(reader.Open(source)) << reader.error();
  ASSERT_EQ(reader.entries().size(), members.size());
  for (size_t i = 0; i < members.size(); ++i) {
    std::string read;
    EXPECT_TRUE(reader.Extract(reader.entries()[i], [&](std::string_view bytes) { return read += bytes, true; }));
    EXPECT_EQ(read, members[i].second) << reader.error();
  }
  EXPECT_EQ(writer.members()[2].method, kStored);
  EXPECT_LT(writer.members()[0].compressedSize, 1000u);
#ifndef _WIN32
  // The readers in common use take it as well.
  const std::string shown = q9::platform::DisplayPath(path);
  if (std::system("python3 -c '' 2>/dev/null") == 0) {
    EXPECT_EQ(std::system(("python3 -m zipfile -t '" + shown + "' >/dev/null").c_str()), 0);
  }
  EXPECT_EQ(std::system(("unzip -tq '" + shown + "' >/dev/null").c_str()), 0);
#endif
}

INSTANTIATE_TEST_SUITE_P(ForcedOrLocalOnly, ZipArchiveZip64, ::testing::Bool());

}  // namespace
}  // namespace q9x::zip
