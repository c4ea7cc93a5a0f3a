// A link library standing in for the renderer's, built twice from this source. Both builds
// answer so that a session starts and connects: StartLinkQ9Render gives 0, CreateSession a
// handle that is not null, HasConnected true; every other function gives the zero of its result.
//   libQ9PluginNull (bench/): does nothing else, so that a benchmark measures what the system
//     itself costs, without any renderer work.
//   libQ9PluginTouch (fuzz/, built with Q9_STANDIN_READS_ARGUMENTS): reads every argument as a
//     renderer would: each text to its terminating zero, the matrix and the camera in full, a
//     float array as long as its count says, mesh array 1 as long as the triangle count implies
//     (nine values a triangle) and the first value of arrays 5 and 2 (their length is not part
//     of the call); it writes its version text into the version buffer. Built with the
//     sanitizers, so a read beyond what the caller handed over is a fault of the caller.
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

#include "link/q9plugin_api.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define Q9_STANDIN_ASAN 1
#endif
#endif
#if !defined(Q9_STANDIN_ASAN) && defined(__SANITIZE_ADDRESS__)
#define Q9_STANDIN_ASAN 1
#endif
#if Q9_STANDIN_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

int sessionToken = 0;

template <typename Result>
Result Answer() {
  if constexpr (std::is_same_v<Result, Q9Session>) {
    return &sessionToken;
  } else if constexpr (std::is_same_v<Result, bool>) {
    return true;
  } else if constexpr (!std::is_void_v<Result>) {
    return Result{};
  }
}

#ifndef Q9_STANDIN_READS_ARGUMENTS

template <typename... Arguments>
void Take(const Arguments&...) {}

#else

volatile uint32_t touched = 0;

void TouchBytes(const void* data, size_t bytes) {
  if (!data || bytes == 0) return;
  const auto* p = static_cast<const uint8_t*>(data);
#if Q9_STANDIN_ASAN
  // The address sanitizer checks the range in one call, not byte by byte: a mesh array may be
  // megabytes long. Its first bad byte is then read, so that the report is the one a renderer's
  // read would get.
  if (const void* bad = __asan_region_is_poisoned(const_cast<uint8_t*>(p), bytes)) {
    touched = touched + *static_cast<const volatile uint8_t*>(bad);
  }
#else
  uint32_t sum = 0;
  for (size_t i = 0; i < bytes; ++i) sum += p[i];
  touched = touched + sum;
#endif
}

void TouchText(const char16_t* text) {
  if (!text) return;
  size_t units = 0;
  while (text[units] != 0) ++units;
  TouchBytes(text, units * 2);
}

template <size_t I, typename Tuple>
void TouchAt(const Tuple& arguments) {
  using Argument = std::tuple_element_t<I, Tuple>;
  constexpr size_t kCount = std::tuple_size_v<Tuple>;
  const Argument value = std::get<I>(arguments);
  if constexpr (std::is_same_v<Argument, const char16_t*>) {
    TouchText(value);
  } else if constexpr (std::is_same_v<Argument, CameraTransform*>) {
    TouchBytes(value, sizeof(CameraTransform));
  } else if constexpr (std::is_same_v<Argument, const float*>) {
    if constexpr (I + 1 < kCount &&
                  std::is_same_v<std::tuple_element_t<I + 1, Tuple>, int64_t>) {
      const int64_t count = std::get<I + 1>(arguments);
      TouchBytes(value, count > 0 ? static_cast<size_t>(count) * sizeof(float) : 0);
    } else {
      TouchBytes(value, 16 * sizeof(float));  // a 4 x 4 matrix
    }
  } else if constexpr (std::is_same_v<Argument, const void*>) {
    // Mesh arrays: array 1 follows the triangle count; arrays 5 and 2 follow array 1.
    if constexpr (I >= 1 && std::is_same_v<std::tuple_element_t<I - 1, Tuple>, int32_t>) {
      const int32_t triangles = std::get<I - 1>(arguments);
      TouchBytes(value, triangles > 0 ? static_cast<size_t>(triangles) * 9 * 4 : 0);
    } else {
      TouchBytes(value, 4);
    }
  } else if constexpr (std::is_same_v<Argument, char16_t*>) {
    // The version buffer: the renderer writes its text there, within the count it was given.
    const int32_t count = std::get<I + 1>(arguments);
    static const char16_t kVersion[] = u"0.0 touch";
    const size_t units = count > 0 ? std::min<size_t>(static_cast<size_t>(count) - 1, 9) : 0;
    if (value && count > 0) {
      std::memcpy(value, kVersion, units * 2);
      value[units] = 0;
    }
  }
}

template <typename... Arguments>
void Take(Arguments... arguments) {
  const std::tuple<Arguments...> all(arguments...);
  [&]<size_t... I>(std::index_sequence<I...>) {
    (TouchAt<I>(all), ...);
  }(std::index_sequence_for<Arguments...>{});
}

#endif

}  // namespace

#define Q9_STANDIN_EXPORT(result, name, parameters, arguments)               \
  extern "C" __attribute__((visibility("default"))) result name parameters { \
    Take arguments;                                                          \
    return Answer<result>();                                                 \
  }
Q9_LINK_FUNCTIONS(Q9_STANDIN_EXPORT)
#undef Q9_STANDIN_EXPORT
