// The platform seam: everything that differs between the Windows build and the native build
// of the portable core. Paths are UTF-16 texts with the backslashes the system builds; only the
// native implementation maps "\" to "/" when it hands a path to the file system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace q9::platform {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept {
    if (file) std::fclose(file);
  }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Why a file could not be opened, read, written or closed, in the operating system's own
// words, taken right where the call failed. Windows: the system's error code (the one the C
// runtime keeps in _doserrno, or GetLastError) and its text with the code, "The process cannot
// access the file because it is being used by another process. (error 32)". Native: errno and
// the runtime's text, "Permission denied".
struct FileError {
  uint32_t code = 0;
  std::string text;
  // Another process holds the file, or a range of it, without sharing it with this one (Windows:
  // a sharing or lock violation). It may well succeed a moment later, unlike a missing right.
  // Never set on the native build.
  bool sharingViolation = false;
};

// The operating system's reason for its error code: on Windows a system error code with its
// text and number, "Access is denied. (error 5)" ("unknown error (error N)" when the system has
// no text); natively an errno value with the runtime's text, "Permission denied".
FileError SystemError(uint32_t code);

// Opens a file with a C runtime binary mode ("rb", "rb+", "wb+", ...). Other processes may hold
// the file open for reading and writing at the same time (full sharing on Windows).
// Returns null when the file cannot be opened; `error` (if given) then receives the reason.
UniqueFile OpenFile(const std::u16string& path, const char* mode, FileError* error = nullptr);

// Reads up to `size` bytes into `buffer` and returns how many were read. Fewer at the end of the
// file; when the read failed, `error` (if given) receives the reason.
size_t ReadFromFile(std::FILE* file, void* buffer, size_t size, FileError* error = nullptr);

// Writes all of `bytes` (the runtime may keep them in its buffer until the file is finished).
// False, with the reason in `error`, when it cannot.
bool WriteToFile(std::FILE* file, std::string_view bytes, FileError* error = nullptr);

// Flushes and closes the file. False when the flush or the close failed, or a write failed
// earlier; `error` (if given) then receives the reason of the first failure the runtime still
// knows (a generic input/output error when it knows none).
bool FinishFile(UniqueFile file, FileError* error = nullptr);

// A file opened in text mode: every "\n" written is stored as CR LF on both builds.
class TextFile {
 public:
  enum class Mode { Append, Replace };
  // Opens for appending (created when missing) or replaces the file's content. When it cannot,
  // `error` (if given) receives the reason.
  static std::optional<TextFile> Open(const std::u16string& path, Mode mode,
                                      FileError* error = nullptr);
  // Writes the bytes as they stand, line feeds stored as CR LF.
  void Write(std::string_view bytes);
  // Flushes and closes the file. False, with the reason of the first failed write, flush or
  // close in `error`, when any of them failed.
  bool Finish(FileError* error = nullptr);

 private:
  explicit TextFile(UniqueFile file) : file_(std::move(file)) {}
  UniqueFile file_;
  std::optional<FileError> writeError_;  // the first write that failed
};

// Moves an open file to the absolute byte offset `offset` (64-bit, so files beyond 2 GiB work on
// both builds). False, with the reason in `error`, when the runtime refuses, e.g. for a negative
// offset.
bool SeekFile(std::FILE* file, int64_t offset, FileError* error = nullptr);
// The length of an open file in bytes, measured by seeking to its end; the position is left at
// the end. -1 when it cannot be measured.
int64_t FileLength(std::FILE* file);

// True when the file exists and may be opened for both reading and writing.
bool CanReadAndWrite(const std::u16string& path);

// True when a file or folder exists at the path.
bool PathExists(const std::u16string& path);

// What a folder is good for. NotWritable: a probe file could not be created in it (it is removed
// again at once).
enum class FolderState { Usable, Missing, NotAFolder, NotWritable };
FolderState CheckFolder(const std::u16string& path);

// Removes the file at the path, or the folder if it is one and empty. True on success.
bool RemovePath(const std::u16string& path);

// Appends `bytes` to the file in one write that the operating system places at the end of the
// file, whatever other processes append at the same time (Windows: a handle opened for
// FILE_APPEND_DATA only, one WriteFile; natively O_APPEND, one write). The file is created when
// missing; the bytes are stored as they stand (no line-end conversion). False, with the
// operating system's reason in `error`, when the file cannot be opened or the write fails; a
// full disk may take the first bytes and refuse the rest. `appended` (if given) receives how many
// of the bytes reached the file.
bool AppendToFile(const std::u16string& path, std::string_view bytes, FileError* error = nullptr,
                  size_t* appended = nullptr);

// Renames a file in one step. With `replace` an existing file at `to` is replaced (atomically
// natively); without, the rename fails when anything exists at `to`. True on success.
bool RenameFile(const std::u16string& from, const std::u16string& to, bool replace);

// Creates an empty file only where nothing exists yet, in one step (a lock between processes).
// False when something exists at the path or it cannot be created.
bool CreateFileExclusive(const std::u16string& path);

