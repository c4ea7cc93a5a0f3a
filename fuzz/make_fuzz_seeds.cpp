// Makes the fuzz targets' seeds from packed containers: make_fuzz_seeds FOLDER NAME=FILE...
// writes into FOLDER/<target>, for each FILE:
//   container  its short form (fuzz_input.h); the files named "model" and "update" also joined
//              by the update marker
//   header     the short form of its header alone, its offsets counted from the end of the
//              header, for the file named "sections" only: the header target reads that file's
//              sections behind each header
//   geometry   each geometry section of the file, from its offset to the next section's
//              offset or the end of the file
//   changes    each change list, cut the same way
//   views      the view block text of each geometry section that has one, as the section reader
//              finds it
// Sections are found through the directory, as the product finds them. Files are named after
// the NAME and the entry: "model-entry-0".
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "scene/container_format.h"
#include "scene/geometry_section.h"

namespace {

namespace fs = std::filesystem;
using namespace q9::container;

struct Section {
  int index = 0;
  int32_t type = 0;
  size_t begin = 0;
  size_t end = 0;
};

bool ReadAll(const char* path, std::vector<uint8_t>& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

bool Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

// The sections of the entries in use whose offset lies inside the file.
std::vector<Section> SectionsOf(const std::vector<uint8_t>& file) {
  std::vector<Section> sections;
  if (file.size() < kHeaderSize) return sections;
  const int32_t last = LoadInt32(&file[kLastEntryIndexAt]);
  for (int i = 0; i <= last && i < kDirectoryEntries; ++i) {
    const uint8_t* entry = &file[kDirectoryAt + static_cast<size_t>(i) * kEntrySize];
    const int32_t offset = LoadInt32(entry + kEntryOffsetAt);
    if (offset < 0 || static_cast<size_t>(offset) > file.size()) continue;
    sections.push_back({i, LoadInt32(entry + kEntryTypeAt), static_cast<size_t>(offset), 0});
  }
  for (Section& section : sections) {
    section.end = file.size();
    for (const Section& other : sections) {
      if (other.begin > section.begin && other.begin < section.end) section.end = other.begin;
    }
  }
  return sections;
}

std::vector<uint8_t> Utf16Bytes(const std::u16string& text) {
  std::vector<uint8_t> bytes;
  for (const char16_t unit : text) {
    bytes.push_back(static_cast<uint8_t>(unit));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  }
  return bytes;
}

// The seeds of one sample file's sections and header.
bool WriteSectionSeeds(const fs::path& folder, const std::string& sample,
                       const std::vector<uint8_t>& file) {
  bool ok = true;
  if (sample == "sections") {
    std::vector<uint8_t> header = q9::fuzz::CompactContainer(file);
    header.resize(std::min(header.size(), q9::fuzz::kKeptHeaderBytes));
    q9::fuzz::ShiftEntryOffsets(header, -q9::kContainerHeaderSize);
    ok &= Write(folder / "header" / (sample + "-header"), header);
  }
  for (const Section& section : SectionsOf(file)) {
    const std::string name = sample + "-entry-" + std::to_string(section.index);
    const std::vector<uint8_t> bytes(file.begin() + static_cast<std::ptrdiff_t>(section.begin),
                                     file.begin() + static_cast<std::ptrdiff_t>(section.end));
    if (section.type == q9::container::kChangeListSectionType) {
      ok &= Write(folder / "changes" / name, bytes);
    } else if (section.type == q9::container::kGeometrySectionType) {
      ok &= Write(folder / "geometry" / name, bytes);
      q9::ContainerReader reader;
      reader.Attach(file.data(), file.size());
      q9::GeometryVisitor visitor;
      visitor.views = [&](int64_t, std::u16string text) {
        ok &= Write(folder / "views" / name, Utf16Bytes(text));
      };
      q9::WalkGeometrySection(reader, static_cast<int64_t>(section.begin), visitor);
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER NAME=FILE...\n");
    return 2;
  }
  const fs::path folder = argv[1];
  bool ok = true;
  std::vector<uint8_t> model;
  std::vector<uint8_t> update;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    const size_t equals = argument.find('=');
    std::vector<uint8_t> file;
    if (equals == std::string::npos || !ReadAll(argument.c_str() + equals + 1, file)) {
      std::fprintf(stderr, "cannot read %s\n", argument.c_str());
      return 1;
    }
    const std::string name = argument.substr(0, equals);
    ok = ok && Write(folder / "container" / name, q9::fuzz::CompactContainer(file)) &&
         WriteSectionSeeds(folder, name, file);
    if (name == "model") model = std::move(file);
    if (name == "update") update = std::move(file);
  }
  if (!model.empty() && !update.empty()) {
    std::vector<uint8_t> both = q9::fuzz::CompactContainer(model);
    both.insert(both.end(), q9::fuzz::kUpdateMarker.begin(), q9::fuzz::kUpdateMarker.end());
    const std::vector<uint8_t> second = q9::fuzz::CompactContainer(update);
    both.insert(both.end(), second.begin(), second.end());
    ok = ok && Write(folder / "container" / "model-update", both);
  }
  if (!ok) std::fprintf(stderr, "cannot write the seeds in %s\n", argv[1]);
  return ok ? 0 : 1;
}
