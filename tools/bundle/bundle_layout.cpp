#include "bundle/bundle_layout.h"

#include <algorithm>

#include "base/recording.h"
#include "base/text.h"

namespace q9x::bundle {

namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool IsExchangeFileName(std::string_view name) {
  return std::find(std::begin(kExchangeFileNames), std::end(kExchangeFileNames), name) != std::end(kExchangeFileNames);
}

// The part of `name` before the next "/", taken off it; false when there is no "/".
bool TakePart(std::string_view& name, std::string_view& part) {
  const size_t slash = name.find('/');
  if (slash == std::string_view::npos) return false;
  part = name.substr(0, slash);
  name.remove_prefix(slash + 1);
  return true;
}

}  // namespace

bool IsSessionName(std::string_view name) {
  return name.size() < 64 && q9::Recording::IsSessionName(q9::Utf16FromUtf8(std::string(name)));
}

bool IsStepName(std::string_view name) {
  return name.size() > 5 && name.size() < 32 && AllDigits(name.substr(0, 4)) && name[4] == '-' &&
         (name.substr(5) == "startup" || AllDigits(name.substr(5)));
}

bool IsBundleMemberName(std::string_view name) {
  if (IsExchangeFileName(name) || name == kLogName || name == kLogBackupName || name == kDoctorName ||
      name == kManifestName) {
    return true;
  }
  if (name.substr(0, kRecordingFolder.size()) != kRecordingFolder) return false;
  name.remove_prefix(kRecordingFolder.size());
  std::string_view session, step;
  if (!TakePart(name, session) || !IsSessionName(session)) return false;
  if (name == q9::Utf8FromUtf16(q9::Recording::kRequestsFile) ||
      name == q9::Utf8FromUtf16(q9::Recording::kStartupModelDigestFile)) {
    return true;
  }
  return TakePart(name, step) && IsStepName(step) && IsExchangeFileName(name);
}

}  // namespace q9x::bundle
