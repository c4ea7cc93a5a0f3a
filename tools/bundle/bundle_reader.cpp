#include "bundle/bundle_reader.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <unordered_map>
#include <unordered_set>

#include "base/platform.h"
#include "base/text.h"
#include "bundle/bundle_layout.h"
#include "bundle/bundle_writer.h"

namespace q9x::bundle {

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

Failure Refused(std::string reason) { return Failure{FailureKind::Unsafe, "the bundle is refused: " + std::move(reason)}; }

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Path(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

struct Listed {
  uint64_t size = 0;
  std::string sha256;
};

Outcome<std::unordered_map<std::string, Listed>> ReadManifest(zip::Reader& reader, int& format) {
  const zip::Entry* entry = reader.Find(kManifestName);
  if (!entry) return Refused("it holds no manifest.json (is it a support bundle?)");
  if (entry->size > kMostManifestBytes) {
    return Refused("its manifest.json has " + std::to_string(entry->size) + " bytes, beyond the " +
                   std::to_string(kMostManifestBytes) + " a manifest may have");
  }
  std::string text;
  text.reserve(static_cast<size_t>(entry->size));
  if (!reader.Extract(*entry, [&](std::string_view bytes) {
        text += bytes;
        return true;
      })) {
    return Refused(reader.error());
  }
  const json manifest = json::parse(text, nullptr, false);
  if (!manifest.is_object() || !manifest.contains("format") || !manifest["format"].is_number_integer()) {
    return Refused("its manifest.json is not a bundle's manifest (no \"format\" number)");
  }
  const int64_t number = manifest["format"].get<int64_t>();
  if (number > kBundleFormat) {
    return Refused("it was made by a later version of q9x (bundle format " + std::to_string(number) +
                   "; this version reads format " + std::to_string(kBundleFormat) + " and earlier)");
  }
  if (number < 1) return Refused("its manifest gives the bundle format " + std::to_string(number));
  format = static_cast<int>(number);
  std::unordered_map<std::string, Listed> listed;
  if (manifest.contains("members") && manifest["members"].is_array()) {
    for (const json& member : manifest["members"]) {
      if (!member.is_object() || !member.contains("name") || !member["name"].is_string() ||
          !member.contains("size") || !member["size"].is_number_unsigned()) {
        return Refused("its manifest lists a member without a name and size");
      }
      Listed entryListed{member["size"].get<uint64_t>(), {}};
      if (member.contains("sha256") && member["sha256"].is_string()) entryListed.sha256 = member["sha256"].get<std::string>();
      if (!listed.emplace(member["name"].get<std::string>(), std::move(entryListed)).second) {
        return Refused("its manifest lists \"" + member["name"].get<std::string>() + "\" twice");
      }
    }
  }
  return listed;
}

// Writes one member to `path`, checking the manifest's SHA-256.
Outcome<> WriteMember(zip::Reader& reader, const PlannedMember& member, const std::string& path) {
  q9::platform::FileError error;
  q9::platform::UniqueFile out = q9::platform::OpenFile(q9::Utf16FromUtf8(path), "wb", &error);
  if (!out) return Failure{FailureKind::File, "cannot write " + path + ": " + error.text};
  q9::platform::Sha256 hash;
  std::FILE* stream = out.get();
  bool written = true;
  const bool read = reader.Extract(*member.entry, [&](std::string_view bytes) {
    hash.Add(bytes.data(), bytes.size());
    written = q9::platform::WriteToFile(stream, bytes, &error);
    return written;
  });
  if (!written || !q9::platform::FinishFile(std::move(out), &error)) {
    return Failure{FailureKind::File, "cannot write " + path + ": " + error.text};
  }
  if (!read) return Refused(reader.error());
  if (!member.sha256.empty() && hash.HexDigest() != member.sha256) {
    return Refused("\"" + member.entry->name + "\" is not the file its manifest lists (its SHA-256 differs)");
  }
  return Done{};
}

}  // namespace

Outcome<UnpackPlan> PlanUnpack(zip::Reader& reader, uint64_t maxBytes) {
  UnpackPlan plan;
  Outcome<std::unordered_map<std::string, Listed>> listed = ReadManifest(reader, plan.format);
  if (!listed) return listed.failure();
  const zip::Entry* manifest = reader.Find(kManifestName);
  plan.members.push_back({manifest, {}});
  plan.bytes = manifest->size;
  size_t found = 0;
  for (const zip::Entry& entry : reader.entries()) {
    if (&entry == manifest || entry.folder()) continue;
    const auto it = listed->find(entry.name);
    if (!IsBundleMemberName(entry.name) || it == listed->end()) {
      plan.passedOver.push_back(entry.name);
      continue;
    }
    ++found;
    if (it->second.size != entry.size) {
      return Refused("\"" + entry.name + "\" holds " + std::to_string(entry.size) + " bytes, its manifest says " +
                     std::to_string(it->second.size));
    }
    plan.bytes += entry.size;
    if (maxBytes > 0 && plan.bytes > maxBytes) {
      return Refused("it unpacks to more than the limit of " + std::to_string(maxBytes) + " bytes (--max-size)");
    }
    plan.members.push_back({&entry, it->second.sha256});
  }
  if (found < listed->size()) {
    std::unordered_set<std::string_view> names;
    names.reserve(reader.entries().size());
    for (const zip::Entry& entry : reader.entries()) names.insert(entry.name);
    for (const auto& [name, entry] : *listed) {
      if (names.count(name) == 0) plan.missing.push_back(name);
    }
    std::sort(plan.missing.begin(), plan.missing.end());
  }
  return plan;
}

Outcome<Unpacked> UnpackBundle(const std::string& archive, const std::string& folder, uint64_t maxBytes) {
  q9::platform::FileError error;
  const q9::platform::UniqueFile file = q9::platform::OpenFile(q9::Utf16FromUtf8(archive), "rb", &error);
  if (!file) return Failure{FailureKind::File, "cannot read " + archive + ": " + error.text};
  zip::FileSource source(file.get());
  zip::Reader reader;
  zip::ReadLimits limits;
  if (maxBytes > 0) limits.totalBytes = limits.memberBytes = maxBytes;
  if (!reader.Open(source, limits)) return Refused(reader.error());
  Outcome<UnpackPlan> plan = PlanUnpack(reader, maxBytes);
  if (!plan) return plan.failure();

  std::error_code fsError;
  if (fs::exists(PathOf(folder), fsError)) return Failure{FailureKind::File, folder + " is there already"};
  Unpacked unpacked;
  auto failed = [&](Failure failure) -> Outcome<Unpacked> {
    std::error_code ignored;
    fs::remove_all(PathOf(folder), ignored);
    return failure;
  };
  for (const PlannedMember& member : plan->members) {
    const fs::path path = PathOf(folder) / PathOf(member.entry->name);
    fs::create_directories(path.parent_path(), fsError);
    if (fsError) return failed({FailureKind::File, "cannot make " + Utf8Path(path.parent_path()) + ": " + fsError.message()});
    if (Outcome<> written = WriteMember(reader, member, Utf8Path(path)); !written) return failed(written.failure());
    unpacked.written.push_back(member.entry->name);
  }
  unpacked.format = plan->format;
  unpacked.passedOver = std::move(plan->passedOver);
  unpacked.missing = std::move(plan->missing);
  unpacked.bytes = plan->bytes;
  return unpacked;
}

}  // namespace q9x::bundle
