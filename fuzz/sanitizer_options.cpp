// The address sanitizer's settings for every fuzz target; a variable ASAN_OPTIONS still
// overrides them. Freed memory waits in a quarantine before it is used again, so that a use after
// free is caught: 64 MiB of it instead of the default 256 MiB. That still holds everything one
// input frees (a section or container input is read within 32 times a file of a few hundred
// kilobytes, the other targets' inputs are at most 16 KiB), while a run no longer grows by the
// full default quarantine, mostly of large mesh arrays and texts, before it levels off.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=64"; }
