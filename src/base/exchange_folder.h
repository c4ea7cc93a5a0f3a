// The exchange folder: where the host writes the files this system reads, and where the log and
// the sync record are written.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace q9 {

// The host's key under HKEY_CURRENT_USER whose value "TempPath" names the exchange folder when
// the environment does not.
inline constexpr char kHostRegistryKey[] = "SOFTWARE\\Vendrix\\Plandora2025_Q9Plugin";
// The same key's path below SOFTWARE: the host's folder below the application-data folder.
inline constexpr std::string_view kHostFolder =
    std::string_view(kHostRegistryKey).substr(std::string_view("SOFTWARE\\").size());

// Finds the exchange folder: the application-data folder (environment "APPDATA") followed by
// "Vendrix\Plandora2025_Q9Plugin\Data", else the registry value "TempPath" of
// HKEY_CURRENT_USER\SOFTWARE\Vendrix\Plandora2025_Q9Plugin. A successful lookup is kept for the
// life of the object; an unsuccessful one (empty text) is tried again on every call.
class ExchangeFolder {
 public:
  using EnvironmentReader = std::function<std::optional<std::u16string>(const std::u16string& name,
                                                                        size_t bufferChars)>;
  using RegistryReader = std::function<std::optional<std::u16string>(
      const std::u16string& subKey, const std::u16string& valueName, uint32_t bufferBytes)>;

  // Reads the platform's environment and registry.
  ExchangeFolder();
  // Reads through the given functions (tests).
  ExchangeFolder(EnvironmentReader environment, RegistryReader registry);

  // A copy of the folder, possibly empty. Never ends with a backslash when it comes from the
  // application-data folder; from the registry it is the stored value unchanged.
  std::u16string Get();

  // Fixes the folder as if a lookup had found it (the tools' --folder option).
  void Fix(std::u16string folder) {
    exchangeFolder = std::move(folder);
    source_ = Source::Fixed;
  }

  // Where the folder held now came from: None while no lookup has found one.
  enum class Source { None, AppData, Registry, Fixed };
  Source source() const { return source_; }

 private:
  EnvironmentReader environment_;
  RegistryReader registry_;
  std::u16string exchangeFolder;
  Source source_ = Source::None;
};

// What is wrong with the exchange folder that `folder` gives, in one sentence that says where it
// was looked for: no folder found (neither "APPDATA" nor the registry value), or the folder is
// missing, not a folder, or not writable. Empty when the folder is usable.
std::string ExchangeFolderProblem(ExchangeFolder& folder);

// A file in a folder: the folder, a backslash unless the folder is empty or its last backslash
// is its last character, then the file name. An empty folder gives the file name alone.
std::u16string FolderFilePath(std::u16string_view folder, std::u16string_view fileName);

}  // namespace q9
