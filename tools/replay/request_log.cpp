#include "replay/request_log.h"

#include <cstdio>

#include "base/platform.h"
#include "base/text.h"
#include "received/scene_reader.h"
#include "sync/request_report.h"
#include "sync/requests.h"

namespace q9x {

namespace {

// Reads the text at `at` as it begins; false (and `at` unchanged) when it does not.
bool Take(std::string_view& at, std::string_view text) {
  if (at.substr(0, text.size()) != text) return false;
  at.remove_prefix(text.size());
  return true;
}

// A number as the log groups its digits ("1 204"), or with `grouped` false as plain digits (a
// message number): at most 18 digits, so it cannot overflow.
std::optional<int64_t> TakeNumber(std::string_view& at, bool grouped = true) {
  int64_t value = 0;
  size_t digits = 0;
  size_t i = 0;
  while (i < at.size()) {
    if (at[i] >= '0' && at[i] <= '9') {
      if (++digits > 18) return std::nullopt;
      value = value * 10 + (at[i] - '0');
      ++i;
    } else if (grouped && at[i] == ' ' && digits > 0 && i + 1 < at.size() && at[i + 1] >= '0' && at[i + 1] <= '9') {
      ++i;
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  at.remove_prefix(i);
  return value;
}

// The time stamp of either writer ("2025. 03. 07 - 14:05:09", "2025/03/07 14:05:09") as
// "2025-03-07T14:05:09Z"; empty when it is neither.
std::string IsoTime(std::string_view stamp) {
  std::vector<std::string_view> runs;
  for (size_t i = 0; i < stamp.size() && runs.size() <= 6;) {
    if (stamp[i] < '0' || stamp[i] > '9') {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < stamp.size() && stamp[i] >= '0' && stamp[i] <= '9') ++i;
    runs.push_back(stamp.substr(start, i - start));
  }
  static constexpr size_t kLengths[] = {4, 2, 2, 2, 2, 2};
  if (runs.size() != 6) return {};
  for (size_t i = 0; i < 6; ++i) {
    if (runs[i].size() != kLengths[i]) return {};
  }
  return std::string(runs[0]) + "-" + std::string(runs[1]) + "-" + std::string(runs[2]) + "T" +
         std::string(runs[3]) + ":" + std::string(runs[4]) + ":" + std::string(runs[5]) + "Z";
}

// The request a command word posts, as a forwarding instance posts it.
std::optional<uint32_t> PostedMessage(std::string_view word) {
  const q9::CommandWord* entry = q9::FindCommandWord(word);
  return entry ? entry->message : std::nullopt;
}

std::string RequestName(std::optional<uint32_t> message) { return std::string(q9::RequestName(message)); }

// The session being read: the timed requests, and the requests the older lines name.
struct SessionReading {
  LoggedSession session;
  std::vector<LoggedRequest> untimed;

  void Add(std::vector<LoggedRequest>& into, LoggedRequest request) {
    if (into.size() < kMostLoggedRequests) {
      into.push_back(std::move(request));
    } else {
      ++session.linesSkipped;
    }
  }
  // Without timed lines: the start-up load, the started word's own request, then those named.
  LoggedSession Finish() && {
    if (session.timed) return std::move(session);
    session.requests.push_back({std::nullopt, RequestName(std::nullopt), "", std::nullopt, session.startTime});
    if (const std::optional<uint32_t> own = PostedMessage(session.word)) {
      session.requests.push_back({own, RequestName(own), "", std::nullopt, session.startTime});
    }
    for (LoggedRequest& request : untimed) Add(session.requests, std::move(request));
    return std::move(session);
  }
};

}  // namespace

std::optional<LoggedRequest> ParseTimedLine(std::string_view message) {
  LoggedRequest request;
  std::string_view at = message;
  if (Take(at, "Note: request ")) {
    const std::optional<int64_t> number = TakeNumber(at, false);
    if (!number || *number < q9::kSyncCameraMessage || *number > q9::kSyncViewsMessage) return std::nullopt;
    request.message = static_cast<uint32_t>(*number);
    if (!Take(at, " (")) return std::nullopt;
    const size_t close = at.find(')');
    if (close == std::string_view::npos) return std::nullopt;
    request.name = std::string(at.substr(0, close));
    at.remove_prefix(close + 1);
  } else if (Take(at, "Note: start-up load")) {
    request.name = RequestName(std::nullopt);
  } else {
    return std::nullopt;
  }
  if (Take(at, " done in ")) {
    request.outcome = "done";
  } else if (Take(at, " failed in ")) {
    request.outcome = "failed";
  } else {
    return std::nullopt;
  }
  const std::optional<int64_t> total = TakeNumber(at);
  if (!total || !Take(at, " ms: files ")) return std::nullopt;
  const std::optional<int64_t> files = TakeNumber(at);
  if (!files || !Take(at, " ms, link library ")) return std::nullopt;
  const std::optional<int64_t> link = TakeNumber(at);
  if (!link || !Take(at, " ms")) return std::nullopt;
  request.durations = RequestDurations{*total, *files, *link};
  return request;
}

Outcome<std::optional<LoggedSession>> ReadLoggedSession(const std::string& path) {
  const q9::platform::UniqueFile file = q9::platform::OpenFile(q9::Utf16FromUtf8(path), "rb");
  if (!file) return Failure{FailureKind::File, "cannot read " + path};
  std::FILE* in = file.get();
  LineReader lines([in](char* into, size_t size) { return std::fread(into, 1, size, in); }, size_t{1} << 16,
                   kLongestLogLine);
  std::optional<SessionReading> reading;
  uint64_t skipped = 0;
  bool wordFollows = false;  // the line after "Args - " is the command word
  std::string lastWord;
  while (lines.Next()) {
    if (lines.tooLong()) {
      ++skipped;
      continue;
    }
    const std::string_view line = lines.line();
    const size_t split = line.find("]: ");
    const bool stamped = !line.empty() && line[0] == '[' && split != std::string_view::npos;
    const std::string_view message = stamped ? line.substr(split + 3) : line;
    const std::string time = stamped ? IsoTime(line.substr(1, split - 1)) : std::string();
    if (wordFollows) {
      wordFollows = false;
      lastWord = std::string(message);
      const std::optional<uint32_t> posted = PostedMessage(message);
      if (reading && posted) reading->Add(reading->untimed, {posted, RequestName(posted), "", std::nullopt, time});
    } else if (message == "Args - ") {
      wordFollows = true;
    } else if (message == "Init Start") {
      reading.emplace();
      reading->session.word = lastWord;
      reading->session.startTime = time;
    } else if (!reading) {
    } else if (std::optional<LoggedRequest> timed = ParseTimedLine(message)) {
      timed->time = time;
      reading->session.timed = true;
      reading->Add(reading->session.requests, std::move(*timed));
    } else if (message == "Sync Model state 1 _ Start") {
      const uint32_t update = q9::kSyncModelUpdateMessage;
      reading->Add(reading->untimed, {update, RequestName(update), "", std::nullopt, time});
    }
  }
  if (std::ferror(in)) return Failure{FailureKind::File, "cannot read " + path};
  if (!reading) return std::optional<LoggedSession>();
  LoggedSession session = std::move(*reading).Finish();
  session.linesSkipped += skipped;
  return std::optional<LoggedSession>(std::move(session));
}

}  // namespace q9x
