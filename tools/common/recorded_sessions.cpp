#include "common/recorded_sessions.h"

#include <algorithm>
#include <fstream>

#include <nlohmann/json.hpp>

#include "base/exchange_folder.h"
#include "base/platform.h"
#include "base/recording.h"
#include "base/text.h"

namespace q9x {

namespace {

constexpr size_t kMostLineBytes = size_t{1} << 20;

std::optional<RecordedStep> StepOf(const std::string& line) {
  const nlohmann::json step = nlohmann::json::parse(line, nullptr, false);
  if (!step.is_object() || !step.contains("step") || !step["step"].is_number_unsigned()) {
    return std::nullopt;
  }
  RecordedStep result;
  result.step = step["step"].get<uint32_t>();
  result.folder = step.value("folder", "");
  result.time = step.value("time", "");
  result.request = step.value("request", "");
  result.outcome = step.value("outcome", "");
  if (step.contains("files") && step["files"].is_array()) {
    for (const nlohmann::json& file : step["files"]) {
      if (file.is_object() && !file.value("kept", false) && file.value("size", -1) >= 0) {
        result.allKept = false;
      }
    }
  }
  return result;
}

void ReadSteps(RecordedSession& session) {
  const std::u16string requests =
      q9::FolderFilePath(q9::Utf16FromUtf8(session.path), q9::Recording::kRequestsFile);
  std::ifstream in(q9::platform::DisplayPath(requests), std::ios::binary);
  std::string line;
  char c;
  bool tooLong = false;
  const auto finish = [&] {
    if (tooLong) {
      ++session.unreadLines;
    } else if (!line.empty()) {
      std::optional<RecordedStep> step = StepOf(line);
      step ? session.steps.push_back(std::move(*step)) : void(++session.unreadLines);
    }
    line.clear();
    tooLong = false;
  };
  while (in.get(c)) {
    if (c == '\n') {
      finish();
    } else if (line.size() < kMostLineBytes) {
      line += c;
    } else {
      tooLong = true;
    }
  }
  finish();
}

int64_t FolderBytes(const std::u16string& folder) {
  int64_t bytes = 0;
  for (const q9::platform::FolderEntry& entry : q9::platform::ListFolder(folder)) {
    bytes += entry.isFolder ? FolderBytes(q9::FolderFilePath(folder, entry.name)) : entry.size;
  }
  return bytes;
}

}  // namespace

std::vector<RecordedSession> ListRecordedSessions(const std::string& folder) {
  std::vector<RecordedSession> sessions;
  const std::u16string root = q9::Utf16FromUtf8(folder);
  for (const q9::platform::FolderEntry& entry : q9::platform::ListFolder(root)) {
    const std::string name = q9::Utf8FromUtf16(entry.name);
    if (!entry.isFolder || !q9::Recording::IsSessionName(entry.name)) continue;
    RecordedSession session;
    session.name = name;
    session.path = q9::Utf8FromUtf16(q9::FolderFilePath(root, entry.name));
    session.bytes = FolderBytes(q9::Utf16FromUtf8(session.path));
    ReadSteps(session);
    sessions.push_back(std::move(session));
  }
  std::sort(sessions.begin(), sessions.end(),
            [](const RecordedSession& a, const RecordedSession& b) { return a.name < b.name; });
  return sessions;
}

}  // namespace q9x
