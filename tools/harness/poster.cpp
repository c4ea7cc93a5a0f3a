// A long session for the working instance: posts a number of requests to the window of class
// "Q9_Exchange", every kind in turn, and reads the instance's memory from outside after a given
// request and after the last.
//
//   poster COUNT SAMPLE_AT HOST_RECORD [FORWARD_PROGRAM]
//
// Request n (from 1) is 1027, 1028, 1029, 1025, 1026 for n mod 5 = 1, 2, 3, 4, 0, so that every
// fifth request, the SAMPLE_AT-th and the last among them when they are multiples of 5, is a
// model sync (1026). Its notification of the host (a line "1137 0 10" in HOST_RECORD, the
// record the stand-in host keeps) tells that it and everything posted before it was handled:
// requests are handled in the order they were posted. With FORWARD_PROGRAM, one request of each
// command word (at about every fifth part of the run) is made by starting that program with the
// word, as the host does, instead of posting it.
//
// Prints one line per forwarded start ("forwarded cameraSync as request 401") and per
// measurement and the growth between them:
//   after 200 requests: working set 28311552 bytes, pagefile usage 21004288 bytes, handles 0
//   after 2000 requests: ...
//   growth: working set +12288 bytes, pagefile usage +0 bytes, handles not measured (reported as 0)
// Exit status 0 when every request was handled, 1 when a window was missing or the instance fell
// behind for 60 s, 2 for wrong arguments.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/unique_handle_win32.h"

namespace {

constexpr UINT kCycle[5] = {1026, 1027, 1028, 1029, 1025};  // by n mod 5
constexpr DWORD kFallBehindMs = 60000;
// Requests posted ahead of the last one known handled: the queue stays short and the
// instance's own queue memory out of the figures.
constexpr int kMostAhead = 100;

struct Sample {
  SIZE_T workingSet = 0;
  SIZE_T pagefileUsage = 0;
  DWORD handles = 0;
};

// Lines "1137 0 10" in the host's record so far.
int HostNotifications(const std::wstring& record) {
  int count = 0;
  if (FILE* file = _wfopen(record.c_str(), L"rb")) {
    char line[128];
    while (std::fgets(line, sizeof line, file)) {
      if (std::string(line).rfind("1137 0 10", 0) == 0) ++count;
    }
    std::fclose(file);
  }
  return count;
}

const wchar_t* CommandWord(UINT message) {
  switch (message) {
    case 1025: return L"cameraSync";
    case 1026: return L"ModelSync";
    case 1028: return L"lightSync";
    case 1029: return L"viewsSync";
    default: return nullptr;  // 1027 has no word: the host posts it
  }
}

// Starts `program word` as the host does and waits for the forwarding instance to end.
bool Forward(const std::wstring& program, const wchar_t* word) {
  std::wstring commandLine = L"\"" + program + L"\" " + word;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  const q9::UniqueHandle process(info.hProcess);
  const q9::UniqueHandle thread(info.hThread);
  return WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0;
}

bool Measure(HANDLE process, Sample& sample) {
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                            sizeof counters)) {
    return false;
  }
  sample.workingSet = counters.WorkingSetSize;
  sample.pagefileUsage = counters.PagefileUsage;
  if (!GetProcessHandleCount(process, &sample.handles)) sample.handles = 0;
  return true;
}

void Print(int requests, const Sample& sample) {
  std::printf("after %d requests: working set %llu bytes, pagefile usage %llu bytes, handles %lu\n",
              requests, static_cast<unsigned long long>(sample.workingSet),
              static_cast<unsigned long long>(sample.pagefileUsage),
              static_cast<unsigned long>(sample.handles));
}

long long Growth(SIZE_T before, SIZE_T after) {
  return static_cast<long long>(after) - static_cast<long long>(before);
}

