#include "bundle/bundle_writer.h"

#include <algorithm>
#include <cstdio>

#include "base/json_writer.h"
#include "base/platform.h"
#include "base/text.h"
#include "base/version.h"
#include "bundle/bundle_layout.h"
#include "bundle/leak_search.h"
#include "common/zip_archive.h"

namespace q9x::bundle {

namespace {

constexpr size_t kBlock = size_t{1} << 20;

std::string Shown(const std::u16string& path) { return q9::platform::DisplayPath(path); }

// Removes the part file unless the bundle was completed.
class PartFile {
 public:
  explicit PartFile(std::u16string path) : path_(std::move(path)) {}
  ~PartFile() {
    file_.reset();
    if (!kept_) q9::platform::RemovePath(path_);
  }
  bool Open(q9::platform::FileError& error) {
    file_ = q9::platform::OpenFile(path_, "wb+", &error);
    return file_ != nullptr;
  }
  std::FILE* get() { return file_.get(); }
  bool Finish(q9::platform::FileError& error) {
    return q9::platform::FinishFile(std::move(file_), &error);
  }
  void Keep() { kept_ = true; }
  const std::u16string& path() const { return path_; }

 private:
  std::u16string path_;
  q9::platform::UniqueFile file_;
  bool kept_ = false;
};

// The sizes of the largest members, for a refusal: "NAME (N bytes), ...".
std::string LargestMembers(const Contents& contents, const std::string& doctorJson) {
  std::vector<std::pair<int64_t, std::string>> sizes;
  for (const Source& source : contents.members) sizes.push_back({source.size, source.member});
  sizes.push_back({static_cast<int64_t>(doctorJson.size()), std::string(kDoctorName)});
  std::sort(sizes.begin(), sizes.end(), std::greater<>());
  std::string text;
  for (size_t i = 0; i < std::min<size_t>(3, sizes.size()); ++i) {
    text += (i > 0 ? ", " : "") + sizes[i].second + " (" + std::to_string(sizes[i].first) + " bytes)";
  }
  return text;
}

// Writes one member's bytes as they arrive, through its filter, into the archive and its digest.
class MemberStream {
 public:
  MemberStream(zip::Writer& writer, const BundleOptions& options, const Contents& contents)
      : writer_(writer), options_(options), contents_(contents) {}

  Outcome<Done> Begin(const std::string& name, uint64_t sizeBound, std::unique_ptr<MemberFilter> filter) {
    written_ = Written{name, 0, {}};
    filter_ = std::move(filter);
    sha_ = std::make_unique<q9::platform::Sha256>();
    if (!writer_.Begin(name, sizeBound)) return ArchiveFailure();
    return Done{};
  }
  Outcome<Done> Add(std::string_view bytes) {
    if (!filter_) return Put(bytes);
    filtered_.clear();
    filter_->Feed(bytes, filtered_);
    return Put(filtered_);
  }
  Outcome<Written> End() {
    if (filter_) {
      filtered_.clear();
      filter_->Finish(filtered_);
      if (Outcome<Done> put = Put(filtered_); !put) return put.failure();
    }
    if (!writer_.End()) return ArchiveFailure();
    written_.sha256 = sha_->HexDigest();
    return written_;
  }

 private:
  Outcome<Done> Put(std::string_view bytes) {
    sha_->Add(bytes.data(), bytes.size());
    written_.size += bytes.size();
    if (!writer_.Add(bytes)) return ArchiveFailure();
    if (options_.maxSize > 0 && writer_.size() > options_.maxSize) {
      return Failure{FailureKind::Refused,
                     "the bundle would be larger than --max-size (" +
                         std::to_string(options_.maxSize) + " bytes) by the time it holds " +
                         written_.name + "; its largest members: " +
                         LargestMembers(contents_, options_.doctorJson)};
    }
    return Done{};
  }
  Failure ArchiveFailure() const {
    return {FailureKind::File, "cannot write " + Shown(options_.output) + ".part: " + writer_.error()};
  }

