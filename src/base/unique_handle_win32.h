// Owners of Win32 handles (Windows build only). One template holds a handle of type T and
// closes it with its one close function when the owner goes out of scope or takes another
// handle; the aliases below are the kinds the system uses. Nobody closes a handle by hand.
//
//   UniqueHandle process(info.hProcess);           // CloseHandle at the end of the scope
//   UniqueRegistryKey key;
//   RegOpenKeyExW(HKEY_CURRENT_USER, name, 0, KEY_READ, key.put());
#pragma once

#include <windows.h>

#include <utility>

namespace q9 {

// A null handle is "no handle": it is never passed to Close.
template <typename T, auto Close>
class UniqueAny {
 public:
  UniqueAny() = default;
  explicit UniqueAny(T handle) noexcept : handle_(handle) {}
  ~UniqueAny() { reset(); }

  UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
  UniqueAny& operator=(UniqueAny&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueAny(const UniqueAny&) = delete;
  UniqueAny& operator=(const UniqueAny&) = delete;

  T get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return handle_ != T{}; }

  // Closes the handle held, if any, and holds `handle` instead.
  void reset(T handle = T{}) noexcept {
    const T old = std::exchange(handle_, handle);
    if (old != T{}) static_cast<void>(Close(old));
  }
  // Gives the handle up without closing it.
  [[nodiscard]] T release() noexcept { return std::exchange(handle_, T{}); }
  // Closes the handle held and returns where a function that hands out a handle through an
  // out-parameter may store the new one.
  T* put() noexcept {
    reset();
    return &handle_;
  }

 private:
  T handle_{};
};

namespace detail {

// The working instance's mutex: ownership is given back before the handle is closed.
inline BOOL ReleaseAndCloseMutex(HANDLE mutex) noexcept {
  ReleaseMutex(mutex);
  return CloseHandle(mutex);
}

}  // namespace detail

// Kernel objects: processes, threads, pipes, events, mutexes not owned.
using UniqueHandle = UniqueAny<HANDLE, &::CloseHandle>;
// A mutex this thread owns: released, then closed.
using OwnedMutex = UniqueAny<HANDLE, &detail::ReleaseAndCloseMutex>;
using UniqueRegistryKey = UniqueAny<HKEY, &::RegCloseKey>;
using UniqueLibrary = UniqueAny<HMODULE, &::FreeLibrary>;
// A window this thread created: destroyed, which also sends it WM_DESTROY.
using UniqueWindow = UniqueAny<HWND, &::DestroyWindow>;

}  // namespace q9
