// The received scene's own parts: the named lists, the journal read as a stream of lines, the
// decoder for the library's line shape against the general JSON reader, and journals cut short.
#include <gmock/gmock.h>

#include <bit>
#include <cstring>

#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "journal.h"
#include "q9x_call.h"
#include "received/apply_call.h"
#include "received/call_display.h"
#include "received/scene_reader.h"
#include "test_files.h"

namespace q9x {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::vector<std::string> Names(const NamedList<int>& list) {
  std::vector<std::string> names;
  for (const auto& [name, value] : list) names.push_back(name + "=" + std::to_string(value));
  return names;
}

TEST(NamedListTest, KeepsFirstSeenOrderThroughRemovalsAndCopies) {
  NamedList<int> list;
  for (int i = 0; i < 40; ++i) list.Set("n" + std::to_string(i), i);
  for (int i = 0; i < 40; ++i) {
    if (i % 10 != 0) list.Remove("n" + std::to_string(i));  // enough gaps to close them
  }
  list.Set("n10", 11);  // set again: keeps its place
  list.Set("n5", 5);    // removed and added again: last
  EXPECT_THAT(Names(list), ElementsAre("n0=0", "n10=11", "n20=20", "n30=30", "n5=5"));
  ASSERT_NE(list.Find("n30"), nullptr);
  EXPECT_EQ(*list.Find("n30"), 30);
  EXPECT_EQ(list.Find("n31"), nullptr);

  // A copy is a list of its own: its index names its own entries.
  NamedList<int> copy = list;
  list.Remove("n0");
  list.Set("n20", -1);
  EXPECT_THAT(Names(copy), ElementsAre("n0=0", "n10=11", "n20=20", "n30=30", "n5=5"));
  copy = list;
  copy.Set("new", 1);
  EXPECT_EQ(*copy.Find("n20"), -1);
  EXPECT_EQ(list.size(), 4u);
  EXPECT_EQ(copy.size(), 5u);
}

TEST(ReceivedSceneTest, ACopiedSceneAddsMeshesToItsOwnOpenNode) {
  ReceivedScene scene;
  scene.BeginNode("N", std::nullopt, true);
  ReceivedScene copy = scene;
  ASSERT_NE(copy.AddMesh("m", 3), nullptr);
  EXPECT_EQ(copy.nodes.Find("N")->meshes.size(), 1u);
  EXPECT_TRUE(scene.nodes.Find("N")->meshes.empty());
  // The open node deleted: nothing is added until a node is opened again.
  copy.DeleteNode("N");
  EXPECT_EQ(copy.AddMesh("m", 3), nullptr);
}

// A source over `text`, `step` bytes at a time.
ByteSource Bytes(const std::string& text, size_t step) {
  return [&text, step, at = size_t{0}](char* into, size_t size) mutable {
    const size_t count = std::min({size, step, text.size() - at});
    std::memcpy(into, text.data() + at, count);
    at += count;
    return count;
  };
}

TEST(LineReaderTest, ReadsLinesLongerThanItsBufferAndALastLineWithoutLineFeed) {
  const std::string text = "ab\r\n" + std::string(100, 'x') + "\n\nlast";
  LineReader lines(Bytes(text, 7), 16);
  struct Line {
    std::string text;
    size_t number;
    uint64_t offset;
    bool terminated;
    bool operator==(const Line&) const = default;
  };
  std::vector<Line> read;
  while (lines.Next()) read.push_back({std::string(lines.line()), lines.number(), lines.offset(), lines.terminated()});
  EXPECT_EQ(read, (std::vector<Line>{{"ab", 1, 0, true}, {std::string(100, 'x'), 2, 4, true},
                                     {"", 3, 105, true}, {"last", 4, 106, false}}));
  // The buffer grew to the longest line, not to the text.
  EXPECT_GE(lines.capacity(), 101u);
  EXPECT_LE(lines.capacity(), 256u);
}

TEST(JournalReadTest, AMeshLineLongerThanTheReadBufferIsHeldWhole) {
  // 40 000 triangles: a line of about 3.5 MB, more than the reader's first buffer.
  constexpr int kTriangles = 40000;
  std::string words;
  for (int i = 0; i < 9 * kTriangles; ++i) {
    words += (i ? "," : "") + std::to_string(std::bit_cast<uint32_t>(static_cast<float>(i % 1000)));
  }
  const std::string journal = q9::test::JournalLine("MaxBeginNode", {"N", nullptr, true}) +
                              R"({"fn":"MaxAddTriangles","h":1,"args":["M",40000,[)" + words + "],[0],[0],0]}\n" +
                              q9::test::JournalLine("Q9EndNode", json::array());
  std::string error;
  const std::optional<ReadScene> read = ParseSceneText(journal, error);
  ASSERT_TRUE(read) << error;
  const ReceivedMesh& mesh = read->scene.nodes.Find("N")->meshes.at(0);
  ASSERT_EQ(mesh.HeldTriangles(), size_t{kTriangles});
  EXPECT_EQ(mesh.positions[999], 999.0f);
  EXPECT_EQ(mesh.positions[9 * kTriangles - 1], static_cast<float>((9 * kTriangles - 1) % 1000));
  // Without asking for them, no positions are kept.
  EXPECT_TRUE(ParseSceneText(journal, error, false)->scene.nodes.Find("N")->meshes.at(0).positions.empty());
}

TEST(JournalReadTest, ALastLineCutShortLeavesTheCallsBeforeIt) {
  const std::string whole = q9::test::JournalLine("MaxBeginNode", {"A", nullptr, true}) + q9::test::JournalLine("Q9EndNode", json::array());
  const std::string cut = R"({"fn":"MaxBeginNode","h":1,"args":["B",null,true]})";
  std::string error;
  for (size_t length : {size_t{3}, cut.size() / 2, cut.size() - 1}) {
    const std::optional<ReadScene> read = ParseSceneText(whole + cut.substr(0, length), error);
    ASSERT_TRUE(read) << error;
    EXPECT_EQ(read->callCount, 2u);
    EXPECT_EQ(read->cutShort, "line 3 (byte " + std::to_string(whole.size()) +
                                  ") is cut short: the file ends inside that call");
    EXPECT_EQ(read->scene.nodes.size(), 1u);
  }
  // A last line of another kind, or a broken line with its line feed, is not a journal call.
  EXPECT_FALSE(ParseSceneText(whole + "garbage", error));
  EXPECT_EQ(error, "line 3 (byte " + std::to_string(whole.size()) + ") is not a journal call: garbage");
  EXPECT_FALSE(ParseSceneText(whole + cut.substr(0, 20) + "\n", error));
  EXPECT_FALSE(ParseSceneText(whole + cut.substr(0, 20) + "\n" + whole, error));
}

TEST(JournalReadTest, SummaryNamesACutLineAndSumsUpTheCallsBeforeIt) {
  q9::test::TempFolder folder;
  const std::string first = q9::test::JournalLine("Q9AddLight", {"L"});
  q9::test::WriteFileBytes(folder.File(u"j.jsonl"), first + R"({"fn":"Q9AddLi)");
  const std::string path = q9::platform::DisplayPath(folder.File(u"j.jsonl"));
  const Result result = Q9x({"summary", path});
  EXPECT_EQ(result.status, kOk);
  EXPECT_THAT(result.err, HasSubstr("line 2 (byte " + std::to_string(first.size()) + ") is cut short"));
  EXPECT_THAT(result.out, HasSubstr("1 calls: Q9AddLight 1;"));
  EXPECT_THAT(result.out, HasSubstr("lights (1)"));

  // --json: "calls" first, as they were read; a journal without calls still a document.
  const Result asJson = Q9x({"summary", path, "--json"});
  EXPECT_EQ(asJson.out.rfind("{\n  \"calls\": [\n    {\n      \"args\": [\n        \"L\"\n      ],", 0), 0u)
      << asJson.out;
  EXPECT_EQ(json::parse(asJson.out)["callCounts"]["Q9AddLight"], 1);
  q9::test::WriteFileBytes(folder.File(u"j.jsonl"), "\n");
  EXPECT_EQ(json::parse(Q9x({"summary", path, "--json"}).out)["calls"], json::array());
}

TEST(JournalReadTest, ALineOverTheLimitIsNamedAndSkippedWithinTheLimitsMemory) {
  // A light's line about 20 times the limit between good lines, and as the last line without
  // its line feed; the limit allows a line of exactly its length.
  constexpr size_t kLimit = 256;
  const std::string first = q9::test::JournalLine("Q9AddLight", {"A"});
  const std::string huge = R"({"fn":"Q9AddLight","h":1,"args":[")" + std::string(20 * kLimit, 'x') + "\"]}\n";
  const std::string fits = R"({"fn":"Q9AddLight","h":1,"args":[")" + std::string(kLimit - 38, 'y') + "\"]}\r\n";
  ASSERT_EQ(fits.size(), kLimit + 1);  // the carriage return counts, the line feed does not
  const std::string last = q9::test::JournalLine("Q9AddLight", {"B"});
  const std::string journal = first + huge + fits + huge + last + huge.substr(0, huge.size() - 1);

  // Read with a buffer that grows to the limit, and with one larger than the limit from the
  // start: the same lines.
  for (const size_t block : {size_t{16}, size_t{4096}}) {
    LineReader lines(Bytes(journal, 100), block, kLimit);
    std::vector<std::string> read;
    while (lines.Next()) {
      read.push_back(std::to_string(lines.number()) + (lines.tooLong() ? " long " : " ") +
                     std::to_string(lines.line().size()) + " at " + std::to_string(lines.offset()));
    }
    const size_t second = first.size(), fourth = second + huge.size() + fits.size();
    EXPECT_THAT(read, ElementsAre("1 " + std::to_string(first.size() - 1) + " at 0",
                                  "2 long 256 at " + std::to_string(second),
                                  "3 " + std::to_string(kLimit - 1) + " at " + std::to_string(second + huge.size()),
                                  "4 long 256 at " + std::to_string(fourth),
                                  "5 " + std::to_string(last.size() - 1) + " at " +
                                      std::to_string(fourth + huge.size()),
                                  "6 long 256 at " + std::to_string(fourth + huge.size() + last.size())))
        << block;
    // Memory stayed within the limit, never grew to the line.
    EXPECT_LE(lines.capacity(), std::max(block, kLimit + 1));
  }

  q9::test::TempFolder folder;
  q9::test::WriteFileBytes(folder.File(u"j.jsonl"), journal);
  ReadOptions options;
  options.maxLine = kLimit;
  ReadFailure failure;
  const std::optional<ReadScene> read =
      ReadSceneFile(q9::platform::DisplayPath(folder.File(u"j.jsonl")), options, failure);
  ASSERT_TRUE(read) << failure.message;
  EXPECT_EQ(read->callCount, 3u);
  EXPECT_EQ(read->scene.lights.size(), 3u);
  EXPECT_TRUE(read->scene.lights.Find("A") && read->scene.lights.Find("B"));
  EXPECT_THAT(read->skipped,
              ElementsAre("line 2 (byte " + std::to_string(first.size()) + ") is longer than 256 bytes: skipped",
                          HasSubstr("line 4 "), HasSubstr("line 6 ")));
  EXPECT_TRUE(read->cutShort.empty());

  // A long line that is no journal call is still taken for a raw archive, read on its own terms.
  q9::test::WriteFileBytes(folder.File(u"a.q9a"),
                           R"({"format": "x", "model": ")" + std::string(4 * kLimit, 'm') + "\"}");
  const std::optional<ReadScene> archive =
      ReadSceneFile(q9::platform::DisplayPath(folder.File(u"a.q9a")), options, failure);
  ASSERT_TRUE(archive) << failure.message;
  EXPECT_EQ(archive->kind, ReadScene::Kind::Archive);
  EXPECT_EQ(archive->scene.model.size(), 4 * kLimit);
}

