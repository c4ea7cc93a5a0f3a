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
// No session of a working instance comes near this many requests; a file with more lines is not
// the recording's, and its lines beyond are counted as unread rather than held.
constexpr size_t kMostSteps = 1000000;

// A member that is a text, else empty (a line is untrusted: any member may be of any type).
std::string Text(const nlohmann::json& object, const char* key) {
  const auto member = object.find(key);
  return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

// A duration member: a whole number of milliseconds from 0 on.
std::optional<int64_t> Milliseconds(const nlohmann::json& object, const char* key) {
  const auto member = object.find(key);
  if (member == object.end() || !member->is_number_integer()) return std::nullopt;
  const int64_t value = member->get<int64_t>();
  return value >= 0 ? std::optional<int64_t>(value) : std::nullopt;
}

std::optional<RecordedStep> StepOf(const std::string& line) {
  const nlohmann::json step = nlohmann::json::parse(line, nullptr, false);
  if (!step.is_object() || !step.contains("step") || !step["step"].is_number_unsigned() ||
      step["step"].get<uint64_t>() > UINT32_MAX) {
    return std::nullopt;
  }
  RecordedStep result;
  result.step = step["step"].get<uint32_t>();
  result.folder = Text(step, "folder");
  result.time = Text(step, "time");
  result.request = Text(step, "request");
  result.outcome = Text(step, "outcome");
  result.word = Text(step, "word");
  result.colorMode = step.contains("colorMode") && step["colorMode"].is_boolean() && step["colorMode"].get<bool>();
  if (step.contains("message") && step["message"].is_number_unsigned() &&
      step["message"].get<uint64_t>() <= UINT32_MAX) {
    result.message = step["message"].get<uint32_t>();
  }
  const std::optional<int64_t> total = Milliseconds(step, "totalMs");
  const std::optional<int64_t> files = Milliseconds(step, "filesMs");
  const std::optional<int64_t> link = Milliseconds(step, "linkMs");
  if (total && files && link) result.durations = RequestDurations{*total, *files, *link};
  if (step.contains("files") && step["files"].is_array()) {
    for (const nlohmann::json& file : step["files"]) {
      if (!file.is_object()) continue;
      RecordedFile entry;
      entry.name = Text(file, "name");
      entry.size = file.contains("size") && file["size"].is_number_integer() ? file["size"].get<int64_t>() : -1;
      entry.sha256 = Text(file, "sha256");
      entry.kept = file.contains("kept") && file["kept"].is_boolean() && file["kept"].get<bool>();
      entry.reason = Text(file, "reason");
      if (!entry.kept && entry.size >= 0) result.allKept = false;
      result.files.push_back(std::move(entry));
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
      if (step && session.steps.size() < kMostSteps) {
        session.steps.push_back(std::move(*step));
      } else {
        ++session.unreadLines;
      }
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
