// q9x bundle: one ZIP file for support, of the exchange files, the log, the recording and the
// doctor's report, said before it is written.
#include <chrono>
#include <ctime>

#include "base/platform.h"
#include "base/text.h"
#include "bundle/anonymisation.h"
#include "bundle/bundle_contents.h"
#include "bundle/bundle_writer.h"
#include "common/byte_size.h"
#include "common/environment.h"
#include "q9x/command.h"
#include "q9x/doctor.h"
#include "q9x/exit_status.h"
#include "runner/working_instance.h"

namespace q9x {

namespace bundle_command {

constexpr const char* kHelp = R"(usage: q9x bundle [--folder DIR] [-o FILE.zip] [--anonymise] [--max-size SIZE]
                  [--recording DIR] [--list]

One ZIP file to send to support, holding only these, each as it is:
  - the exchange files "_model.pdx", "_mod.sm", "camera.cam", "Views.cam", "_mod.sync" of the
    exchange folder (found as the system finds it; --folder fixes it);
  - the log and its backup, where the system writes them ("Q9_Log.log" and "Q9_Log.logOld"
    directly behind the folder's path);
  - the recording that the switch "Q9_Recording.json" in the exchange folder names (or
    --recording DIR), as recording/SESSION/requests.jsonl and recording/SESSION/STEP/FILE;
    nothing of that folder that is no part of a recording;
  - doctor.json: what "q9x doctor --json" reports on this machine;
  - manifest.json: the bundle's format (1), the versions of q9x and the program, when (UTC) and
    where (host, exchange folder) it was made, every member with its size and SHA-256, and each
    expected file that is not there or was left out, with the reason.
It says what it will hold before it writes anything. The bundle is written as FILE.zip.part and
renamed when complete; a failure leaves nothing behind.

-o FILE.zip       where (default: Q9_Bundle-YYYYMMDD-hhmmss.zip, UTC, in the working folder)
--list            only say what the bundle would hold
--max-size SIZE   refuse a bundle larger than SIZE bytes (K, M, G, T: powers of 1024), naming
                  its largest members; no file is ever cut
--anonymise       replace, byte for byte with tokens of the same length, the user's name in
                  every path, the host's name, the parts of the project's path and every name of
                  a material, solid (and its tag), mesh, light, view, texture map and light
                  profile, in every file;
                  the same name gets the same token everywhere. In the containers and record
                  files only the fields that hold names change, so each file keeps its layout
                  (and its damage). In texts (the log, "_mod.sync", the recording's lines) a name
                  is replaced where it stands: whole between brackets or quotes, as a whole word
                  when it has 4 characters or more, and the user's name and the project path's
                  parts as parts of paths. Shorter names, and names that look like numbers, are
                  replaced only in the fields that hold names. The map from tokens to names is
                  written beside the bundle as FILE.zip.names.json and never into it: keep it.
                  Once written, the bundle is read back and searched for every name of 4
                  characters or more standing as a word, and every part of a path (UTF-16 in the
                  containers, single bytes and UTF-8 in the texts); if one is found, the bundle is
                  removed.

Exit status: 0 written (or listed), 1 a file could not be read or written, 2 a wrong command
line, 7 the bundle was refused (beyond --max-size, or a name left after --anonymise).

examples:
  q9x bundle --list
  q9x bundle --anonymise -o ticket-4711.zip
)";

struct Options {
  std::string folder;
  std::string output;
  std::string maxSize;
  std::string recording;
  bool anonymise = false;
  bool list = false;
  CLI::Option* folderOption = nullptr;
  CLI::Option* recordingOption = nullptr;
  CLI::Option* maxSizeOption = nullptr;
};

std::tm UtcNow() {
  const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm utc{};
#ifdef _WIN32
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  return utc;
}

void PrintContents(const bundle::Contents& contents, const std::string& output, bool anonymise,
                   std::ostream& out) {
  out << output << " will hold:\n";
  for (const bundle::Source& source : contents.members) {
    out << "  " << source.member << "  " << source.size << " bytes  ("
        << q9::platform::DisplayPath(source.path) << ")\n";
  }
  out << "  doctor.json  (q9x doctor --json)\n  manifest.json\n";
  for (const bundle::Absent& absent : contents.absent) {
    out << "not included: " << absent.name << ": " << absent.reason << "\n";
  }
  if (anonymise) {
    out << "names replaced by tokens; the map goes to " << output << ".names.json (keep it)\n";
  }
}

// The user's name as the environment gives it.
std::string UserName() {
  for (const char* variable : {"USERNAME", "USER"}) {
    const std::optional<std::string> value = ProcessVariable(variable);
    if (value && !value->empty()) return *value;
  }
  return "";
}

int Run(const Options& options, const Context& context) {
  bundle::BundleOptions bundleOptions;
  if (options.maxSizeOption->count() > 0) {
    const std::optional<int64_t> maxSize = ParseByteSize(options.maxSize);
    if (!maxSize) {
      return context.Wrong("bundle", "--max-size " + options.maxSize + ": a size in bytes, e.g. 500M");
    }
    bundleOptions.maxSize = static_cast<uint64_t>(*maxSize);
  }
  bundle::ContentsOptions where;
  if (options.folderOption->count() > 0) where.folder = q9::Utf16FromUtf8(options.folder);
  if (options.recordingOption->count() > 0) where.recording = q9::Utf16FromUtf8(options.recording);
  bundleOptions.made = UtcNow();
  const std::string output = options.output.empty()
                                 ? "Q9_Bundle-" + bundle::CompactTime(bundleOptions.made) + ".zip"
                                 : options.output;
  const bundle::Contents contents = bundle::FindContents(where);
  PrintContents(contents, output, options.anonymise, context.out);
  if (options.list) return kOk;

  DoctorOptions doctor;
  if (where.folder) doctor.folder = options.folder;
  doctor.link = q9::Utf8FromUtf16(DefaultLinkLibrary());
  bundleOptions.doctorJson = DiagnosisJson(Diagnose(doctor));
  bundleOptions.output = q9::Utf16FromUtf8(output);
  bundleOptions.hostName = HostName();
  bundle::Anonymisation anonymisation;
  if (options.anonymise) {
    anonymisation.Learn(contents, UserName(), bundleOptions.hostName);
    bundleOptions.anonymisation = &anonymisation;
  }
  const Outcome<bundle::BundleReport> report = bundle::WriteBundle(contents, bundleOptions);
  if (!report) return context.Fail("bundle", report.failure());
  if (options.anonymise) {
    const size_t slash = output.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? output : output.substr(slash + 1);
    const Outcome<Done> names = anonymisation.WriteNames(bundleOptions.output + u".names.json", name);
    if (!names) return context.Fail("bundle", names.failure());
  }
  context.out << "wrote " << output << ": " << report->members.size() << " members, "
              << report->size << " bytes\n";
  return kOk;
}

std::function<int()> Declare(CLI::App& sub, const Context& context) {
  auto options = std::make_shared<Options>();
  options->folderOption = sub.add_option("--folder", options->folder);
  sub.add_option("-o,--output", options->output);
  sub.add_flag("--anonymise", options->anonymise);
  options->maxSizeOption = sub.add_option("--max-size", options->maxSize);
  options->recordingOption = sub.add_option("--recording", options->recording);
  sub.add_flag("--list", options->list);
  return [options, &context] { return Run(*options, context); };
}

}  // namespace bundle_command

extern const Command kBundleCommand{
    "bundle",
    "  bundle [--folder DIR] [-o FILE.zip] [--anonymise] [--max-size SIZE] [--recording DIR]\n"
    "         [--list]              one ZIP file for support: the exchange files, the log, the\n"
    "                               recording and the doctor's report\n",
    bundle_command::kHelp, bundle_command::Declare};

}  // namespace q9x