  zip::Writer& writer_;
  const BundleOptions& options_;
  const Contents& contents_;
  Written written_;
  std::unique_ptr<MemberFilter> filter_;
  std::unique_ptr<q9::platform::Sha256> sha_;
  std::string filtered_;
};

// Streams the file of member `index`. A file that can no longer be opened is absent instead.
Outcome<Done> AddFileMember(const Contents& contents, size_t index, const BundleOptions& options,
                            MemberStream& stream, BundleReport& report) {
  const Source& source = contents.members[index];
  q9::platform::FileError error;
  q9::platform::UniqueFile file = q9::platform::OpenFile(source.path, "rb", &error);
  if (!file) {
    report.absent.push_back({source.member, "could not be read when the bundle was written: " + error.text});
    return Done{};
  }
  // The bytes the file held when it was opened; a log that grows meanwhile is taken up to there.
  const int64_t length = q9::platform::FileLength(file.get());
  if (length < 0 || !q9::platform::SeekFile(file.get(), 0, &error)) {
    return Failure{FailureKind::File, "cannot read " + Shown(source.path) + ": " + error.text};
  }
  std::unique_ptr<MemberFilter> filter;
  if (options.anonymisation) {
    filter = options.anonymisation->FilterFor(contents, index, length);
    if (!filter) {
      return Failure{FailureKind::File, Shown(source.path) + " changed while it was bundled; "
                                        "bundle again once the host has written it"};
    }
  }
  if (Outcome<Done> begun = stream.Begin(source.member, static_cast<uint64_t>(length), std::move(filter)); !begun) {
    return begun;
  }
  std::string buffer(kBlock, '\0');
  uint64_t left = static_cast<uint64_t>(length);
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(left, buffer.size()));
    error = {};
    const size_t got = q9::platform::ReadFromFile(file.get(), buffer.data(), want, &error);
    if (got == 0 && !error.text.empty()) {
      return Failure{FailureKind::File, "cannot read " + Shown(source.path) + ": " + error.text};
    }
    if (got == 0) break;  // the file shrank since it was measured
    if (Outcome<Done> added = stream.Add(std::string_view(buffer.data(), got)); !added) return added;
    left -= got;
  }
  Outcome<Written> written = stream.End();
  if (!written) return written.failure();
  report.members.push_back(std::move(*written));
  return Done{};
}

Outcome<Done> AddBytesMember(const std::string& name, std::string_view bytes, MemberStream& stream,
                             BundleReport& report) {
  if (Outcome<Done> begun = stream.Begin(name, bytes.size(), nullptr); !begun) return begun;
  if (Outcome<Done> added = stream.Add(bytes); !added) return added;
  Outcome<Written> written = stream.End();
  if (!written) return written.failure();
  report.members.push_back(std::move(*written));
  return Done{};
}

void WriteMemberList(q9::JsonWriter& json, const std::vector<Written>& members) {
  json.BeginArray();
  for (const Written& member : members) {
    json.BeginObject();
    json.Key("name");
    json.String(member.name);
    json.Key("size");
    json.Unsigned(member.size);
    json.Key("sha256");
    json.String(member.sha256);
    json.EndObject();
  }
  json.EndArray();
}

template <typename Scrub>
void WriteAbsentList(q9::JsonWriter& json, const std::vector<Absent>& absent, Scrub scrub) {
  json.BeginArray();
  for (const Absent& entry : absent) {
    json.BeginObject();
    json.Key("name");
    json.String(entry.name);
    json.Key("reason");
    json.String(scrub(entry.reason));
    json.EndObject();
  }
  json.EndArray();
}

std::string ManifestText(const Contents& contents, const BundleOptions& options,
                         const BundleReport& report) {
  const Anonymisation* anonymisation = options.anonymisation;
  // Paths and reasons name folders below the user's profile.
  auto scrub = [&](const std::string& text) {
    return anonymisation ? anonymisation->Scrubbed(text) : text;
  };
  std::string text;
  q9::JsonOptions layout;
  layout.indented = true;
  q9::JsonWriter json(text, layout);
  json.BeginObject();
  json.Key("format");
  json.Int(kBundleFormat);
  json.Key("made");
  json.String(IsoTime(options.made));
  json.Key("q9x");
  json.String(q9::VersionText("q9x"));
  json.Key("program");
  json.String(q9::kVersion);
  json.Key("host");
  json.String(anonymisation ? anonymisation->TokenOf(options.hostName) : options.hostName);
  json.Key("exchangeFolder");
  json.String(scrub(Shown(contents.folder)));
  json.Key("recording");
  if (contents.recording.empty()) {
    json.Null();
  } else {
    json.String(scrub(Shown(contents.recording)));
  }
  json.Key("anonymised");
  json.Bool(anonymisation != nullptr);
  json.Key("members");
  WriteMemberList(json, report.members);
  json.Key("absent");
  WriteAbsentList(json, report.absent, scrub);
  json.EndObject();
  json << "\n";
  return text;
}

