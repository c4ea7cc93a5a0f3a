#include "reference_link.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cstdlib>
#endif

#include "base/text.h"

namespace q9::test {

namespace {

constexpr const char* kVariables[] = {"Q9PLUGIN_JOURNAL", "Q9PLUGIN_START_RESULT",
                                      "Q9PLUGIN_NO_SESSION", "Q9PLUGIN_REFUSE_CONNECT",
                                      "Q9PLUGIN_ARCHIVE_DIR"};

}  // namespace

ReferenceLink::ReferenceLink() : journal_(folder_.File(u"journal.jsonl")) {
  for (const char* name : kVariables) SetVariable(name, std::nullopt);
  SetVariable("Q9PLUGIN_JOURNAL", journal_);
}

ReferenceLink::~ReferenceLink() {
  for (const char* name : kVariables) SetVariable(name, std::nullopt);
}

std::u16string ReferenceLink::LibraryPath() {
#ifdef _WIN32
  return u"Q9Plugin.dll";
#else
  return Utf16FromUtf8(Q9_REFERENCE_LINK_LIBRARY);
#endif
}

void ReferenceLink::SetVariable(const char* name, const std::optional<std::u16string>& value) {
#ifdef _WIN32
  // The library has a C runtime of its own and reads the Win32 block, which _wputenv would not
  // reach.
  const std::wstring wideName(name, name + std::char_traits<char>::length(name));
  if (value) {
    SetEnvironmentVariableW(wideName.c_str(), reinterpret_cast<const wchar_t*>(value->c_str()));
  } else {
    SetEnvironmentVariableW(wideName.c_str(), nullptr);
  }
#else
  if (value) {
    setenv(name, Utf8FromUtf16(*value).c_str(), 1);
  } else {
    unsetenv(name);
  }
#endif
}

bool ReferenceLink::Start(LinkSession& session) {
  session.libraryPath = LibraryPath();
  if (session.modelFilePath.empty()) session.modelFilePath = folder_.File(u"model.pln");
  const bool started = session.Initialise();
  ClearJournal();
  return started;
}

void ReferenceLink::ClearJournal() { WriteFileBytes(journal_, ""); }

}  // namespace q9::test
