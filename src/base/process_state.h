// What one process of the system shares between its parts: the request of its command word, the
// colour mode, the exchange folder lookup, the log and the way a stopping failure reaches the
// user. The entry point (the Win32 shell, `q9x run`, a test) creates one and hands it down;
// nothing below keeps a copy of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/exchange_folder.h"
#include "base/file_in_use.h"
#include "base/log.h"
#include "base/recording.h"

namespace q9 {

// The request named by the first command-line word.
enum class SyncRequest : int32_t {
  None = 0,
  CameraSync = 1,
  ModelSync = 2,
  LightSync = 3,
  ViewsSync = 4,
};

class ProcessState {
 public:
  // How a failure that stops the program reaches the user: a caption and a text.
  using ErrorMessage = std::function<void(const std::u16string& caption, const std::u16string& text)>;

  // The platform's exchange folder lookup (environment, then registry) and message box.
  ProcessState();
  // A folder lookup of the caller's (tests, tools).
  explicit ProcessState(ExchangeFolder folder);
  ProcessState(const ProcessState&) = delete;
  ProcessState& operator=(const ProcessState&) = delete;

  // The request of this process; set once from the command line.
  SyncRequest requestCode = SyncRequest::None;
  // Set by the command word "colorMode" for the life of the process: material translation then
  // uses colours and values instead of texture map files.
  bool colorMode = false;

  ExchangeFolder exchangeFolder;
  // Lines go to "Q9_Log.log" in the exchange folder as it is found when each line is written.
  LogWriter log;
  // The platform's message box on Windows, standard error natively; a console tool or a test
  // puts its own here.
  ErrorMessage showErrorMessage;
  // How long a request waits for files that another process holds without sharing them: 1 s,
  // or what the variable Q9_FILE_IN_USE_WAIT_MS said when this object was made (tests). The
  // drivers renew it at the start of each request.
  FileInUseWait fileInUseWait = FileInUseWait::FromEnvironment();
  // Keeps each request's files while the exchange folder holds the recording switch; the drivers
  // begin and end its steps (sync/request_report.h).
  Recording recording{log};

  // Shorthand for exchangeFolder.Get(): the folder, possibly empty.
  std::u16string folder() { return exchangeFolder.Get(); }
};

}  // namespace q9
