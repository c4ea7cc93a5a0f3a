#include <gmock/gmock.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <thread>

#include "scene/geometry_section.h"
#include "scene_fixture.h"

#ifdef _WIN32
#include "held_file_win32.h"
#endif

namespace q9 {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

int32_t Int32At(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + i])) << (8 * i);
  return static_cast<int32_t>(value);
}

// A geometry section with one solid and no meshes: enough to see whether it was read.
json OneSolid(int32_t id) {
  return {{"solids", json::array({{{"id", id}}})}};
}

class ContainerTest : public SceneTest {};

// --- header and fresh header ---

TEST_F(ContainerTest, MissingFileReceivesAFreshHeaderAndNothingIsLoaded) {
  Use(u"_model.pdx");
  container.loadSection(0);
  const std::string bytes = test::ReadFileBytes(File(u"_model.pdx"));
  ASSERT_EQ(bytes.size(), 208644u);
  EXPECT_EQ(Int32At(bytes, 0), 0);
  EXPECT_EQ(Int32At(bytes, 4), 208644);
  EXPECT_EQ(Int32At(bytes, 8), 1);
  EXPECT_EQ(Int32At(bytes, 12), 0);
  EXPECT_EQ(Int32At(bytes, 1040), 0);
  EXPECT_EQ(bytes.find_first_not_of('\0', 16), std::string::npos) << "name and directory are zero";
  EXPECT_EQ(container.file, nullptr);
  EXPECT_THAT(link.Texts(), IsEmpty());
  EXPECT_THAT(container.solids, IsEmpty());
}

TEST_F(ContainerTest, FreshHeaderOfAMissingUpdateCarriesTheHeaderLastRead) {
  Write(u"_model.pdx", {{"header", {{"name", "Villa"}, {"reserved0", 7}, {"preservedWord", 0xBEEF}}},
                        {"entries", json::array({{{"name", "C:\\p\\Villa.pln"}, {"geometry", OneSolid(1)}},
                                                 {{"name", "second"}, {"type", 9}, {"offset", 5}}})}});
  Use(u"_model.pdx");
  container.loadSection(0);
  ASSERT_EQ(container.currentSectionName, u"C:\\p\\Villa.pln");

  Use(u"_mod.sm");
  link.ClearJournal();
  container.loadSection(1);
  EXPECT_THAT(link.Texts(), IsEmpty()) << "the operation that wrote the header loads nothing";
  const std::string model = test::ReadFileBytes(File(u"_model.pdx"));
  const std::string update = test::ReadFileBytes(File(u"_mod.sm"));
  ASSERT_EQ(update.size(), 208644u);
  EXPECT_EQ(update, model.substr(0, 208644)) << "header and directory of _model.pdx, byte for byte";
}

TEST_F(ContainerTest, FileOfExactlyAHeaderIsReadAndHasNoSections) {
  std::string header = Pack({{"header", {{"name", "Only"}}}, {"entries", json::array({{{"name", "p"}, {"type", 2}}})}});
  ASSERT_EQ(header.size(), 208644u);
  test::WriteFileBytes(File(u"a.pdx"), header);
  Use(u"a.pdx");
  container.loadHeader();
  EXPECT_NE(container.file, nullptr) << "left open behind the directory";
  EXPECT_EQ(container.reader.position(), 208644);
  EXPECT_EQ(container.name, u"Only");
  EXPECT_EQ(container.entries[0].name(), u"p");
  EXPECT_EQ(container.entries[0].type(), 2);
  container.Close();
  EXPECT_EQ(test::ReadFileBytes(File(u"a.pdx")), header) << "not rewritten";
}

TEST_F(ContainerTest, EmptyFileReceivesAFreshHeaderFromTheHeaderHeld) {
  test::WriteFileBytes(File(u"empty.sm"), "");
  Use(u"empty.sm");
  container.name = u"held";
  container.loadHeader();
  EXPECT_EQ(container.file, nullptr);
  const std::string bytes = test::ReadFileBytes(File(u"empty.sm"));
  ASSERT_EQ(bytes.size(), 208644u);
  EXPECT_EQ(Int32At(bytes, 4), 208644);
  EXPECT_EQ(Int32At(bytes, 12), 4) << "nameLength from the name held";
  EXPECT_EQ(bytes.substr(16, 10), std::string("h\0e\0l\0d\0\0\0", 10));
  EXPECT_THAT(LogMessages(), IsEmpty());
}

