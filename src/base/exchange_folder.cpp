#include "base/exchange_folder.h"

#include "base/platform.h"
#include "base/text.h"

namespace q9 {

namespace {

constexpr size_t kEnvironmentBufferChars = 512;
constexpr uint32_t kRegistryBufferBytes = 255;

void AppendSeparatorUnlessPresent(std::u16string& folder) {
  if (!folder.empty() && folder.back() != u'\\') folder += u'\\';
}

}  // namespace

ExchangeFolder::ExchangeFolder()
    : ExchangeFolder(platform::ReadEnvironment, platform::ReadUserRegistryText) {}

ExchangeFolder::ExchangeFolder(EnvironmentReader environment, RegistryReader registry)
    : environment_(std::move(environment)), registry_(std::move(registry)) {}

std::u16string ExchangeFolder::Get() {
  if (!exchangeFolder.empty()) return exchangeFolder;

  const std::optional<std::u16string> appData = environment_(u"APPDATA", kEnvironmentBufferChars);
  if (appData && !appData->empty()) {
    exchangeFolder = *appData;
    AppendSeparatorUnlessPresent(exchangeFolder);
    exchangeFolder += Ascii16(kHostFolder) + u"\\Data";
    source_ = Source::AppData;
  } else {
    // The environment always wins; the host's registry setting is the fallback.
    if (std::optional<std::u16string> tempPath =
            registry_(Ascii16(kHostRegistryKey), u"TempPath", kRegistryBufferBytes)) {
      exchangeFolder = *tempPath;
      if (!exchangeFolder.empty()) source_ = Source::Registry;
    }
  }
  return exchangeFolder;
}

std::string ExchangeFolderProblem(ExchangeFolder& folder) {
  const std::u16string path = folder.Get();
  if (path.empty()) {
    return std::string("no exchange folder: APPDATA is not set and the registry value "
                       "\"TempPath\" of HKEY_CURRENT_USER\\") +
           kHostRegistryKey + " could not be read; files are looked for in the working directory";
  }
  const char* source = "";
  switch (folder.source()) {
    case ExchangeFolder::Source::AppData:
      source = " (from APPDATA)";
      break;
    case ExchangeFolder::Source::Registry:
      source = " (from the registry value \"TempPath\")";
      break;
    case ExchangeFolder::Source::Fixed:
      source = " (given to the program)";
      break;
    case ExchangeFolder::Source::None:
      break;
  }
  const char* problem = nullptr;
  switch (platform::CheckFolder(path)) {
    case platform::FolderState::Usable:
      return {};
    case platform::FolderState::Missing:
      problem = " is missing";
      break;
    case platform::FolderState::NotAFolder:
      problem = " is not a folder";
      break;
    case platform::FolderState::NotWritable:
      problem = " is not writable";
      break;
  }
  return "exchange folder \"" + platform::DisplayPath(path) + "\"" + source + problem;
}

std::u16string FolderFilePath(std::u16string_view folder, std::u16string_view fileName) {
  std::u16string path(folder);
  AppendSeparatorUnlessPresent(path);
  path += fileName;
  return path;
}

}  // namespace q9
