#include "q9x/doctor.h"

#include <memory>
#include <vector>

#include "base/exchange_folder.h"
#include "base/peer_windows.h"
#include "base/platform.h"
#include "base/process_state.h"
#include "base/text.h"
#include "inspection/inspection.h"
#include "link/link_session.h"
#include "link/q9plugin_api.h"
#include "q9x/command.h"
#include "q9x/exit_status.h"
#include "runner/working_instance.h"
#include "common/files.h"
#include "common/environment.h"

namespace q9x {

namespace doctor_command {

using nlohmann::json;

class Report {
 public:
  void Ok(const std::string& check, const std::string& detail) { Add(check, true, detail, ""); }
  void Problem(const std::string& check, const std::string& detail, const std::string& remedy) {
    Add(check, false, detail, remedy);
  }
  json Done() { return {{"ok", ok_}, {"checks", checks_}}; }

 private:
  void Add(const std::string& check, bool ok, const std::string& detail, const std::string& remedy) {
    checks_.push_back({{"check", check}, {"ok", ok}, {"detail", detail}, {"remedy", remedy}});
    ok_ = ok_ && ok;
  }
  json checks_ = json::array();
  bool ok_ = true;
};

std::string Display(const std::u16string& path) { return q9::platform::DisplayPath(path); }

std::string SourceName(q9::ExchangeFolder::Source source) {
  switch (source) {
    case q9::ExchangeFolder::Source::AppData: return "from APPDATA";
    case q9::ExchangeFolder::Source::Registry:
      return "from the registry value TempPath of HKEY_CURRENT_USER\\" +
             std::string(q9::kHostRegistryKey);
    case q9::ExchangeFolder::Source::Fixed: return "given by --folder";
    case q9::ExchangeFolder::Source::None: break;
  }
  return "not found";
}

// Returns whether the folder can be used for the checks of its files.
bool CheckExchangeFolder(q9::ProcessState& process, Report& report) {
  const std::u16string folder = process.folder();
  const char* check = "exchange folder";
  if (folder.empty()) {
    report.Problem(check, "none found: APPDATA is not set and the registry has no TempPath",
                   "start the host once so that it creates the folder, or set APPDATA");
    return false;
  }
  const std::string where = Display(folder) + " (" + SourceName(process.exchangeFolder.source()) + ")";
  switch (q9::platform::CheckFolder(folder)) {
    case q9::platform::FolderState::Usable:
      report.Ok(check, where + ": exists and is writable");
      return true;
    case q9::platform::FolderState::Missing:
      report.Problem(check, where + ": does not exist",
                     "create the folder, or start the host once so that it writes its files there");
      return false;
    case q9::platform::FolderState::NotAFolder:
      report.Problem(check, where + ": is a file, not a folder",
                     "move the file away and create the folder in its place");
      return false;
    case q9::platform::FolderState::NotWritable:
      report.Problem(check, where + ": cannot be written (no log, no sync record)",
                     "give the user write access to the folder");
      return true;
  }
  return false;
}

int64_t FileSize(const std::u16string& path) {
  q9::platform::UniqueFile file = q9::platform::OpenFile(path, "rb");
  return file ? q9::platform::FileLength(file.get()) : -1;
}

void CheckLog(q9::ProcessState& process, Report& report) {
  const std::u16string log = process.log.LogPath();
  const char* check = "log";
  if (!q9::platform::PathExists(log)) {
    report.Ok(check, Display(log) + ": not written yet");
  } else if (IsFolder(q9::Utf8FromUtf16(log))) {
    report.Problem(check, Display(log) + ": is a folder", "remove the folder so that the log can be written");
  } else if (!q9::platform::CanReadAndWrite(log)) {
    report.Problem(check, Display(log) + ": cannot be appended to", "give the user write access to the log");
  } else {
    report.Ok(check, Display(log) + ": " + std::to_string(FileSize(log)) + " bytes");
  }
}

// The first damage of an inspection and how many more, or empty.
std::string DamageText(const json& inspection) {
  std::string first;
  int64_t count = 0;
  if (inspection.value("short", false) && inspection.value("length", 0) > 0) {
    first = "shorter than a container header";
    ++count;
  }
  for (const json& entry : inspection.value("entries", json::array())) {
    if (!entry.contains("section")) continue;
    const json& section = entry["section"];
    for (const json& damage : section["damage"]) {
      if (first.empty()) first = "entry " + entry["index"].dump() + ": " + damage["what"].get<std::string>() + ": " + damage["message"].get<std::string>();
      ++count;
    }
    count += section["damageNotShown"].get<int64_t>();
  }
  if (count == 0) return "";
  return first + (count > 1 ? " (and " + std::to_string(count - 1) + " more)" : "");
}

void CheckFiles(q9::ProcessState& process, Report& report) {
  struct ExchangeFile {
    const char16_t* name;
    bool container;
    bool needed;  // the start-up reads it: its absence sends an empty model
  };
  const ExchangeFile files[] = {{u"_model.pdx", true, true},
                                {u"_mod.sm", true, false},
                                {u"camera.cam", false, false},
                                {u"Views.cam", false, false},
                                {u"_mod.sync", false, false}};
  const std::u16string folder = process.folder();
  for (const ExchangeFile& file : files) {
    const std::u16string path = q9::FolderFilePath(folder, file.name);
    const std::string check = q9::Utf8FromUtf16(file.name);
    const std::string shown = Display(path);
    if (!q9::platform::PathExists(path)) {
      if (file.needed) {
        report.Problem(check, shown + ": missing; the renderer receives an empty model",
                       "export the model from the host again");
      } else {
        report.Ok(check, shown + ": not present (written when the host or a sync needs it)");
      }
      continue;
    }
    const std::string utf8 = q9::Utf8FromUtf16(path);
    if (IsFolder(utf8) || !q9::platform::OpenFile(path, "rb")) {
      report.Problem(check, shown + ": cannot be read", "give the user read access to the file");
      continue;
    }
    const int64_t size = FileSize(path);
    if (!file.container) {
      report.Ok(check, shown + ": " + std::to_string(size) + " bytes, readable");
      continue;
    }
    // Damage only: a description of every solid would cost memory beyond the file's size.
    const Outcome<json> inspection = InspectContainer(utf8, /*listItems=*/false);
    if (!inspection) {
      report.Problem(check, shown + ": " + inspection.failure().reason,
                     "give the user read access to the file");
      continue;
    }
    const std::string damage = DamageText(*inspection);
    if (damage.empty()) {
      report.Ok(check, shown + ": " + std::to_string(size) + " bytes, intact");
    } else {
      report.Problem(check, shown + ": damaged: " + damage,
                     "export the model from the host again; \"q9x inspect " + shown + "\" shows the damage");
    }
  }
}

void CheckLink(const std::string& link, Report& report) {
  const char* check = "link library";
  const std::u16string path = q9::Utf16FromUtf8(link);
  q9::platform::UniqueModule module = q9::platform::LoadModule(path);
  if (!module) {
    const bool bare = link.find_first_of("/\\") == std::string::npos;
    if (!bare && !q9::platform::PathExists(path)) {
      report.Problem(check, link + ": not found",
                     "install the renderer, or put its Q9Plugin.dll beside Q9_Exchange.exe");
    } else {
      report.Problem(check, link + ": cannot be loaded (not a library for this system, or one it "
                     "needs is missing)", "install the renderer again, matching this program's build (64-bit)");
    }
    return;
  }
  q9::LinkFunctions functions;
  const std::u16string loaded = q9::platform::ModuleFilePath(module.get());
  const std::string from = loaded.empty() ? "" : " from " + Display(loaded);
  const std::string lacks = q9::ResolveLinkFunctions(module.get(), functions);
  if (lacks.empty()) {
    report.Ok(check, link + ": loaded" + from + ", all " + std::to_string(q9::kLinkFunctionCount) +
                         " functions exported");
    return;
  }
  report.Problem(check, link + from + ": " + lacks,
                 "install a renderer whose link library matches this program's version");
}

void CheckWindows(Report& report) {
  if (!kHasWindows) return;
  const std::string host = q9::kHostWindowClass;
  const std::string renderer = q9::kRendererWindowClass;
  if (WindowClassFound(host.c_str())) {
    report.Ok("host window", "found (" + host + ")");
  } else {
    report.Problem("host window", "not found (" + host + "): a working instance ends at once",
                   "start the host and open the project");
  }
  if (WindowClassFound(renderer.c_str())) {
    report.Ok("renderer window", "found (" + renderer + ")");
  } else {
    report.Problem("renderer window", "not found (" + renderer + "): a working instance ends at once",
                   "start the renderer from the host");
  }
}

}  // namespace doctor_command

nlohmann::json Diagnose(const DoctorOptions& options) {
  using namespace doctor_command;
  q9::ProcessState process;
  if (options.folder) process.exchangeFolder.Fix(q9::Utf16FromUtf8(*options.folder));
  Report report;
  if (CheckExchangeFolder(process, report)) {
    CheckLog(process, report);
    CheckFiles(process, report);
  }
  CheckLink(options.link, report);
  CheckWindows(report);
  return report.Done();
}

std::string DiagnosisJson(const nlohmann::json& diagnosis) { return diagnosis.dump(2) + "\n"; }

namespace doctor_command {

constexpr const char* kHelp = R"(usage: q9x doctor [--folder DIR] [--link LIB] [--json]

One screen for support: each line is a check, "ok" or "problem", with what was found and, for a
problem, what to do about it:
  - the exchange folder as the system finds it (APPDATA, then the registry value TempPath;
    --folder fixes it): found, a folder, writable;
  - the log ("Q9_Log.log" beside the folder) and its size;
  - each exchange file ("_model.pdx", "_mod.sm", "camera.cam", "Views.cam", "_mod.sync"):
    present, readable and, for the containers, intact (read as inspect reads them);
  - the link library (--link, else the one q9x run would load, looked for as Q9_Exchange.exe
    looks: beside the program, never in the working folder): found, loadable, the file loaded,
    exporting all of the functions the system calls (the missing ones named);
  - on Windows: the host window ("Plandora_class") and the renderer window
    ("Qt5152QWindowIcon").
--json   the same as one JSON document

Exit status: 0 every check ok, 1 a problem found.

example:
  q9x doctor --folder build/native/samples
)";

int RunDoctor(const DoctorOptions& options, bool asJson, std::ostream& out) {
  const json diagnosis = Diagnose(options);
  if (asJson) {
    out << DiagnosisJson(diagnosis);
  } else {
    for (const json& check : diagnosis["checks"]) {
      const bool ok = check["ok"].get<bool>();
      out << (ok ? "ok       " : "problem  ") << check["check"].get<std::string>() << ": "
          << check["detail"].get<std::string>();
      if (!ok) out << "; remedy: " << check["remedy"].get<std::string>();
      out << "\n";
    }
  }
  return diagnosis["ok"].get<bool>() ? kOk : kFailed;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<DoctorOptions>();
  auto folder = std::make_shared<std::string>();
  auto link = std::make_shared<std::string>();
  auto asJson = std::make_shared<bool>(false);
  CLI::Option* folderOption = sub.add_option("--folder", *folder);
  CLI::Option* linkOption = sub.add_option("--link", *link);
  sub.add_flag("--json", *asJson);
  return [=, &context] {
    if (folderOption->count() > 0) options->folder = *folder;
    options->link = linkOption->count() > 0 ? *link : q9::Utf8FromUtf16(DefaultLinkLibrary());
    return RunDoctor(*options, *asJson, context.out);
  };
}

}  // namespace doctor_command

extern const Command kDoctorCommand{
    "doctor",
    "  doctor [--folder DIR] [--link LIB] [--json]\n"
    "                               check the exchange folder, its files, the log and the link\n"
    "                               library (and on Windows the host and renderer windows)\n",
    doctor_command::kHelp, doctor_command::Declare};

}  // namespace q9x
