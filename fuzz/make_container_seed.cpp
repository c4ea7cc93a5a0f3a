// Makes a container fuzz seed: make_container_seed MODEL UPDATE OUT writes the short form of
// MODEL, the update marker and the short form of UPDATE; make_container_seed MODEL OUT the short
// form of MODEL alone.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "fuzz_input.h"

namespace {

bool ReadAll(const char* path, std::vector<uint8_t>& bytes) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: make_container_seed MODEL [UPDATE] OUT\n");
    return 2;
  }
  std::vector<uint8_t> seed;
  for (int i = 1; i < argc - 1; ++i) {
    std::vector<uint8_t> file;
    if (!ReadAll(argv[i], file)) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    if (i > 1) seed.insert(seed.end(), q9::fuzz::kUpdateMarker.begin(), q9::fuzz::kUpdateMarker.end());
    const std::vector<uint8_t> part = q9::fuzz::CompactContainer(file);
    seed.insert(seed.end(), part.begin(), part.end());
  }
  std::ofstream out(argv[argc - 1], std::ios::binary);
  out.write(reinterpret_cast<const char*>(seed.data()), static_cast<std::streamsize>(seed.size()));
  return out ? 0 : 1;
}
