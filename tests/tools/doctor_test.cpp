// q9x doctor: a good exchange folder and link library check out; each kind of problem support
// meets is named by its check.
#include "q9x/doctor.h"

#include <gmock/gmock.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "base/platform.h"
#include "base/text.h"
#include "pack/pack_description.h"
#include "q9x_call.h"
#include "reference_link.h"
#include "test_files.h"
#include "common/environment.h"

namespace q9x {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;
using ::testing::Not;

class DoctorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    q9::test::MakeFolder(exchange);
    const PackResult packed = PackContainer(
        {{"entries", json::array({{{"name", "p"}, {"geometry", {{"solids", json::array()}}}}})}}, "");
    ASSERT_TRUE(packed.ok) << packed.error;
    Write(u"_model.pdx", packed.bytes);
    Write(u"camera.cam", "Name [Front]\n");
  }
  void Write(std::u16string_view name, const std::string& bytes) {
    q9::test::WriteFileBytes(exchange + u"\\" + std::u16string(name), bytes);
  }
  // The checks by name, from --json.
  json Checks(const std::string& folderPath, const std::string& library, int* status = nullptr) {
    const Result result = Q9x({"doctor", "--json", "--folder", folderPath, "--link", library});
    if (status) *status = result.status;
    const json diagnosis = json::parse(result.out);
    json byName = json::object();
    for (const json& check : diagnosis["checks"]) byName[check["check"].get<std::string>()] = check;
    return byName;
  }
  json Checks(int* status = nullptr) { return Checks(q9::platform::DisplayPath(exchange), Library(), status); }
  static std::string Library() { return q9::Utf8FromUtf16(q9::test::ReferenceLink::LibraryPath()); }

  q9::test::TempFolder temp;
  std::u16string exchange = temp.File(u"Data");
};

TEST_F(DoctorTest, AGoodFolderAndLibraryAreAllOk) {
  int status = -1;
  const json checks = Checks(&status);
  for (const char* name : {"exchange folder", "log", "_model.pdx", "_mod.sm", "camera.cam",
                           "Views.cam", "_mod.sync", "link library"}) {
    ASSERT_TRUE(checks.contains(name)) << name;
    EXPECT_TRUE(checks[name]["ok"].get<bool>()) << name << ": " << checks[name]["detail"];
  }
  EXPECT_THAT(checks["link library"]["detail"].get<std::string>(), HasSubstr("all 38 functions"));
  // The file the system loaded, named in full.
  EXPECT_THAT(checks["link library"]["detail"].get<std::string>(),
              HasSubstr(": loaded from " + q9::platform::DisplayPath(
                  q9::platform::ModuleFilePath(q9::platform::LoadModule(
                      q9::test::ReferenceLink::LibraryPath()).get()))));
  // Natively there are no windows to look for; under Windows none is open here.
  EXPECT_EQ(status, kHasWindows ? kFailed : kOk);
  const Result text = Q9x({"doctor", "--folder", q9::platform::DisplayPath(exchange), "--link", Library()});
  EXPECT_THAT(text.out, HasSubstr("ok       exchange folder: "));
}

TEST_F(DoctorTest, AFolderThatIsMissingOrAFileIsAProblem) {
  int status = -1;
  json checks = Checks(q9::platform::DisplayPath(temp.File(u"nowhere")), Library(), &status);
  EXPECT_EQ(status, kFailed);
  EXPECT_FALSE(checks["exchange folder"]["ok"].get<bool>());
  EXPECT_THAT(checks["exchange folder"]["detail"].get<std::string>(), HasSubstr("does not exist"));
  EXPECT_FALSE(checks["exchange folder"]["remedy"].get<std::string>().empty());

  q9::test::WriteFileBytes(temp.File(u"plain"), "x");
  checks = Checks(q9::platform::DisplayPath(temp.File(u"plain")), Library());
  EXPECT_THAT(checks["exchange folder"]["detail"].get<std::string>(), HasSubstr("not a folder"));
}

#ifndef _WIN32
// /proc refuses new files to every user, root included.
TEST_F(DoctorTest, AFolderThatCannotBeWrittenIsAProblem) {
  int status = -1;
  const json checks = Checks("/proc", Library(), &status);
  EXPECT_EQ(status, kFailed);
  EXPECT_THAT(checks["exchange folder"]["detail"].get<std::string>(), HasSubstr("cannot be written"));
}
#endif

TEST_F(DoctorTest, ADamagedOrMissingModelIsAProblem) {
  Write(u"_model.pdx", std::string(1000, 'x'));
  int status = -1;
  json checks = Checks(&status);
  EXPECT_EQ(status, kFailed);
  EXPECT_FALSE(checks["_model.pdx"]["ok"].get<bool>());
  EXPECT_THAT(checks["_model.pdx"]["detail"].get<std::string>(), HasSubstr("damaged"));

  const PackResult cut = PackContainer({{"entries", json::array({{{"name", "p"}, {"offset", 300000},
                                                                   {"geometry", {{"solidCount", 9}}}}})},
                                        {"truncate", 300010}}, "");
  ASSERT_TRUE(cut.ok) << cut.error;
  Write(u"_mod.sm", cut.bytes);
  checks = Checks();
  EXPECT_FALSE(checks["_mod.sm"]["ok"].get<bool>());
  EXPECT_THAT(checks["_mod.sm"]["detail"].get<std::string>(), HasSubstr("more"));

  q9::platform::RemovePath(exchange + u"\\_model.pdx");
  checks = Checks();
  EXPECT_FALSE(checks["_model.pdx"]["ok"].get<bool>());
}

TEST_F(DoctorTest, AMissingLibraryOrOneLackingFunctionsIsAProblem) {
  int status = -1;
  json checks = Checks(q9::platform::DisplayPath(exchange), q9::platform::DisplayPath(temp.File(u"none.dll")), &status);
  EXPECT_EQ(status, kFailed);
  EXPECT_FALSE(checks["link library"]["ok"].get<bool>());
  EXPECT_THAT(checks["link library"]["detail"].get<std::string>(), HasSubstr("not found"));

  checks = Checks(q9::platform::DisplayPath(exchange), Q9_PARTIAL_LINK_LIBRARY);
  const std::string detail = checks["link library"]["detail"].get<std::string>();
  EXPECT_FALSE(checks["link library"]["ok"].get<bool>());
  EXPECT_THAT(detail, HasSubstr("of 38 functions"));
  EXPECT_THAT(detail, HasSubstr("SendModel"));
  EXPECT_THAT(detail, Not(HasSubstr("CreateSession,"))) << "exported ones are not named";
}

}  // namespace
}  // namespace q9x
