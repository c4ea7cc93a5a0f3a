// Starts a Windows program with an environment of the caller's choosing. Wine gives every
// process it starts an APPDATA of its own; a program started from here gets exactly the
// variables asked for, through an explicit environment block.
//
//   launch [--set NAME=VALUE]... [--unset NAME]... [--background] PROGRAM [ARGS...]
//
// Without --background it waits for the program and exits with its exit status; with it, it
// returns 0 as soon as the program has started. Exit status 120 when the program could not be
// started, 121 for wrong arguments.
#include <windows.h>

#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "base/unique_handle_win32.h"

namespace {

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// One argument as CreateProcessW's command line parser reads it back.
std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::wstring, std::wstring> variables;  // upper-case name -> "Name=value"
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
      const std::wstring text(entry);
      const size_t equals = text.find(L'=', 1);
      if (equals != std::wstring::npos) variables[Upper(text.substr(0, equals))] = text;
    }
    FreeEnvironmentStringsW(strings);
  }

  bool background = false;
  int index = 1;
  for (; index < argc; ++index) {
    const std::wstring option = argv[index];
    if (option == L"--background") {
      background = true;
    } else if (option == L"--set" && index + 1 < argc) {
      const std::wstring assignment = argv[++index];
      const size_t equals = assignment.find(L'=');
      if (equals == std::wstring::npos || equals == 0) return 121;
      variables[Upper(assignment.substr(0, equals))] = assignment;
    } else if (option == L"--unset" && index + 1 < argc) {
      variables.erase(Upper(argv[++index]));
    } else {
      break;
    }
  }
  if (index >= argc) return 121;

  std::wstring commandLine;
  for (int i = index; i < argc; ++i) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += Quote(argv[i]);
  }
  std::vector<wchar_t> block;
  for (const auto& [name, entry] : variables) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  block.push_back(L'\0');

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &info)) {
    return 120;
  }
  const q9::UniqueHandle process(info.hProcess);
  const q9::UniqueHandle thread(info.hThread);
  DWORD status = 0;
  if (!background) {
    WaitForSingleObject(process.get(), INFINITE);
    GetExitCodeProcess(process.get(), &status);
  }
  return static_cast<int>(status);
}
