// --anonymise's filters whatever pieces a member's bytes come in: a name split between two reads
// of a large container, or a line of the log split between two, is replaced all the same (the
// end-to-end test's small files always come in one piece).
#include "bundle/member_filter.h"

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

}  // namespace
}  // namespace q9x::bundle
