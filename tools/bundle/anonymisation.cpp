#include "bundle/anonymisation.h"

#include "base/json_writer.h"
#include "base/platform.h"
#include "base/text.h"
#include "common/files.h"

namespace q9x::bundle {

namespace {

// Record files are a few kilobytes; one beyond this is not the host's.
constexpr uint64_t kRecordFileLimit = uint64_t{64} << 20;

// The part of the path behind its "Users" or "home" part, as a profile's folder is named.
std::u16string UserInPath(std::u16string_view path) {
  for (std::u16string_view marker : {u"\\Users\\", u"/Users/", u"/home/", u"\\home\\"}) {
    const size_t at = path.find(marker);
    if (at == std::u16string_view::npos) continue;
    const std::u16string_view rest = path.substr(at + marker.size());
    return std::u16string(rest.substr(0, rest.find_first_of(u"\\/")));
  }
  return {};
}

}  // namespace

void Anonymisation::Learn(const Contents& contents, const std::string& user,
                          const std::string& host) {
  if (!user.empty()) names_.Learn(q9::Utf16FromUtf8(user), NameKind::User, true);
  for (const std::u16string& path : {contents.folder, contents.recording}) {
    const std::u16string inPath = UserInPath(path);
    if (!inPath.empty()) names_.Learn(inPath, NameKind::User, true);
  }
  if (!host.empty()) names_.Learn(q9::Utf16FromUtf8(host), NameKind::Host, true);
  sites_.assign(contents.members.size(), Sites{});
  for (size_t i = 0; i < contents.members.size(); ++i) {
    const Source& source = contents.members[i];
    if (source.kind == MemberKind::Container) {
      FindContainerSites(source.path, names_, sites_[i]);
    } else if (source.kind == MemberKind::Record) {
      const Outcome<std::string> bytes =
          ReadWholeFile(q9::Utf8FromUtf16(source.path), kRecordFileLimit, "a record file may have");
      if (bytes) FindRecordFileSites(*bytes, names_, sites_[i]);
    }
  }
  names_.AssignTokens();
}

std::unique_ptr<MemberFilter> Anonymisation::FilterFor(const Contents& contents, size_t index,
                                                       int64_t length) const {
  if (contents.members[index].kind == MemberKind::Text) return std::make_unique<TextFilter>(names_);
  if (sites_[index].length != length) return nullptr;
  return std::make_unique<SiteFilter>(names_, sites_[index]);
}

std::string Anonymisation::TokenOf(const std::string& name) const {
  const int64_t index = names_.Find(q9::Utf16FromUtf8(name));
  if (index < 0) return Scrubbed(name);
  return q9::Utf8FromUtf16(names_[static_cast<uint32_t>(index)].token);
}

std::string Anonymisation::Scrubbed(std::string_view text) const {
  TextFilter filter(names_);
  std::string out;
  filter.Feed(text, out);
  filter.Finish(out);
  return out;
}

Outcome<Done> Anonymisation::WriteNames(const std::u16string& path,
                                        const std::string& bundleName) const {
  std::string text;
  q9::JsonOptions layout;
  layout.indented = true;
  q9::JsonWriter json(text, layout);
  json.BeginObject();
  json.Key("format");
  json.Int(1);
  json.Key("bundle");
  json.String(bundleName);
  json.Key("names");
  json.BeginArray();
  for (const Name& name : names_.names()) {
    json.BeginObject();
    json.Key("token");
    json.String(q9::Utf8FromUtf16(name.token));
    json.Key("name");
    json.String(q9::Utf8FromUtf16(name.text));
    json.Key("kind");
    json.String(KindName(name.kind));
    json.EndObject();
  }
  json.EndArray();
  json.EndObject();
  json << "\n";
  const std::u16string part = path + u".part";
  const std::string shown = q9::platform::DisplayPath(path);
  if (!WriteWholeFile(q9::Utf8FromUtf16(part), text) ||
      !q9::platform::RenameFile(part, path, /*replace=*/true)) {
    q9::platform::RemovePath(part);
    return Failure{FailureKind::File, "cannot write " + shown};
  }
  return Done{};
}

}  // namespace q9x::bundle