// Reads every member of the finished part back and searches it for the names replaced.
Outcome<Done> SearchForNames(const std::u16string& part, const std::vector<zip::Member>& members,
                             const Contents& contents, const Anonymisation& anonymisation) {
  q9::platform::UniqueFile file = q9::platform::OpenFile(part, "rb");
  if (!file) return Failure{FailureKind::File, "cannot read " + Shown(part) + " back"};
  for (const zip::Member& member : members) {
    bool container = false;
    for (const Source& source : contents.members) {
      if (source.member == member.name) container = source.kind == MemberKind::Container;
    }
    LeakSearch search(anonymisation.names(), container);
    std::string error;
    if (!zip::ReadWrittenMember(file.get(), member, [&](std::string_view bytes) { search.Feed(bytes); }, error)) {
      return Failure{FailureKind::File, Shown(part) + ": " + error};
    }
    const int64_t found = search.Finish();
    if (found >= 0) {
      const Name& name = anonymisation.names()[static_cast<uint32_t>(found)];
      return Failure{FailureKind::Refused,
                     member.name + " still holds the " + KindName(name.kind) + " name \"" +
                         q9::Utf8FromUtf16(name.text) + "\" where it could not be replaced; "
                         "the bundle was removed (bundle without --anonymise, or leave the file out)"};
    }
  }
  return Done{};
}

Outcome<Done> WriteMembers(const Contents& contents, const BundleOptions& options,
                           zip::Writer& writer, BundleReport& report) {
  MemberStream stream(writer, options, contents);
  for (size_t i = 0; i < contents.members.size(); ++i) {
    if (Outcome<Done> added = AddFileMember(contents, i, options, stream, report); !added) return added;
  }
  const std::string doctor = options.anonymisation ? options.anonymisation->Scrubbed(options.doctorJson)
                                                   : options.doctorJson;
  if (Outcome<Done> added = AddBytesMember(std::string(kDoctorName), doctor, stream, report); !added) return added;
  const std::string manifest = ManifestText(contents, options, report);
  return AddBytesMember(std::string(kManifestName), manifest, stream, report);
}

}  // namespace

std::string CompactTime(const std::tm& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", time.tm_year + 1900, time.tm_mon + 1,
                time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
  return text;
}

std::string IsoTime(const std::tm& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", time.tm_year + 1900,
                time.tm_mon + 1, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec);
  return text;
}

Outcome<BundleReport> WriteBundle(const Contents& contents, const BundleOptions& options) {
  PartFile part(options.output + u".part");
  q9::platform::FileError error;
  if (!part.Open(error)) {
    return Failure{FailureKind::File, "cannot write " + Shown(part.path()) + ": " + error.text};
  }
  zip::FileSink sink(part.get());
  zip::WriterOptions zipOptions;
  const std::tm& made = options.made;
  zipOptions.time = zip::DosTimeOf(made.tm_year + 1900, made.tm_mon + 1, made.tm_mday,
                                   made.tm_hour, made.tm_min, made.tm_sec);
  zip::Writer writer(sink, zipOptions);
  BundleReport report;
  report.absent = contents.absent;
  if (Outcome<Done> written = WriteMembers(contents, options, writer, report); !written) {
    return written.failure();
  }
  if (!writer.Finish()) {
    return Failure{FailureKind::File, "cannot write " + Shown(part.path()) + ": " + sink.error()};
  }
  report.size = writer.size();
  if (options.maxSize > 0 && report.size > options.maxSize) {
    return Failure{FailureKind::Refused, "the bundle would be " + std::to_string(report.size) +
                                             " bytes, larger than --max-size (" +
                                             std::to_string(options.maxSize) +
                                             " bytes); its largest members: " +
                                             LargestMembers(contents, options.doctorJson)};
  }
  if (!part.Finish(error)) {
    return Failure{FailureKind::File, "cannot write " + Shown(part.path()) + ": " + error.text};
  }
  if (options.anonymisation) {
    Outcome<Done> clean = SearchForNames(part.path(), writer.members(), contents, *options.anonymisation);
    if (!clean) return clean.failure();
  }
  if (!q9::platform::RenameFile(part.path(), options.output, /*replace=*/true)) {
    return Failure{FailureKind::File, "cannot rename " + Shown(part.path()) + " to " + Shown(options.output)};
  }
  part.Keep();
  return report;
}

}  // namespace q9x::bundle
