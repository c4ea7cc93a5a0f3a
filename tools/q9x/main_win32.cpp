// q9x on Windows: arguments arrive as UTF-16 and are handed on as UTF-8.
#include <iostream>

#include "base/platform.h"
#include "base/text.h"
#include "q9x/q9x.h"

int wmain(int argc, wchar_t** argv) {
  // The link library is looked for as Q9_Exchange.exe looks for it: never in the working folder.
  q9::platform::KeepWorkingFolderOutOfLibrarySearch();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(q9::Utf8FromUtf16(reinterpret_cast<const char16_t*>(argv[i])));
  }
  const int status = q9x::Main(args, std::cout, std::cerr);
  std::cout.flush();
  return status;
}