// Makes the folder and every missing folder above it. True when a folder is there afterwards;
// otherwise false with the operating system's reason in `error`.
bool CreateFolders(const std::u16string& path, FileError* error = nullptr);

// One entry of a folder: a file with its size, or a folder.
struct FolderEntry {
  std::u16string name;
  bool isFolder = false;
  int64_t size = 0;  // a file's bytes; 0 for a folder
};
// The entries of the folder (neither "." nor ".."), in no particular order; empty when it cannot
// be read. A link counts as what it points at.
std::vector<FolderEntry> ListFolder(const std::u16string& path);

// Removes the folder with everything in it (or the file). True when nothing is left at the path.
bool RemoveTree(const std::u16string& path);

// Gives the existing file `existing` a second name `link` (a hard link: the bytes stay on the disk
// once, and removing either name leaves the other whole). False, with the reason in `error`, when
// the file system cannot, or something exists at `link`.
bool LinkFile(const std::u16string& existing, const std::u16string& link,
              FileError* error = nullptr);

// Seconds since the file was last written; -1 when it cannot be read.
int64_t FileAgeSeconds(const std::u16string& path);

// The size of the file at the path in bytes, -1 when it cannot be opened.
int64_t FileSize(const std::u16string& path);

// Reads an environment variable as the runtime's secure read does into a buffer of
// `bufferChars` wide characters. Empty when the variable is unset, the read fails, or the value
// with its terminating zero does not fit the buffer.
std::optional<std::u16string> ReadEnvironment(const std::u16string& name, size_t bufferChars);

// The variable as the environment of the process holds it at this moment, of any length: the
// Win32 environment block on Windows, which every C runtime in the process shares (a change made
// with SetEnvironmentVariableW is seen at once, one made through a runtime's _wputenv is not);
// the C environment natively. Empty when the variable is unset.
std::optional<std::u16string> ReadProcessEnvironment(const std::u16string& name);

// The number the operating system gives this process.
uint32_t CurrentProcessId();

// Reads the value `valueName` of the key HKEY_CURRENT_USER\`subKey`, opened for reading, into a
// buffer of `bufferBytes` bytes; the value's registry type is not examined. The text ends at
// its first zero unit or at the end of the bytes returned. Empty when the key cannot be opened
// or the query fails (a value larger than the buffer included). The native build has no
// registry: always empty.
std::optional<std::u16string> ReadUserRegistryText(const std::u16string& subKey,
                                                   const std::u16string& valueName,
                                                   uint32_t bufferBytes);

// A shared library loaded at run time: LoadLibraryW on Windows (a bare file name goes through
// the DLL search, the executable's folder first; see KeepWorkingFolderOutOfLibrarySearch),
// dlopen on the native build.
struct ModuleCloser {
  void operator()(void* module) const noexcept;
};
using UniqueModule = std::unique_ptr<void, ModuleCloser>;
// Null when the library cannot be loaded; `error` (if given) then receives the operating
// system's reason (dlerror natively; the SystemError text of GetLastError on Windows).
UniqueModule LoadModule(const std::u16string& path, std::string* error = nullptr);
// The exported function `name`, or null.
void* ModuleSymbol(void* module, const char* name);
// The full path of the file a loaded library came from, as the operating system names it
// (GetModuleFileNameW on Windows, the dynamic linker's name natively); empty when it cannot
// tell.
std::u16string ModuleFilePath(void* module);

// Takes the working folder out of the search for libraries loaded by a bare file name, for the
// rest of the process: a library that a host's project folder or a network share holds is then
// never loaded in place of the one beside the program. Windows: SetDllDirectoryW with the
// program's own folder, which keeps that folder, the system folders and PATH in the search
// (an empty text would not remove the working folder under Wine; SetDefaultDllDirectories would
// drop PATH). Native: nothing to do, a bare name never searches the working folder. False, with
// the operating system's reason in `error`, when the search could not be changed.
bool KeepWorkingFolderOutOfLibrarySearch(std::string* error = nullptr);

// Where the link library is loaded from unless the caller says otherwise: "Q9Plugin.dll" through
// the DLL search on Windows (the program's folder first, never the working folder once
// KeepWorkingFolderOutOfLibrarySearch has run); empty on the native build, where the caller
// gives the path.
std::u16string DefaultLinkLibraryPath();

// Tells the user about a failure that stops the program: a modal message box with no owner
// window and an OK button on Windows; caption and text on standard error on the native build.
void ShowErrorMessage(const std::u16string& caption, const std::u16string& text);

// The SHA-256 of bytes given in pieces: Windows' own cryptography (BCrypt) on Windows, the
// system's crypto library natively.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Add(const void* bytes, size_t size);
  // The digest of everything added, as 64 lower-case hex digits; the hasher is used up.
  std::string HexDigest();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The native spelling of a path: UTF-8 with "\" mapped to "/" on the native build; the path
// as UTF-8 unchanged on Windows. For messages and tools, not for opening files.
std::string DisplayPath(const std::u16string& path);

}  // namespace q9::platform
