// A file held open by this test without sharing, as another program holding it would: every
// other open of it fails with a sharing violation until the holder goes.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_handle_win32.h"

namespace q9::test {

class HeldFile {
 public:
  // Created when missing; false from held() when it could not be opened.
  explicit HeldFile(const std::u16string& path) {
    const HANDLE opened = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()),
                                      GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened != INVALID_HANDLE_VALUE) handle_.reset(opened);
  }
  bool held() const { return static_cast<bool>(handle_); }

 private:
  UniqueHandle handle_;
};

}  // namespace q9::test
