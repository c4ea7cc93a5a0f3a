// Exports the start functions of the link library and nothing else.
#include <cstdint>

#ifdef _WIN32
#define PARTIAL_EXPORT __declspec(dllexport)
#else
#define PARTIAL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {
PARTIAL_EXPORT void SetQ9RenderPath(const char16_t*) {}
PARTIAL_EXPORT int32_t StartLinkQ9Render(const char16_t*) { return 0; }
PARTIAL_EXPORT void* CreateSession() { return reinterpret_cast<void*>(1); }
}
