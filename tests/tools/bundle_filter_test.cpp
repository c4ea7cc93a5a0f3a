// --anonymise's filters and the search of the written bundle, whatever pieces a member's bytes
// come in: a name split between two reads of a large container, or a line of the log split
// between two, is replaced and found all the same (the end-to-end test's small files always
// come in one piece).
#include "bundle/member_filter.h"

#include "bundle/leak_search.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace q9x::bundle {
namespace {

std::string Filtered(MemberFilter& filter, std::string_view bytes, size_t piece) {
  std::string out;
  for (size_t at = 0; at < bytes.size(); at += piece) filter.Feed(bytes.substr(at, piece), out);
  filter.Finish(out);
  return out;
}

TEST(BundleFilter, NamesAreReplacedAcrossPieces) {
  NameTable names;
  const uint32_t oak = names.Learn(u"M_Oak", NameKind::Material);
  const uint32_t user = names.Learn(u"ann", NameKind::User, true);
  names.AssignTokens();
  const std::string token = q9::Utf8FromUtf16(names[oak].token);
  ASSERT_EQ(token.size(), 5u);

  // A container: "M_Oak" in UTF-16LE at byte 3, and bytes around it that only look alike.
  std::string container = "abc";
  for (char c : std::string("M_Oak")) container += {c, '\0'};
  container += "M_Oak";
  Sites sites;
  sites.sites.push_back({3, oak});
  sites.Settle(names);
  for (size_t piece : {1, 2, 3, 7, 64}) {
    SiteFilter filter(names, sites);
    const std::string out = Filtered(filter, container, piece);
    ASSERT_EQ(out.size(), container.size());
    for (size_t i = 0; i < token.size(); ++i) EXPECT_EQ(out[3 + 2 * i], token[i]) << piece;
    EXPECT_EQ(out.substr(13), "M_Oak") << "only the place is replaced";
  }

  // A log: the name as a word, between brackets and quotes, the user in a path; not inside a
  // longer word.
  const std::string log = "[x]: Material [M_Oak] \"M_Oak\" M_Oak M_Oaks C:\\Users\\ann\\Data\n"
                          "next line M_Oak\r\n";
  const std::string userToken = q9::Utf8FromUtf16(names[user].token);
  const std::string expected = "[x]: Material [" + token + "] \"" + token + "\" " + token +
                               " M_Oaks C:\\Users\\" + userToken + "\\Data\nnext line " + token +
                               "\r\n";
  for (size_t piece : {1, 4, 13, 1000}) {
    TextFilter filter(names);
    EXPECT_EQ(Filtered(filter, log, piece), expected) << piece;
  }
}

TEST(BundleFilter, TheSearchFindsANameAcrossPiecesAsAWordOnly) {
  NameTable names;
  const uint32_t desk = names.Learn(u"Desk lamp", NameKind::Light);
  names.Learn(u"ann", NameKind::User, true);
  names.AssignTokens();
  auto utf16 = [](std::string_view ascii) {
    std::string bytes;
    for (char c : ascii) bytes += {c, '\0'};
    return bytes;
  };
  auto found = [&](const std::string& bytes, bool container, size_t piece) {
    LeakSearch search(names, container);
    for (size_t at = 0; at < bytes.size(); at += piece) search.Feed(std::string_view(bytes).substr(at, piece));
    return search.Finish();
  };
  const std::string noise(3001, '\x01');
  for (size_t piece : {1, 5, 64, 4096}) {
    EXPECT_EQ(found(noise + utf16("LightName [Desk lamp]") + noise, true, piece), desk) << piece;
    EXPECT_EQ(found(utf16("Desk lamp"), true, piece), desk) << "at the start and the end";
    EXPECT_EQ(found(noise + utf16("Desk lamps") + noise, true, piece), -1) << "inside a word";
    EXPECT_GE(found(noise + utf16("C:\\Users\\ann\\x") + noise, true, piece), 0) << "a part of a path";
    EXPECT_EQ(found("x\n\"Desk lamp\"\n", false, piece), desk) << piece;
    EXPECT_EQ(found("ann is a word, not a path\n", false, piece), -1);
  }
}

}  // namespace
}  // namespace q9x::bundle
