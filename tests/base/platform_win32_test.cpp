// The Windows side of the exchange folder, where the registry and the runtime's environment are
// real: registry reads in this process, environment cases in child processes started with an
// explicit environment block.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/platform.h"
#include "base/text.h"
#include "base/unique_handle_win32.h"
#include "child_process_win32.h"
#include "test_files.h"

namespace q9 {
namespace {

constexpr wchar_t kHostKey[] = L"SOFTWARE\\Vendrix\\Plandora2025_Q9Plugin";
constexpr wchar_t kTestKey[] = L"SOFTWARE\\Q9ExchangeTests\\Registry";

void WipeKey(const wchar_t* key) { RegDeleteTreeW(HKEY_CURRENT_USER, key); }

void SetValue(const wchar_t* key, const wchar_t* name, DWORD type, const void* data,
              DWORD bytes) {
  UniqueRegistryKey handle;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_WRITE, nullptr,
                            handle.put(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(handle.get(), name, 0, type, static_cast<const BYTE*>(data), bytes),
            ERROR_SUCCESS);
}

void SetText(const wchar_t* key, const std::wstring& text) {
  SetValue(key, L"TempPath", REG_SZ, text.c_str(),
           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::optional<std::u16string> ReadTestValue() {
  std::wstring key(kTestKey);
  return platform::ReadUserRegistryText(std::u16string(key.begin(), key.end()), u"TempPath", 255);
}

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { WipeKey(kTestKey); }
  void TearDown() override { WipeKey(kTestKey); }
};

TEST_F(RegistryTest, ValueUpTo126CharactersFitsTheBuffer) {
  EXPECT_FALSE(ReadTestValue().has_value());  // no key
  SetText(kTestKey, std::wstring(126, L'x'));
  EXPECT_EQ(ReadTestValue(), std::u16string(126, u'x'));
}

TEST_F(RegistryTest, ValueOf127CharactersDoesNotFit) {
  SetText(kTestKey, std::wstring(127, L'y'));
  EXPECT_FALSE(ReadTestValue().has_value());
}

TEST_F(RegistryTest, ValueWithoutTerminatingZeroIsTerminatedSafely) {
  // 255 bytes: 127 full units and one odd byte, no zero anywhere.
  std::string bytes(255, '\0');
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) bytes[i] = 'z';
  bytes[254] = 'q';
  SetValue(kTestKey, L"TempPath", REG_BINARY, bytes.data(), 255);
  EXPECT_EQ(ReadTestValue(), std::u16string(127, u'z'));
}

TEST_F(RegistryTest, TextEndsAtItsFirstZero) {
  const wchar_t data[] = L"C:\\a\0C:\\b";
  SetValue(kTestKey, L"TempPath", REG_SZ, data, sizeof data);
  EXPECT_EQ(ReadTestValue(), u"C:\\a");
}

// Runs the probe with APPDATA as given (nullopt: unset) and returns the folder it found.
std::string ProbeFolder(std::optional<std::wstring> appData, const wchar_t* argument = L"") {
  const std::wstring command =
      L"\"" + test::ProgramFolder() + L"" Q9_FOLDER_PROBE L"\" " + argument;
  const test::ChildResult result = test::RunChild(command, {{L"APPDATA", appData}});
  EXPECT_TRUE(result.started);
  EXPECT_EQ(result.exitCode, 0u);
  const std::string prefix = "FOLDER:";
  const size_t start = result.output.find(prefix);
  if (start == std::string::npos) return "<no output>";
  const size_t end = result.output.find_first_of("\r\n", start);
  return result.output.substr(start + prefix.size(), end - start - prefix.size());
}

class EnvironmentTest : public ::testing::Test {
 protected:
  void SetUp() override { WipeKey(kHostKey); }
  void TearDown() override { WipeKey(kHostKey); }
};

TEST_F(EnvironmentTest, ApplicationDataFromTheEnvironmentWins) {
  SetText(kHostKey, L"D:\\registry\\");
  EXPECT_EQ(ProbeFolder(L"C:\\Roaming"), "C:\\Roaming\\Vendrix\\Plandora2025_Q9Plugin\\Data");
  EXPECT_EQ(ProbeFolder(L"C:\\Roaming\\"), "C:\\Roaming\\Vendrix\\Plandora2025_Q9Plugin\\Data");
}

TEST_F(EnvironmentTest, RegistryIsReadWhenApplicationDataIsUnsetOrEmpty) {
  EXPECT_EQ(ProbeFolder(std::nullopt), "");
  SetText(kHostKey, L"D:\\registry\\");
  EXPECT_EQ(ProbeFolder(std::nullopt), "D:\\registry\\");
  EXPECT_EQ(ProbeFolder(L""), "D:\\registry\\");
}

TEST_F(EnvironmentTest, ApplicationDataMustFitIn512Characters) {
  SetText(kHostKey, L"D:\\registry");
  const std::wstring fits = L"C:\\" + std::wstring(508, L'f');  // 511 characters
  EXPECT_EQ(ProbeFolder(fits), Utf8FromUtf16(std::u16string(fits.begin(), fits.end())) +
                                   "\\Vendrix\\Plandora2025_Q9Plugin\\Data");
  const std::wstring tooLong = fits + L"g";  // 512 characters and the terminating zero
  EXPECT_EQ(ProbeFolder(tooLong), "D:\\registry");
}

TEST_F(EnvironmentTest, LogBesideARegistryFolderWithoutTrailingBackslash) {
  test::TempFolder folder;
  const std::u16string exchange = folder.File(u"exchange");
  SetText(kHostKey, std::wstring(exchange.begin(), exchange.end()));
  EXPECT_EQ(ProbeFolder(std::nullopt, L"log"), Utf8FromUtf16(exchange));
  const std::string log = test::ReadFileBytes(folder.File(u"exchangeQ9_Log.log"));
  EXPECT_NE(log.find("]: probe\r\n"), std::string::npos) << log;
}

}  // namespace
}  // namespace q9
