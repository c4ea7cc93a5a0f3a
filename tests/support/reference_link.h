// The reference link library in a test: a fresh journal for each test, the behaviour switches,
// and where the library is loaded from.
//
// The library reads Q9PLUGIN_JOURNAL and its switches at every call, so one process can move
// the journal from test to test. Session numbers start at 1 with each load of the library; a
// LinkSession loads it in Initialise and unloads it when it is destroyed, so a test that makes
// its own LinkSession sees its first session as "h":1.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "journal.h"
#include "link/link_session.h"
#include "test_files.h"

namespace q9::test {

class ReferenceLink {
 public:
  // Sets Q9PLUGIN_JOURNAL to a new file in a private folder and removes every switch.
  ReferenceLink();
  // Removes Q9PLUGIN_JOURNAL and the switches again.
  ~ReferenceLink();
  ReferenceLink(const ReferenceLink&) = delete;
  ReferenceLink& operator=(const ReferenceLink&) = delete;

  // The library for LinkSession::libraryPath: "Q9Plugin.dll" (beside the test program) on
  // Windows, the built libQ9Plugin.so on the native build.
  static std::u16string LibraryPath();

  // Sets a variable of the process (nullopt: removes it) where the library reads it: the Win32
  // environment block on Windows, the C environment natively. E.g. SetVariable(
  // "Q9PLUGIN_REFUSE_CONNECT", u"1").
  static void SetVariable(const char* name, const std::optional<std::u16string>& value);

  // Points `session` at the library, gives it a model file in this object's folder unless it
  // has one, runs Initialise and empties the journal, so that what follows starts from a clean
  // journal. The result of Initialise.
  bool Start(LinkSession& session);

  const std::u16string& journalPath() const { return journal_; }
  // A private folder for the test's own files (models, archives), removed at the end.
  const TempFolder& folder() const { return folder_; }

  std::vector<JournalCall> Calls() const { return ReadJournal(journal_); }
  std::vector<std::string> Texts() const { return CallTexts(Calls()); }
  std::vector<std::string> Names() const { return CallNames(Calls()); }
  void ClearJournal();

 private:
  TempFolder folder_;
  std::u16string journal_;
};

}  // namespace q9::test
