// The names of a support bundle's members: one list for the writer that makes them and the
// reader that takes nothing else.
#pragma once

#include <string_view>

namespace q9x::bundle {

// The exchange files, in the bundle's order; each is also a recorded step's file name.
inline constexpr std::string_view kExchangeFileNames[] = {"_model.pdx", "_mod.sm", "camera.cam", "Views.cam",
                                                          "_mod.sync"};
inline constexpr std::string_view kLogName = "Q9_Log.log";
inline constexpr std::string_view kLogBackupName = "Q9_Log.logOld";
inline constexpr std::string_view kDoctorName = "doctor.json";
inline constexpr std::string_view kManifestName = "manifest.json";
inline constexpr std::string_view kRecordingFolder = "recording/";

// A recording's session folder, "YYYYMMDD-hhmmss-PID".
bool IsSessionName(std::string_view name);
// A recorded step's folder, "NNNN-startup" or "NNNN-MESSAGE".
bool IsStepName(std::string_view name);
// Whether a bundle holds a member of this name: an exchange file, the log or its backup, the
// doctor's report, the manifest, or a recording's part: "recording/SESSION/requests.jsonl",
// "recording/SESSION/startup-model.sha256", "recording/SESSION/STEP/FILE" with FILE an exchange
// file's name.
bool IsBundleMemberName(std::string_view name);

}  // namespace q9x::bundle
