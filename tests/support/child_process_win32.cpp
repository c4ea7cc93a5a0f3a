#include "child_process_win32.h"

#include <windows.h>

#include <cwctype>
#include <vector>

namespace q9::test {

namespace {

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// The current environment with the changes applied, as a double-zero-terminated block.
std::vector<wchar_t> EnvironmentBlock(const EnvironmentChanges& changes) {
  std::map<std::wstring, std::wstring> variables;  // upper-case name -> "Name=value"
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
      const std::wstring text(entry);
      const size_t equals = text.find(L'=', 1);  // names such as "=C:" begin with '='
      if (equals == std::wstring::npos) continue;
      variables[Upper(text.substr(0, equals))] = text;
    }
    FreeEnvironmentStringsW(strings);
  }
  for (const auto& [name, value] : changes) {
    if (value) {
      variables[Upper(name)] = name + L"=" + *value;
    } else {
      variables.erase(Upper(name));
    }
  }
  std::vector<wchar_t> block;
  for (const auto& [upper, entry] : variables) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  if (block.size() == 1) block.push_back(L'\0');
  return block;
}

}  // namespace

ChildResult RunChild(const std::wstring& commandLine, const EnvironmentChanges& changes,
                     unsigned long timeoutMs, const std::wstring& workingFolder) {
  ChildResult result;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  UniqueHandle readEnd;
  UniqueHandle writeEnd;
  if (!CreatePipe(readEnd.put(), writeEnd.put(), &inheritable, 0)) return result;
  SetHandleInformation(readEnd.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd.get();
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);

  std::vector<wchar_t> environment = EnvironmentBlock(changes);
  std::wstring mutableCommandLine = commandLine;
  PROCESS_INFORMATION info{};
  const BOOL created =
      CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, TRUE,
                     CREATE_UNICODE_ENVIRONMENT, environment.data(),
                     workingFolder.empty() ? nullptr : workingFolder.c_str(), &startup, &info);
  // The child holds its own copy of the write end; the read below ends when the child's closes.
  writeEnd.reset();
  if (!created) return result;
  const UniqueHandle process(info.hProcess);
  const UniqueHandle thread(info.hThread);
  result.started = true;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    result.output.append(buffer, got);
  }
  if (WaitForSingleObject(process.get(), timeoutMs) != WAIT_OBJECT_0) {
    TerminateProcess(process.get(), 99);
    WaitForSingleObject(process.get(), INFINITE);
  }
  GetExitCodeProcess(process.get(), &result.exitCode);
  return result;
}

ChildProcess::ChildProcess(const std::wstring& commandLine, const EnvironmentChanges& changes,
                           Start start, const std::wstring& workingFolder) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::vector<wchar_t> environment = EnvironmentBlock(changes);
  std::wstring mutableCommandLine = commandLine;
  PROCESS_INFORMATION info{};
  const DWORD flags =
      CREATE_UNICODE_ENVIRONMENT | (start == Start::Suspended ? CREATE_SUSPENDED : 0);
  if (CreateProcessW(nullptr, mutableCommandLine.data(), nullptr, nullptr, FALSE, flags,
                     environment.data(), workingFolder.empty() ? nullptr : workingFolder.c_str(),
                     &startup, &info)) {
    process_.reset(info.hProcess);
    UniqueHandle thread(info.hThread);
    if (start == Start::Suspended) thread_ = std::move(thread);
  }
}

ChildProcess::~ChildProcess() {
  if (process_ && Running()) {
    TerminateProcess(process_.get(), 98);
    WaitForSingleObject(process_.get(), 10000);
  }
}

void ChildProcess::Resume() {
  if (thread_) ResumeThread(thread_.get());
  thread_.reset();
}

bool ChildProcess::Wait(unsigned long timeoutMs, unsigned long* exitCode) {
  if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  if (exitCode) *exitCode = code;
  return true;
}

bool ChildProcess::Running() {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH * 4];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
  std::wstring folder(path, length);
  const size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

}  // namespace q9::test
