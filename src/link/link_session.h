// The one session with the renderer through the link library.
#pragma once

#include <memory>
#include <string>

#include "base/process_state.h"
#include "base/request_tally.h"
#include "link/q9plugin_api.h"

namespace q9 {

// A link function called through the session: the call's time is added to the thread's link
// library sum (request_tally.h), the one place where that time is measured.
template <typename Signature>
struct TimedLinkCall;
template <typename Result, typename... Arguments>
struct TimedLinkCall<Result(Arguments...)> {
  Result (*function)(Arguments...) = nullptr;
  Result operator()(Arguments... arguments) const {
    ScopedLinkTime timed;
    return function(arguments...);
  }
};

// Every link function, called as LinkFunctions' pointers are and timed.
struct LinkCalls {
#define Q9_LINK_TIMED(result, name, parameters, arguments) TimedLinkCall<result parameters> name;
  Q9_LINK_FUNCTIONS(Q9_LINK_TIMED)
#undef Q9_LINK_TIMED
};

class LinkLibrary;  // the loaded library and its functions

// Resolves every link function from the loaded library `module` into `functions` (a function it
// lacks stays null). Returns what it lacks as "lacks 2 of 31 functions: Q9SendCamera, SendScenes"
// (in the table's order), or an empty text when it exports them all.
std::string ResolveLinkFunctions(void* module, LinkFunctions& functions);

class LinkSession {
 public:
  // Logs and reports a missing renderer through `process`, which outlives the session.
  explicit LinkSession(ProcessState& process);
  ~LinkSession();  // Teardown()
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  Q9Session handle = nullptr;  // null while there is no session
  std::u16string modelFilePath;
  CameraTransform camera{};  // the camera last written for the renderer

  // Where Initialise loads the library from: "Q9Plugin.dll" through the DLL search on Windows
  // (beside the program first; see platform::KeepWorkingFolderOutOfLibrarySearch); a path that
  // the caller sets on the native build. Set before Initialise.
  std::u16string libraryPath;

  // Writes the log line "Init Start", loads the library (on the first call only; a process that
  // never calls this never loads it) and names the file loaded in a "Note: " line, starts the
  // link, creates the session and announces the model to it (the calls in their order:
  // tests/link/link_session_test.cpp, InitialiseStartsTheLinkInOrderAndLogs). A library or
  // function that is missing, a non-zero start result or a null handle mean the renderer is
  // missing: the user gets the renderer-missing message (the process's
  // showErrorMessage) and the result is false; the log gets an "Error: " line that tells which
  // of them it was (the path tried with the system's reason, the missing functions by name, the
  // start result, or the null session). True when a session exists afterwards.
  bool Initialise();
  // One transfer: Connect, HasConnected, SendModel only when connected, Q9SaveRawToQ9a (also
  // when the connection was refused, which the log tells in an "Error: " line), DisConnect.
  // False only when there is no session.
  bool SendToRenderer();
  // Disconnects and destroys the session, if there is one; the library stays loaded until the
  // object is destroyed.
  void Teardown();

  // The last component of modelFilePath (after its last "\" or "/") cut before its last full
  // stop: "C:\p\house.pln" gives "house"; an empty path gives "".
  std::u16string ModelBaseName() const;
  // modelFilePath with the extension of its last component replaced by ".q9a"; a full stop in a
  // folder name does not count: "C:\My.Houses\villa" gives "C:\My.Houses\villa.q9a", an empty
  // path gives ".q9a".
  std::u16string RawArchivePath() const;

  // The message shown when the renderer is missing: this caption, and a text that ends with the
  // renderer's web address (the build setting Q9_RENDERER_WEB_ADDRESS).
  static constexpr char16_t kRendererMissingCaption[] = u"Error: missing Q9 Render application!";
  static std::u16string RendererMissingText();

  // The library's functions, timed. Before a successful Initialise every entry is a harmless
  // stand-in that does nothing, so a call never reaches a library that was not loaded.
  const LinkCalls& link() const;

 private:
  std::unique_ptr<LinkLibrary> library_;
  ProcessState& process_;
};

}  // namespace q9
