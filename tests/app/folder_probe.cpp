// Prints the exchange folder that a fresh process finds; with the argument "log" it also writes
// the log line "probe" there.
#include <cstdio>
#include <cwchar>

#include "app/exchange_folder.h"
#include "app/log.h"
#include "app/text.h"

int wmain(int argc, wchar_t** argv) {
  const std::u16string folder = q9::GetExchangeFolder();
  std::printf("FOLDER:%s\n", q9::Utf8FromUtf16(folder).c_str());
  if (argc > 1 && std::wcscmp(argv[1], L"log") == 0) q9::WriteLogLine("probe");
  return 0;
}