// --- what the log tells about a container ---

TEST_F(ContainerTest, FileShorterThanAHeaderIsLeftUntouchedWithAWarning) {
  // A file the host is still writing, or a damaged one: its bytes are never overwritten.
  const std::string held(208643, '\x5A');
  test::WriteFileBytes(File(u"short.sm"), held);
  Use(u"short.sm");
  container.loadSection(0);
  EXPECT_EQ(container.file, nullptr);
  EXPECT_EQ(test::ReadFileBytes(File(u"short.sm")), held);
  EXPECT_THAT(container.solids, IsEmpty());
  EXPECT_THAT(LogMessages(),
              ElementsAre("Warning: container \"" + platform::DisplayPath(File(u"short.sm")) +
                          "\" holds 208643 bytes, less than a header (208644): left untouched, "
                          "nothing loaded"));
}

TEST_F(ContainerTest, DamageIsToldOncePerOperationWithTheFirstAndHowManyMore) {
  // A section cut inside its last text: the text's length asks for more than the file holds.
  const std::string whole = Pack({{"entries", json::array({{{"name", "p"}, {"geometry",
      {{"materials", json::array({{{"text", "MaterialID_Name [A]\n" + std::string(400, 'x')}}})}}}}})}});
  test::WriteFileBytes(File(u"d.pdx"), whole.substr(0, whole.size() - 100));
  int passedOn = 0;
  container.reader.onDamage = [&passedOn](const ReadDamage&) { ++passedOn; };
  Use(u"d.pdx");
  container.loadSection(0);
  const std::vector<std::string> messages = LogMessages();
  ASSERT_EQ(messages.size(), 1u);
  const std::string prefix =
      "Warning: damaged container \"" + platform::DisplayPath(File(u"d.pdx")) + "\": first damage while reading ";
  EXPECT_THAT(messages[0], testing::StartsWith(prefix));
  EXPECT_THAT(messages[0], testing::HasSubstr("offset "));
  EXPECT_THAT(messages[0], testing::EndsWith("; " + std::to_string(passedOn - 1) + " more"));
  EXPECT_GE(passedOn, 1) << "an earlier handler (a tool's) still sees every report";
  ASSERT_TRUE(container.reader.onDamage) << "and is put back";

  container.loadSection(0);
  EXPECT_EQ(LogMessages().size(), 2u) << "one line per operation";
}

TEST_F(ContainerTest, ContainerThatCannotBeCreatedIsTold) {
  Use(u"absent\\_mod.sm");
  container.loadSection(1);
  const std::vector<std::string> messages = LogMessages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_THAT(messages[0], testing::StartsWith("Error: container \"" +
                                               platform::DisplayPath(File(u"absent\\_mod.sm")) +
                                               "\" could not be opened: "));
}

