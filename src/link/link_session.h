// The one session with the renderer through the link library.
#pragma once

#include <memory>
#include <string>

#include "link/q9plugin_api.h"

namespace q9 {

class LinkLibrary;  // the loaded library and its functions

class LinkSession {
 public:
  LinkSession();
  ~LinkSession();  // Teardown()
  LinkSession(const LinkSession&) = delete;
  LinkSession& operator=(const LinkSession&) = delete;

  Q9Session handle = nullptr;  // null while there is no session
  std::u16string modelFilePath;
  CameraTransform camera{};  // the camera last written for the renderer

  // Where Initialise loads the library from: "Q9Plugin.dll" through the normal DLL search on
  // Windows; a path that the caller sets on the native build. Set before Initialise.
  std::u16string libraryPath;

  // Loads the library, starts the link and creates the session; on failure (library or a
  // function missing, the link refused, no session) shows the renderer-missing message and
  // returns false. Writes the log line "Init Start".
  bool Initialise();
  // One connect - send - save - disconnect cycle; false only when there is no session.
  bool SendToRenderer();
  // Disconnects and destroys the session, if there is one.
  void Teardown();

  // The file name of modelFilePath without its extension.
  std::u16string ModelBaseName() const;
  // modelFilePath with the extension of its last component replaced by ".q9a".
  std::u16string RawArchivePath() const;

  // The library's functions. Before a successful Initialise every entry is a harmless stand-in
  // that does nothing, so a call never reaches a library that was not loaded.
  const LinkFunctions& link() const;

 private:
  std::unique_ptr<LinkLibrary> library_;
};

}  // namespace q9