TEST(ArchiveReadTest, KeepsTheArchivesOwnMembersAndEntriesOnly) {
  std::string error;
  const std::optional<ReadScene> read = ParseSceneText(
      R"({"format": "x", "extra": [1, [2]], "nodes": [5, {"name": "N", "meshes": [{"triangles": 3}]}],
          "camera": {"camera": null, "fov": 45}, "model": "m"})",
      error);
  ASSERT_TRUE(read) << error;
  EXPECT_EQ(read->kind, ReadScene::Kind::Archive);
  ASSERT_EQ(read->scene.nodes.size(), 1u);
  EXPECT_EQ(read->scene.nodes.Find("N")->meshes.at(0).name, "?");
  EXPECT_EQ(read->scene.Triangles(), 3);
  EXPECT_EQ(read->scene.model, "m");
  EXPECT_EQ(read->scene.cameraWithoutBlock, 45.0f);
  // A document that is no object, or has no "format", is neither archive nor journal.
  EXPECT_FALSE(ParseSceneText(R"([{"format": 1}])", error));
  EXPECT_EQ(error, "line 1 (byte 0) is not a journal call: [{\"format\": 1}]");
  EXPECT_FALSE(ParseSceneText("{\n  \"nodes\": []\n}\n", error));
}

// Lines as the library writes them, and (false) some it never would.
const struct {
  const char* text;
  bool shaped;
} kLines[] = {
    {R"({"fn":"CreateSession","args":[],"ret":1})", true},
    {R"({"fn":"HasConnected","h":1,"args":[],"ret":true})", true},
    {R"({"fn":"Q9GetRenderVersion","args":[32]})", true},
    {R"({"fn":"SetModelFilePath","h":1,"args":["vi\"l\\la\/ x\n\t\u00e9 \u00e9 \ud83d\ude00 é 😀"]})", false},
    {R"({"fn":"Q9AddMaterial","h":1,"args":["M"]})", true},
    {R"({"fn":"Q9SetMaterialFloatProperty","h":1,"args":["M","a",0.05000001]})", true},
    {R"({"fn":"Q9SetMaterialFloatProperty","h":1,"args":["M","b",1e-07]})", true},
    {R"({"fn":"Q9SetMaterialFloatProperty","h":1,"args":["M","c",3.4028235e+38]})", true},
    {R"({"fn":"Q9SetMaterialFloatProperty","h":1,"args":["M","d",-0]})", true},
    {R"({"fn":"Q9SetMaterialFloatProperty","h":1,"args":["M","e","nan"]})", true},
    {R"({"fn":"Q9SetMaterialIntProperty","h":1,"args":["M","f",-2147483648]})", true},
    {R"({"fn":"Q9SetMaterialStringProperty","h":1,"args":["M","g",null]})", true},
    {R"({"fn":"Q9AddLight","h":1,"args":["L"]})", true},
    {R"({"fn":"Q9AddLight","h":1,"args":["Küche \"1\" \\ 😀\n"]})", true},
    {R"({"fn":"Q9SetEntityFloatArrayProperty","h":1,"args":[1,"L","light_color",[255,127.5,"-inf"],3]})", true},
    {R"({"fn":"Q9SetEntityFloatArrayProperty","h":1,"args":[1,"L","transform",[1,0,0,0,0,1,0,0,0,0,1,0,10,20,30,1],16]})", true},
    {R"({"fn":"MaxBeginNode","h":1,"args":["Solid_7",[1,0,0,0,0,1,0,0,0,0,1,0,0.5,-2,1e+10,1],true]})", true},
    {R"({"fn":"MaxAddTriangles","h":1,"args":["M",1,[1065353216,0,3212836864,0,1065353216,0,0,0,1065353216],[1056964608],[0],0]})", true},
    {R"({"fn":"MaxAddTriangles","h":1,"args":["M",2,[4294967295,18446744073709551615,-1,1.5,"x",null,[],1,2],null,null,0]})", false},
    {R"({"fn":"Q9EndNode","h":1,"args":[]})", true},
    {R"({"fn":"AddScene","h":1,"args":["S","Front",[1,2,3,4,5,6,0,0,1,55],82.5]})", true},
    {R"({"fn":"AddScene","h":1,"args":["T","",null,60]})", true},
    {R"({"fn":"SendCameraTransformFov","h":1,"args":[[1,2,3,4,5,6,0,0,1,55],82.5]})", true},
    {R"({"fn":"SendCameraTransformFov","h":1,"args":[null,"nan"]})", true},
    {R"({"fn":"Unknown","h":1,"args":[[[1,2],[3]],{"b":1,"a":[1,2,3,4,5,6,7]},12345678901234567890123]})", false},
};

