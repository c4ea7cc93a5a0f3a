#include "base/exchange_folder.h"

#include <gtest/gtest.h>

#include <map>

namespace q9 {
namespace {

// Environment and registry the tests control, counting what the lookup asks.
struct FakeSources {
  std::optional<std::u16string> appData;
  std::optional<std::u16string> tempPath;
  int environmentReads = 0;
  int registryReads = 0;
  size_t environmentBuffer = 0;
  std::u16string registryKey, registryValue;
  uint32_t registryBuffer = 0;

  ExchangeFolder Folder() {
    return ExchangeFolder(
        [this](const std::u16string& name, size_t bufferChars) -> std::optional<std::u16string> {
          ++environmentReads;
          environmentBuffer = bufferChars;
          if (name != u"APPDATA") return std::nullopt;
          return appData;
        },
        [this](const std::u16string& key, const std::u16string& value,
               uint32_t bufferBytes) -> std::optional<std::u16string> {
          ++registryReads;
          registryKey = key;
          registryValue = value;
          registryBuffer = bufferBytes;
          return tempPath;
        });
  }
};

TEST(ExchangeFolder, ApplicationDataWinsAndTheRegistryIsNeverOpened) {
  FakeSources sources;
  sources.appData = u"C:\\Users\\ann\\AppData\\Roaming";
  sources.tempPath = u"D:\\other\\";
  ExchangeFolder folder = sources.Folder();
  EXPECT_EQ(folder.Get(), u"C:\\Users\\ann\\AppData\\Roaming\\Vendrix\\Plandora2025_Q9Plugin\\Data");
  EXPECT_EQ(sources.registryReads, 0);
  EXPECT_EQ(sources.environmentBuffer, 512u);
}

TEST(ExchangeFolder, ApplicationDataEndingInBackslashGetsNoSecondOne) {
  FakeSources sources;
  sources.appData = u"C:\\Roaming\\";
  ExchangeFolder folder = sources.Folder();
  EXPECT_EQ(folder.Get(), u"C:\\Roaming\\Vendrix\\Plandora2025_Q9Plugin\\Data");
}

TEST(ExchangeFolder, RegistryValueIsUsedUnchangedWhenApplicationDataIsMissingOrEmpty) {
  for (std::optional<std::u16string> appData : {std::optional<std::u16string>(),
                                                std::optional<std::u16string>(u"")}) {
    FakeSources sources;
    sources.appData = appData;
    sources.tempPath = u"D:\\Exchange\\";
    ExchangeFolder folder = sources.Folder();
    EXPECT_EQ(folder.Get(), u"D:\\Exchange\\");
    EXPECT_EQ(sources.registryKey, u"SOFTWARE\\Vendrix\\Plandora2025_Q9Plugin");
    EXPECT_EQ(sources.registryValue, u"TempPath");
    EXPECT_EQ(sources.registryBuffer, 255u);

    sources.tempPath = u"D:\\NoSeparator";
    ExchangeFolder bare = sources.Folder();
    EXPECT_EQ(bare.Get(), u"D:\\NoSeparator");
  }
}

TEST(ExchangeFolder, SuccessfulLookupIsKeptFailedOneIsRetried) {
  FakeSources sources;
  ExchangeFolder folder = sources.Folder();
  EXPECT_EQ(folder.Get(), u"");
  EXPECT_EQ(folder.Get(), u"");
  EXPECT_EQ(sources.environmentReads, 2);
  EXPECT_EQ(sources.registryReads, 2);

  sources.tempPath = u"E:\\x";
  EXPECT_EQ(folder.Get(), u"E:\\x");
  sources.tempPath = u"E:\\changed";
  sources.appData = u"C:\\Roaming";
  EXPECT_EQ(folder.Get(), u"E:\\x");
  EXPECT_EQ(sources.environmentReads, 3);
  EXPECT_EQ(sources.registryReads, 3);
}

TEST(ExchangeFolder, FixedFolderIsReturnedWithoutLookup) {
  FakeSources sources;
  ExchangeFolder folder = sources.Folder();
  folder.Fix(u"F:\\given");
  EXPECT_EQ(folder.Get(), u"F:\\given");
  EXPECT_EQ(sources.environmentReads, 0);
}

TEST(FolderFilePath, SeparatorRules) {
  EXPECT_EQ(FolderFilePath(u"C:\\x", u"_mod.sm"), u"C:\\x\\_mod.sm");
  EXPECT_EQ(FolderFilePath(u"C:\\x\\", u"_mod.sm"), u"C:\\x\\_mod.sm");
  EXPECT_EQ(FolderFilePath(u"", u"_mod.sm"), u"_mod.sm");
  // Only a backslash counts as a separator.
  EXPECT_EQ(FolderFilePath(u"C:/x/", u"camera.cam"), u"C:/x/\\camera.cam");
}

}  // namespace
}  // namespace q9