void PrintGrowth(const Sample& first, const Sample& last) {
  std::printf("growth: working set %+lld bytes, pagefile usage %+lld bytes, ",
              Growth(first.workingSet, last.workingSet),
              Growth(first.pagefileUsage, last.pagefileUsage));
  if (first.handles == 0 && last.handles == 0) {
    std::printf("handles not measured (reported as 0)\n");
  } else {
    std::printf("handles %+ld\n", static_cast<long>(last.handles) - static_cast<long>(first.handles));
  }
  std::fflush(stdout);
}

struct Arguments {
  int count = 0;
  int sampleAt = 0;
  std::wstring hostRecord;
  std::wstring forwardProgram;  // empty: every request is posted
};

// False unless COUNT and SAMPLE_AT are multiples of 5 from 5 on, SAMPLE_AT below COUNT.
bool ReadArguments(int argc, wchar_t** argv, Arguments& arguments) {
  if (argc < 4) return false;
  arguments.count = static_cast<int>(std::wcstol(argv[1], nullptr, 10));
  arguments.sampleAt = static_cast<int>(std::wcstol(argv[2], nullptr, 10));
  arguments.hostRecord = argv[3];
  arguments.forwardProgram = argc > 4 ? argv[4] : L"";
  const int count = arguments.count;
  const int sampleAt = arguments.sampleAt;
  return count >= 5 && count % 5 == 0 && sampleAt >= 5 && sampleAt % 5 == 0 && sampleAt < count;
}

// Waits until `syncs` model syncs posted by this run have notified the host, and with them
// everything posted before them; false when the instance fell behind for kFallBehindMs.
bool CaughtUp(const std::wstring& hostRecord, int notifiedBefore, int syncs) {
  const ULONGLONG deadline = GetTickCount64() + kFallBehindMs;
  while (HostNotifications(hostRecord) - notifiedBefore < syncs) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(5);
  }
  return true;
}

// Makes request `n`: posts it, or, with a forward program, starts that program with the word of
// one request of each command word instead (the first of its kind after each fifth part of the
// run). False when it could not be made.
bool MakeRequest(HWND window, const Arguments& arguments, int n, int& forwards) {
  static constexpr UINT kForwarded[4] = {1025, 1029, 1028, 1026};
  const UINT message = kCycle[n % 5];
  if (!arguments.forwardProgram.empty() && forwards < 4 && message == kForwarded[forwards] &&
      n > (forwards + 1) * (arguments.count / 5)) {
    ++forwards;
    if (!Forward(arguments.forwardProgram, CommandWord(message))) return false;
    std::printf("forwarded %ls as request %d\n", CommandWord(message), n);
    return true;
  }
  return PostMessageW(window, message, 0, 0) != 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Arguments arguments;
  if (!ReadArguments(argc, argv, arguments)) return 2;
  HWND window = FindWindowW(L"Q9_Exchange", nullptr);
  if (!window) return 1;
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  const q9::UniqueHandle process(
      OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
  if (!process) return 1;

  const std::wstring& record = arguments.hostRecord;
  const int notifiedBefore = HostNotifications(record);
  int forwards = 0;
  int syncsPosted = 0;  // 1026 requests so far
  Sample first;
  Sample last;
  for (int n = 1; n <= arguments.count; ++n) {
    if (!MakeRequest(window, arguments, n, forwards)) return 1;
    if (kCycle[n % 5] != 1026) continue;
    ++syncsPosted;
    if (n == arguments.sampleAt || n == arguments.count) {
      Sample& sample = n == arguments.count ? last : first;
      if (!CaughtUp(record, notifiedBefore, syncsPosted)) return 1;
      if (!Measure(process.get(), sample)) return 1;
      Print(n, sample);
    } else if (syncsPosted * 5 > kMostAhead &&
               !CaughtUp(record, notifiedBefore, syncsPosted - kMostAhead / 5)) {
      return 1;
    }
  }
  PrintGrowth(first, last);
  return 0;
}