// The text of a scene's archive.
std::string ArchiveOf(const ReceivedScene& scene) {
  q9::test::TempFolder folder;
  {
    q9::platform::UniqueFile file = q9::platform::OpenFile(folder.File(u"a.q9a"), "wb");
    EXPECT_TRUE(WriteArchive(scene, file.get()));
  }
  return q9::test::ReadFileBytes(folder.File(u"a.q9a"));
}

TEST(JournalDecoderTest, TheLibrarysLineShapeAndTheGeneralReaderGiveTheSameCalls) {
  JournalDecoder decoder;
  ReceivedScene shaped, general;
  for (const auto& [text, shapedLine] : kLines) {
    // The same call with its keys in another order and blanks between: the general reader's.
    const std::string other = json::parse(text).dump(1, '\t');
    std::string oneLine;
    for (const char c : other) {
      if (c != '\n') oneLine += c;
    }
    JournalCall call;
    ASSERT_TRUE(decoder.Decode(text, call)) << text;
    std::string line, document;
    AppendCallLine(line, call);
    q9::JsonWriter documentWriter(document, q9::JsonDumpOptions(true));
    WriteCallJson(documentWriter, call);
    const bool byGeneral = call.readByGeneralParser();
    ApplyCall(shaped, call, true);

    ASSERT_TRUE(decoder.Decode(oneLine, call)) << oneLine;
    EXPECT_TRUE(call.readByGeneralParser());
    std::string lineAgain, documentAgain;
    AppendCallLine(lineAgain, call);
    q9::JsonWriter documentAgainWriter(documentAgain, q9::JsonDumpOptions(true));
    WriteCallJson(documentAgainWriter, call);
    EXPECT_EQ(line, lineAgain) << text;
    EXPECT_EQ(document, documentAgain) << text;
    ApplyCall(general, call, true);
    // Only what the library never writes takes the general reader.
    EXPECT_EQ(byGeneral, !shapedLine) << text;
  }
  EXPECT_EQ(ArchiveOf(shaped), ArchiveOf(general));
  const ReceivedMesh& mesh = shaped.nodes.Find("Solid_7")->meshes.at(0);
  EXPECT_THAT(mesh.positions, ElementsAre(1, 0, -1, 0, 1, 0, 0, 0, 1));
  EXPECT_EQ(shaped.model, "vi\"l\\la/ x\n\t\u00e9 \u00e9 \U0001F600 \u00e9 \U0001F600");
  EXPECT_EQ(shaped.lights.Find("L")->Colour(), (Vec3{1, 0.5f, 1}));  // -inf: not readable
  EXPECT_EQ(shaped.materials.Find("M")->properties.size(), 6u);  // a null text sets nothing
  EXPECT_TRUE(shaped.camera && shaped.cameraWithoutBlock);
}

TEST(JournalDecoderTest, LinesThatAreNoCallAreRefused) {
  JournalDecoder decoder;
  JournalCall call;
  for (const char* text : {"", "[]", "{}", R"({"fn":1})", R"({"fn":"A","args":[01]})",
                           R"({"fn":"A","args":[1,]})", R"({"fn":"A","args":["\x"]})",
                           "{\"fn\":\"A\",\"args\":[\"\xC3\"]}", "{\"fn\":\"A\",\"args\":[\"\xED\xA0\x80\"]}",
                           R"({"fn":"A","args":["\ud800"]})", R"({"fn":"A"} x)", R"({"fn":"A","args":[-]})"}) {
    EXPECT_FALSE(decoder.Decode(text, call)) << text;
  }
  // A call needs no arguments; other members are let be.
  ASSERT_TRUE(decoder.Decode(R"({"fn":"A","x":[1,2]})", call));
  EXPECT_EQ(call.fn, "A");
  EXPECT_TRUE(call.args.empty());
}

}  // namespace
}  // namespace q9x
