// Prints the exchange folder that a fresh process finds; with the argument "log" it also writes
// the log line "probe" there.
#include <cstdio>
#include <cwchar>

#include "base/process_state.h"
#include "base/text.h"

int wmain(int argc, wchar_t** argv) {
  q9::ProcessState process;
  const std::u16string folder = process.folder();
  std::printf("FOLDER:%s\n", q9::Utf8FromUtf16(folder).c_str());
  if (argc > 1 && std::wcscmp(argv[1], L"log") == 0) process.log.WriteLine("probe");
  return 0;
}
