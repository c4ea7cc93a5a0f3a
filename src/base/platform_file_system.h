// For the platform seam's own files: a path as the standard library's file system functions
// take it. Windows: the UTF-16 text as it stands. Native: UTF-8 with "\\" mapped to "/".
#pragma once

#include <filesystem>
#include <string>

namespace q9::platform {

std::filesystem::path FileSystemPath(const std::u16string& path);

}  // namespace q9::platform