#ifdef _WIN32
TEST_F(ContainerTest, ContainerInUseByAnotherProgramIsToldAsSuch) {
  Write(u"_mod.sm", {{"entries", json::array({{{"name", "p"}, {"geometry", OneSolid(1)}}})}});
  Use(u"_mod.sm");
  {
    const test::HeldFile held(File(u"_mod.sm"));
    ASSERT_TRUE(held.held());
    process.fileInUseWait = FileInUseWait(std::chrono::milliseconds(0));
    container.loadSection(0);
    EXPECT_TRUE(container.openError.sharingViolation);
    EXPECT_THAT(LogMessages(),
                ElementsAre("Error: container \"" + platform::DisplayPath(File(u"_mod.sm")) +
                            "\" could not be opened: it was in use by another process; not "
                            "waited for (no wait set): " +
                            platform::SystemError(ERROR_SHARING_VIOLATION).text));
    EXPECT_TRUE(container.solids.empty());
  }
  // Released while the container waits for it: loaded as if it had never been held.
  process.fileInUseWait = FileInUseWait(std::chrono::milliseconds(5000));
  std::optional<test::HeldFile> held(File(u"_mod.sm"));
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    held.reset();
  });
  container.loadSection(0);
  release.join();
  EXPECT_EQ(container.solids.size(), 1u);
  EXPECT_THAT(LogMessages().back(),
              ::testing::StartsWith("Note: container \"" + platform::DisplayPath(File(u"_mod.sm")) +
                                    "\" was in use by another process; opened after "));
}
#else
TEST_F(ContainerTest, FreshHeaderThatCannotBeWrittenIsTold) {
  // A device that takes no bytes: open and empty, but every write fails.
  container.path = u"/dev/full";
  container.loadHeader();
  EXPECT_EQ(container.file, nullptr);
  EXPECT_THAT(LogMessages(), ElementsAre("Error: a fresh header could not be written into "
                                         "container \"/dev/full\": " +
                                         platform::SystemError(ENOSPC).text));
}
#endif

TEST_F(ContainerTest, LongestNameAndPreservedWordSurviveAFreshHeader) {
  const std::string name(255, 'n');
  Write(u"a.pdx", {{"header", {{"name", name}, {"preservedWord", 0x1234}}}, {"entries", json::array()}});
  Use(u"a.pdx");
  container.loadHeader();
  container.Close();
  EXPECT_EQ(container.name.size(), 255u);
  EXPECT_EQ(container.preservedWord, 0x1234);
  EXPECT_EQ(container.lastEntryIndex, -1);

  Use(u"fresh.pdx");
  container.loadHeader();
  const std::string fresh = test::ReadFileBytes(File(u"fresh.pdx"));
  EXPECT_EQ(fresh, test::ReadFileBytes(File(u"a.pdx")));
}

TEST_F(ContainerTest, NameWithoutTerminatorStopsAt255Units) {
  // 300 units of name: the writer puts them across the preserved word's place.
  Write(u"a.pdx", {{"header", {{"name", std::string(300, 'x')}}}, {"entries", json::array()}});
  Use(u"a.pdx");
  container.loadHeader();
  EXPECT_EQ(container.name, std::u16string(255, u'x'));
}

TEST_F(ContainerTest, PathWithSlashesOpensTheSameFile) {
  Write(u"a.pdx", {{"entries", json::array({{{"name", "p"}, {"geometry", OneSolid(4)}}})}});
  std::u16string slashed = File(u"a.pdx");
  std::replace(slashed.begin(), slashed.end(), u'\\', u'/');
  container.path = slashed;
  container.loadSection(0);
  EXPECT_EQ(container.path.find(u'/'), std::u16string::npos) << "the stored path uses backslashes";
  EXPECT_EQ(container.solids.count(4), 1u);
}

TEST_F(ContainerTest, ExistingFileThatCannotBeOpenedIsNotReplaced) {
  // A folder at the path: it can be opened neither for reading nor for update.
  test::MakeFolder(File(u"taken.pdx"));
  Use(u"taken.pdx");
  container.loadSection(0);
  EXPECT_EQ(container.file, nullptr);
  EXPECT_TRUE(test::FileExists(File(u"taken.pdx")));
}

// --- sections by index ---

TEST_F(ContainerTest, SectionIsReadOnlyWhenItsIndexIsInUse) {
  const json entries = json::array({{{"name", "zero"}, {"geometry", OneSolid(10)}},
                                    {{"name", "one"}, {"geometry", OneSolid(11)}}});
  Write(u"a.sm", {{"header", {{"lastEntryIndex", 1}}}, {"entries", entries}});
  Write(u"b.sm", {{"header", {{"lastEntryIndex", 0}}}, {"entries", entries}});
  Use(u"b.sm");
  container.loadSection(1);
  EXPECT_THAT(container.solids, IsEmpty());
  EXPECT_EQ(container.file, nullptr);
  Use(u"a.sm");
  container.loadSection(1);
  EXPECT_EQ(container.solids.count(11), 1u);
  EXPECT_EQ(container.currentSectionName, u"one");
  EXPECT_THAT(LogMessages(), IsEmpty()) << "an intact container adds no line";
}

