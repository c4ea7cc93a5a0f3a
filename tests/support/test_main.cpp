// The main of every test program: the tests run in an empty temporary working folder of the
// program's own, and whatever a test leaves there fails the program, naming the test and the
// files. A product path that falls back on the working directory (no exchange folder, a path
// without a folder) is then caught, and nothing lands in the folder the program was started in.
#include <gmock/gmock.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "test_files.h"

namespace {

namespace fs = std::filesystem;

// The names directly in the folder, sorted.
std::vector<std::string> Entries(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::u8string name = it->path().filename().u8string();
    names.emplace_back(reinterpret_cast<const char*>(name.data()), name.size());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// After each test: what it left in the working folder is named and removed, so the next test
// starts in an empty folder again and is not blamed for it.
class LeftFilesCheck : public ::testing::EmptyTestEventListener {
 public:
  explicit LeftFilesCheck(fs::path folder) : folder_(std::move(folder)) {}

  void OnTestEnd(const ::testing::TestInfo& test) override {
    const std::vector<std::string> left = Entries(folder_);
    if (left.empty()) return;
    std::string names;
    for (const std::string& name : left) names += (names.empty() ? "" : ", ") + name;
    std::fprintf(stderr, "%s.%s left in the working folder %s: %s\n", test.test_suite_name(),
                 test.name(), folder_.string().c_str(), names.c_str());
    std::fflush(stderr);
    failed_ = true;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(folder_, ignored)) {
      fs::remove_all(entry.path(), ignored);
    }
  }

  bool failed() const { return failed_; }

 private:
  fs::path folder_;
  bool failed_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleMock(&argc, argv);
  const fs::path started = fs::current_path();
  const q9::test::TempFolder working;
  const fs::path folder(working.path());
  std::error_code error;
  fs::current_path(folder, error);
  if (error) {
    std::fprintf(stderr, "the working folder %s could not be entered: %s\n",
                 folder.string().c_str(), error.message().c_str());
    return 1;
  }
  auto* check = new LeftFilesCheck(folder);  // owned by the listener list from here on
  ::testing::UnitTest::GetInstance()->listeners().Append(check);
  int status = RUN_ALL_TESTS();
  if (check->failed()) status = status == 0 ? 1 : status;
  // Out of the folder again, so that it can be removed (Windows keeps a working folder in use).
  fs::current_path(started, error);
  return status;
}
