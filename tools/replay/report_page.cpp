#include "replay/report_page.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>

#include <nlohmann/json.hpp>

#include "common/files.h"

namespace q9x {

namespace {

using nlohmann::json;

// What the page reads of a file beside it: bounded, as every input is.
constexpr uint64_t kMostJsonBytes = uint64_t{64} << 20;
constexpr uint64_t kMostPictureBytes = uint64_t{32} << 20;
constexpr size_t kMostTableSteps = 2000;

std::string Escaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Base64(const std::string& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const uint32_t a = static_cast<unsigned char>(bytes[i]);
    const uint32_t b = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes[i + 1]) : 0;
    const uint32_t c = i + 2 < bytes.size() ? static_cast<unsigned char>(bytes[i + 2]) : 0;
    const uint32_t triple = (a << 16) | (b << 8) | c;
    out += kDigits[(triple >> 18) & 63];
    out += kDigits[(triple >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(triple >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[triple & 63] : '=';
  }
  return out;
}

// A JSON file beside the page, or null when it is missing or no JSON.
json ReadJson(const std::string& path) {
  const Outcome<std::string> text = ReadWholeFile(path, kMostJsonBytes, "a page may show");
  if (!text) return nullptr;
  return json::parse(*text, nullptr, false);
}

std::string Text(const json& value, const char* key) {
  if (!value.is_object() || !value.contains(key)) return "";
  const json& member = value[key];
  if (member.is_string()) return member.get<std::string>();
  if (member.is_null()) return "";
  return member.dump();
}

// Milliseconds since the epoch of "2026-12-10T13:05:11.204Z" or "2026/12/10 13:05:11" (UTC);
// -1 for any other text.
int64_t UtcMillis(const std::string& time) {
  int year, month, day, hour, minute, second, millis = 0;
  char a, b;
  if (std::sscanf(time.c_str(), "%d%c%d%c%d", &year, &a, &month, &b, &day) != 5) return -1;
  const size_t clock = time.find_first_of("T ");
  if (clock == std::string::npos ||
      std::sscanf(time.c_str() + clock + 1, "%d:%d:%d.%d", &hour, &minute, &second, &millis) < 3) {
    return -1;
  }
  // Days from the civil date (proleptic Gregorian), without the C library's time zone.
  const int y = year - (month <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t days = static_cast<int64_t>(era) * 146097 + doe - 719468;
  return ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000 + millis;
}

const char* KindColour(const std::string& request) {
  static const std::map<std::string, const char*> kColours = {
      {"start-up load", "#4e79a7"}, {"camera sync", "#59a14f"}, {"views sync", "#edc948"},
      {"model sync", "#b07aa1"},    {"model update", "#f28e2b"}, {"light sync", "#e15759"}};
  const auto found = kColours.find(request);
  return found == kColours.end() ? "#9c9c9c" : found->second;
}

int64_t Millis(const json& times, const char* key) {
  return times.is_object() && times.contains(key) && times[key].is_number_integer() ? times[key].get<int64_t>() : -1;
}

std::string Changes(const json& changes) {
  if (!changes.is_object()) return "not known";
  if (changes.value("same", false)) return "no change";
  std::string text;
  if (changes.contains("counts") && changes["counts"].is_object()) {
    for (const auto& [subject, kinds] : changes["counts"].items()) {
      if (!kinds.is_object()) continue;
      for (const auto& [kind, count] : kinds.items()) {
        if (!count.is_number_unsigned() || count.get<uint64_t>() == 0) continue;
        if (!text.empty()) text += "; ";
        text += subject + " " + std::to_string(count.get<uint64_t>()) + " " + kind;
      }
    }
  }
  if (changes.contains("differences") && changes["differences"].is_array()) {
    std::string names;
    for (const json& difference : changes["differences"]) {
      if (names.size() > 120) {
        names += ", ...";
        break;
      }
      const std::string name = Text(difference, "name");
      if (name.empty()) continue;
      names += (names.empty() ? "" : ", ") + Text(difference, "kind") + " " + name;
    }
    if (!names.empty()) text += " (" + names + ")";
  }
  return text.empty() ? "no change" : text;
}

// The session as bars on a time axis: the customer's above, the replay's below.
std::string Timeline(const json& steps) {
  struct Bar {
    int64_t start, customer, replay;
    std::string label, request;
    bool failed;
  };
  std::vector<Bar> bars;
  int64_t first = -1;
  int64_t last = 0;
  int64_t replayAt = 0;
  for (const json& step : steps) {
    const int64_t at = UtcMillis(Text(step, "time"));
    const int64_t customer = Millis(step.value("customer", json()), "totalMs");
    const int64_t replay = Millis(step.value("replay", json()), "totalMs");
    Bar bar{at, std::max<int64_t>(customer, 0), std::max<int64_t>(replay, 0),
            "step " + Text(step, "step") + ": " + Text(step, "request"), Text(step, "request"),
            Text(step.value("customer", json()), "outcome") == "failed" ||
                Text(step.value("replay", json()), "outcome") == "failed"};
    if (at < 0) bar.start = first < 0 ? replayAt : last;  // a step without a time: after the last
    if (first < 0 || bar.start < first) first = bar.start;
    last = std::max(last, bar.start + std::max(bar.customer, bar.replay));
    replayAt += bar.replay;
    bars.push_back(bar);
  }
  if (bars.empty()) return "<p>No steps.</p>";
  const double width = 1000;
  const double span = static_cast<double>(std::max<int64_t>(last - first, 1));
  const auto x = [&](int64_t at) { return 150 + (width - 160) * static_cast<double>(at - first) / span; };
  const auto w = [&](int64_t ms) { return std::max(2.0, (width - 160) * static_cast<double>(ms) / span); };
  std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"100%\" viewBox=\"0 0 1000 " +
                    std::to_string(30 + 26 * bars.size()) + "\" role=\"img\" aria-label=\"timeline\">";
  svg += "<text x=\"150\" y=\"14\" font-size=\"11\">0 ms</text><text x=\"990\" y=\"14\" font-size=\"11\" "
         "text-anchor=\"end\">" + std::to_string(last - first) + " ms</text>";
  char number[32];
  for (size_t i = 0; i < bars.size(); ++i) {
    const Bar& bar = bars[i];
    const double y = 22 + 26.0 * static_cast<double>(i);
    svg += "<text x=\"0\" y=\"" + std::to_string(y + 13) + "\" font-size=\"11\">" + Escaped(bar.label) + "</text>";
    std::snprintf(number, sizeof number, "%.1f", x(bar.start));
    const std::string left = number;
    std::snprintf(number, sizeof number, "%.1f", w(bar.customer));
    svg += "<rect x=\"" + left + "\" y=\"" + std::to_string(y) + "\" width=\"" + number + "\" height=\"10\" fill=\"" +
           KindColour(bar.request) + "\"" + (bar.failed ? " stroke=\"#c00\" stroke-width=\"2\"" : "") +
           "><title>" + Escaped(bar.label) + ": customer " + std::to_string(bar.customer) + " ms</title></rect>";
    std::snprintf(number, sizeof number, "%.1f", w(bar.replay));
    svg += "<rect x=\"" + left + "\" y=\"" + std::to_string(y + 12) + "\" width=\"" + number +
           "\" height=\"5\" fill=\"#555\"><title>replay " + std::to_string(bar.replay) + " ms</title></rect>";
    if (bar.failed) {
      svg += "<text x=\"" + left + "\" y=\"" + std::to_string(y + 9) + "\" font-size=\"10\" fill=\"#c00\" dx=\"-12\">&#x2716;</text>";
    }
  }
  return svg + "</svg><p class=\"legend\">Upper bar: the customer's request; lower bar: the replay's. A red "
               "outline marks a failed request.</p>";
}

std::string StepsTable(const json& steps) {
  std::string html = "<table><tr><th>step</th><th>request</th><th>customer</th><th>replay</th><th>files</th>"
                     "<th>what it changed</th></tr>";
  size_t shown = 0;
  for (const json& step : steps) {
    if (++shown > kMostTableSteps) {
      html += "<tr><td colspan=\"6\">... (see steps.json)</td></tr>";
      break;
    }
    const auto times = [&](const char* side) {
      const json& t = step.value(side, json());
      const int64_t ms = Millis(t, "totalMs");
      return Escaped(Text(t, "outcome")) + (ms >= 0 ? " in " + std::to_string(ms) + " ms" : "");
    };
    std::string files;
    if (step.contains("files") && step["files"].is_array()) {
      for (const json& file : step["files"]) {
        files += (files.empty() ? "" : ", ") + Escaped(Text(file, "name")) + " (" + Escaped(Text(file, "bytes")) + ")";
      }
    }
    const bool failed = Text(step.value("replay", json()), "outcome") == "failed" ||
                        Text(step.value("customer", json()), "outcome") == "failed";
    html += std::string("<tr") + (failed ? " class=\"failed\"" : "") + "><td>" + Escaped(Text(step, "step")) +
            "</td><td>" + Escaped(Text(step, "request")) +
            (Text(step, "message").empty() ? "" : " (" + Escaped(Text(step, "message")) + ")") + "</td><td>" +
            times("customer") + "</td><td>" + times("replay") + "</td><td>" + files + "</td><td>" +
            Escaped(Changes(step.value("changes", json()))) + "</td></tr>";
  }
  return html + "</table>";
}

std::string Facts(const json& manifest, const json& report) {
  std::string html = "<table class=\"facts\">";
  const auto row = [&](const std::string& name, const std::string& value) {
    if (!value.empty()) html += "<tr><th>" + Escaped(name) + "</th><td>" + Escaped(value) + "</td></tr>";
  };
  row("replayed from", Text(report, "from") + (Text(report, "source") == "log" ? " (the log only)" : ""));
  row("session", Text(report, "session"));
  if (report.value("approximate", false)) row("replay", "approximate: no recording, the requests as the log names them");
  row("replay time", Text(report, "replayMs").empty() ? "" : Text(report, "replayMs") + " ms");
  if (manifest.is_object()) {
    for (const auto& [key, value] : manifest.items()) {
      if (key == "members" || key == "absent") continue;
      row(key, value.is_string() ? value.get<std::string>() : value.dump());
    }
    if (manifest.contains("absent") && manifest["absent"].is_array()) {
      std::string absent;
      for (const json& entry : manifest["absent"]) absent += (absent.empty() ? "" : "; ") + Text(entry, "name") + ": " + Text(entry, "reason");
      row("missing or left out", absent);
    }
  } else {
    row("bundle", "no manifest.json beside the replayed files");
  }
  return html + "</table>";
}

std::string Doctor(const json& doctor) {
  if (!doctor.is_object() || !doctor.contains("checks") || !doctor["checks"].is_array()) {
    return "<p>No doctor.json beside the replayed files.</p>";
  }
  std::string html = "<table><tr><th></th><th>check</th><th>found</th><th>remedy</th></tr>";
  for (const json& check : doctor["checks"]) {
    const bool ok = check.value("ok", false);
    html += std::string("<tr") + (ok ? "" : " class=\"failed\"") + "><td>" + (ok ? "ok" : "problem") + "</td><td>" +
            Escaped(Text(check, "check")) + "</td><td>" + Escaped(Text(check, "detail")) + "</td><td>" +
            Escaped(Text(check, "remedy")) + "</td></tr>";
  }
  return html + "</table>";
}

constexpr const char* kStyle = R"(body{font-family:sans-serif;margin:1.5em auto;max-width:70em;padding:0 1em;color:#222}
h1{font-size:1.5em}h2{font-size:1.15em;margin-top:1.6em;border-bottom:1px solid #ccc}
table{border-collapse:collapse;font-size:.9em;width:100%}th,td{border:1px solid #ddd;padding:.25em .5em;text-align:left;vertical-align:top}
tr.failed td{background:#fde8e8}.facts th{width:9em}img{max-width:100%;max-height:24em;border:1px solid #ccc}
.pair{display:grid;grid-template-columns:1fr 1fr;gap:1.5em}.pair td{word-break:break-all}
pre{background:#f6f6f6;padding:.6em;overflow:auto;font-size:.85em}.legend{font-size:.85em;color:#555})";

}  // namespace

Outcome<> WriteReportPage(const std::string& outdir, const std::string& bundleFolder) {
  const json report = ReadJson(outdir + "/steps.json");
  const json steps = report.is_object() && report.contains("steps") && report["steps"].is_array() ? report["steps"] : json::array();
  const json manifest = bundleFolder.empty() ? json() : ReadJson(bundleFolder + "/manifest.json");
  const json doctor = bundleFolder.empty() ? json() : ReadJson(bundleFolder + "/doctor.json");
  const Outcome<std::string> picture = ReadWholeFile(outdir + "/view.png", kMostPictureBytes, "a page may show");
  const Outcome<std::string> summary = ReadWholeFile(outdir + "/summary.txt", kMostJsonBytes, "a page may show");

  std::string html = "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>Replay report</title>"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><style>";
  html += kStyle;
  html += "</style></head><body><h1>Replay report</h1>";
  html += "<h2>The session</h2>" + Timeline(steps);
  html += "<div class=\"pair\"><div><h2>The bundle</h2>" + Facts(manifest, report) + "</div><div>";
  html += "<h2>What the renderer holds at the end</h2>";
  html += picture ? "<img alt=\"the final state from the camera last sent\" src=\"data:image/png;base64," +
                        Base64(*picture) + "\">"
                  : "<p>No picture (view.png) beside this page.</p>";
  html += "</div></div>";
  html += "<h2>Steps</h2>" + StepsTable(steps);
  html += "<h2>The doctor's findings</h2>" + Doctor(doctor);
  html += "<h2>Summary</h2>";
  html += summary ? "<pre>" + Escaped(*summary) + "</pre>" : "<p>No summary.txt beside this page.</p>";
  html += "<h2>Files</h2><ul>";
  for (const char* file : {"journal.jsonl", "steps.json", "summary.txt", "view.png", "scene.glb"}) {
    html += std::string("<li><a href=\"") + file + "\">" + file + "</a></li>";
  }
  html += "</ul></body></html>\n";
  if (!WriteWholeFile(outdir + "/report.html", html)) {
    return Failure{FailureKind::File, "cannot write " + outdir + "/report.html"};
  }
  return Done{};
}

}  // namespace q9x
