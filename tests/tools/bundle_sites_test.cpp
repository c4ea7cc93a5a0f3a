// --anonymise on every cut of the sample model: the places the system's readers give for names
// stay inside the file and on the names themselves, so the anonymised file reads, through
// inspect, with the same structure, counts, offsets and damage, only its texts changed.
#include "bundle/name_sites.h"

#include <gtest/gtest.h>

#include "bundle/member_filter.h"
#include "inspection/inspection.h"
#include "base/text.h"
#include "test_files.h"

namespace q9x::bundle {
namespace {

using nlohmann::json;

// The inspection with every text replaced by its length: what tokens of the same length keep.
json Shape(const json& value) {
  if (value.is_string()) return value.get<std::string>().size();
  if (!value.is_structured()) return value;
  json shape = value.is_object() ? json::object() : json::array();
  for (auto item = value.begin(); item != value.end(); ++item) {
    if (value.is_object() && item.key() == "file") continue;
    if (value.is_object()) shape[item.key()] = Shape(*item);
    else shape.push_back(Shape(*item));
  }
  return shape;
}

TEST(BundleSites, EveryCutOfTheSampleKeepsItsStructureAndDamage) {
  const std::string model = q9::test::ReadFileBytes(q9::Utf16FromUtf8(Q9_SAMPLES_DIR "/_model.pdx"));
  ASSERT_GT(model.size(), 208644u);
  q9::test::TempFolder folder;
  const std::u16string original = folder.File(u"original.pdx");
  const std::u16string anonymised = folder.File(u"anonymised.pdx");
  // Cuts through the header, the directory and each kind of item of the geometry section.
  for (size_t cut = 600; cut <= model.size(); cut += cut < 208644 ? 20731 : 997) {
    q9::test::WriteFileBytes(original, std::string_view(model).substr(0, cut));
    NameTable names;
    Sites sites;
    ASSERT_TRUE(FindContainerSites(original, names, sites));
    names.AssignTokens();
    SiteFilter filter(names, sites);
    std::string out;
    filter.Feed(std::string_view(model).substr(0, cut), out);
    filter.Finish(out);
    ASSERT_EQ(out.size(), cut);
    q9::test::WriteFileBytes(anonymised, out);
    const Outcome<json> before = InspectContainer(q9::Utf8FromUtf16(original));
    const Outcome<json> after = InspectContainer(q9::Utf8FromUtf16(anonymised));
    ASSERT_TRUE(before && after);
    EXPECT_EQ(Shape(*before), Shape(*after)) << "cut at " << cut;
    if (cut >= 16 + 2 * 6) {
      EXPECT_NE(out, model.substr(0, cut)) << "the container's name stays at " << cut;
    }
  }
}

}  // namespace
}  // namespace q9x::bundle