TEST_F(ContainerTest, IndicesOutsideTheDirectoryReadNothing) {
  Write(u"a.sm", {{"header", {{"lastEntryIndex", 5000}}},
                  {"entries", json::array({{{"name", "zero"}, {"geometry", OneSolid(10)}}})}});
  Use(u"a.sm");
  container.loadSection(-1);
  container.loadSection(100);
  EXPECT_THAT(container.solids, IsEmpty());
  EXPECT_EQ(container.file, nullptr);
}

TEST_F(ContainerTest, OnlyGeometryEntriesAreLoaded) {
  Write(u"a.sm", {{"entries", json::array({{{"name", "changes"}, {"type", 4}, {"geometry", OneSolid(1)}},
                                           {{"name", "inert"}, {"type", 7}, {"geometry", OneSolid(2)}}})}});
  container.currentSectionName = u"before";
  Use(u"a.sm");
  container.loadSection(0);
  container.loadSection(1);
  EXPECT_THAT(container.solids, IsEmpty());
  EXPECT_EQ(container.currentSectionName, u"before");
  EXPECT_THAT(link.Texts(), IsEmpty());
}

// --- primitives ---

// The container's own readers over untrusted counts: a string or id list that asks for more than
// the file holds keeps what is there, tells the damage, and never allocates the count asked for.
TEST_F(ContainerTest, StringsAndIdListsReadAtThePositionAndAreCutByTheFile) {
  RawBytes raw;
  size_t at = raw.PutString(208644, u"");       // n = 0: four bytes
  at = raw.PutString(at, u"Solid");
  raw.Put32(at, 3).Put32(at + 4, 7).Put32(at + 8, 0xFFFFFFFF).Put32(at + 12, 9);
  raw.Put32(at + 16, 0);
  const size_t cutList = at + 20;
  raw.Put32(cutList, 0xFFFFFFFF).Put32(cutList + 4, 5).Put32(cutList + 8, 6);
  const size_t cutText = cutList + 12;
  raw.Put32(cutText, 0x7FFFFFFF);
  raw.PutUnits(cutText + 4, u"ab");
  test::WriteFileBytes(File(u"p.bin"), raw.bytes());
  Use(u"p.bin");
  std::vector<ReadDamage::Kind> damage;
  container.reader.onDamage = [&damage](const ReadDamage& d) { damage.push_back(d.kind); };
  container.open();
  container.reader.Seek(208644);
  EXPECT_EQ(container.readString(), u"");
  EXPECT_EQ(container.reader.position(), 208648);
  EXPECT_EQ(container.readString(), u"Solid");
  std::vector<uint32_t> ids{1, 2, 3, 4, 5};
  EXPECT_EQ(container.readIdList(ids), 3u);
  EXPECT_THAT(ids, ElementsAre(7u, 0xFFFFFFFFu, 9u));
  EXPECT_EQ(container.readIdList(ids), 0u);
  EXPECT_THAT(ids, IsEmpty());
  EXPECT_THAT(damage, IsEmpty());

  container.reader.Seek(static_cast<int64_t>(cutText));
  EXPECT_EQ(container.readString(), u"ab") << "a length of 2^31 - 1 with two units left";
  EXPECT_EQ(container.reader.position(), static_cast<int64_t>(raw.bytes().size()));
  EXPECT_EQ(container.readIdList(ids), 0u) << "past the end: a zero count";
  EXPECT_THAT(ids, IsEmpty());
  container.reader.Seek(static_cast<int64_t>(cutList));
  EXPECT_EQ(container.readIdList(ids), 4u) << "a count of 2^32 - 1: the words up to the end";
  EXPECT_THAT(ids, ElementsAre(5u, 6u, 0x7FFFFFFFu, 0x00620061u));
  EXPECT_EQ(damage, (std::vector{ReadDamage::Kind::CountCut, ReadDamage::Kind::PastEnd,
                                 ReadDamage::Kind::CountCut}));
}

}  // namespace
}  // namespace q9
