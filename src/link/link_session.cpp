#include "link/link_session.h"

#include "base/platform.h"
#include "base/text.h"

#ifndef Q9_RENDERER_WEB_ADDRESS
#define Q9_RENDERER_WEB_ADDRESS "https://render.example.com/download"
#endif

namespace q9 {

namespace {

// A stand-in for every signature: does nothing and gives the zero of its result, which reads as
// "no session" and "not connected" where a result is examined.
template <typename Pointer>
struct StandIn;
template <typename Result, typename... Arguments>
struct StandIn<Result (*)(Arguments...)> {
  static Result Call(Arguments...) { return Result(); }
};

LinkCalls Timed(const LinkFunctions& functions) {
  LinkCalls calls;
#define Q9_LINK_TIME(result, name, parameters, arguments) calls.name.function = functions.name;
  Q9_LINK_FUNCTIONS(Q9_LINK_TIME)
#undef Q9_LINK_TIME
  return calls;
}

LinkCalls MakeStandIns() {
  LinkFunctions functions;
#define Q9_LINK_STAND_IN(result, name, parameters, arguments) \
  functions.name = &StandIn<decltype(functions.name)>::Call;
  Q9_LINK_FUNCTIONS(Q9_LINK_STAND_IN)
#undef Q9_LINK_STAND_IN
  return Timed(functions);
}

const LinkCalls& StandIns() {
  static const LinkCalls standIns = MakeStandIns();
  return standIns;
}

size_t LastSeparator(const std::u16string& path) { return path.find_last_of(u"\\/"); }

}  // namespace

std::string ResolveLinkFunctions(void* module, LinkFunctions& functions) {
  std::string missing;
  int missingCount = 0;
#define Q9_LINK_RESOLVE(result, name, parameters, arguments)                     \
  functions.name =                                                               \
      reinterpret_cast<decltype(functions.name)>(platform::ModuleSymbol(module, #name)); \
  if (functions.name == nullptr) {                                               \
    missing += (missingCount++ == 0 ? "" : ", ");                                \
    missing += #name;                                                            \
  }
  Q9_LINK_FUNCTIONS(Q9_LINK_RESOLVE)
#undef Q9_LINK_RESOLVE
  if (missingCount == 0) return {};
  return "lacks " + std::to_string(missingCount) + " of " + std::to_string(kLinkFunctionCount) +
         " functions: " + missing;
}

class LinkLibrary {
 public:
  // Null when the library cannot be loaded or lacks one of the functions: to this system both
  // mean that the renderer is not installed. `problem` then says which, for the log.
  static std::unique_ptr<LinkLibrary> Load(const std::u16string& path, std::string& problem) {
    if (path.empty()) {
      problem = "no link library path was given";
      return nullptr;
    }
    const std::string shownPath = "link library \"" + platform::DisplayPath(path) + "\"";
    std::string reason;
    platform::UniqueModule module = platform::LoadModule(path, &reason);
    if (!module) {
      problem = shownPath + " could not be loaded: " + reason;
      return nullptr;
    }
    std::unique_ptr<LinkLibrary> library(new LinkLibrary(std::move(module)));
    library->filePath = platform::ModuleFilePath(library->module_.get());
    LinkFunctions functions;
    const std::string lacks = ResolveLinkFunctions(library->module_.get(), functions);
    if (!lacks.empty()) {
      problem = shownPath + " " + lacks;
      return nullptr;
    }
    library->calls = Timed(functions);
    return library;
  }

  LinkCalls calls;
  // The file the operating system loaded; empty when it cannot tell.
  std::u16string filePath;

 private:
  explicit LinkLibrary(platform::UniqueModule module) : module_(std::move(module)) {}
  platform::UniqueModule module_;
};

LinkSession::LinkSession(ProcessState& process)
    : libraryPath(platform::DefaultLinkLibraryPath()), process_(process) {}

LinkSession::~LinkSession() { Teardown(); }

bool LinkSession::Initialise() {
  process_.log.WriteLine("Init Start");
  if (!library_) {
    std::string problem;
    library_ = LinkLibrary::Load(libraryPath, problem);
    if (!library_) {
      process_.log.WriteLine("Error: " + problem);
    } else {
      // A bare name goes through the system's search: which file it found is worth knowing.
      const std::u16string& loaded =
          library_->filePath.empty() ? libraryPath : library_->filePath;
      process_.log.WriteLine("Note: link library loaded from \"" + platform::DisplayPath(loaded) +
                             "\"");
    }
  }
  if (library_) {
    const LinkCalls& f = library_->calls;
    f.SetQ9RenderPath(u"");
    const std::u16string baseName = ModelBaseName();
    const int32_t started = f.StartLinkQ9Render(baseName.c_str());
    if (started != 0) {
      process_.log.WriteLine("Error: StartLinkQ9Render returned " + std::to_string(started) +
                             " (0 expected); no session was created");
    } else {
      handle = f.CreateSession();
      if (!handle) process_.log.WriteLine("Error: CreateSession returned no session");
    }
  }
  if (!handle) {
    if (process_.showErrorMessage) {
      process_.showErrorMessage(kRendererMissingCaption, RendererMissingText());
    }
    return false;
  }
  const LinkCalls& f = library_->calls;
  f.Q9SaveRawToQ9a(handle, RawArchivePath().c_str());
  // The library writes its version text into the buffer; nothing here reads it.
  char16_t version[32] = {};
  f.Q9GetRenderVersion(version, 32);
  f.Q9SetMaterialVersion(handle, 1);
  f.SetModelFilePath(handle, ModelBaseName().c_str());
  return true;
}

bool LinkSession::SendToRenderer() {
  if (!handle) return false;
  const LinkCalls& f = link();
  f.Connect(handle);
  if (f.HasConnected(handle)) {
    f.SendModel(handle);
  } else {
    process_.log.WriteLine(
        "Error: the renderer refused the connection (HasConnected false); the model was not sent");
  }
  // The archive is the record of what the session holds, so it is written also when the renderer
  // refused the connection.
  f.Q9SaveRawToQ9a(handle, RawArchivePath().c_str());
  f.DisConnect(handle);
  return true;
}

void LinkSession::Teardown() {
  if (!handle) return;
  const LinkCalls& f = link();
  f.DisConnect(handle);
  f.DestroySession(handle);
  handle = nullptr;
}

std::u16string LinkSession::ModelBaseName() const {
  const size_t separator = LastSeparator(modelFilePath);
  std::u16string name =
      separator == std::u16string::npos ? modelFilePath : modelFilePath.substr(separator + 1);
  const size_t dot = name.rfind(u'.');
  if (dot != std::u16string::npos) name.resize(dot);
  return name;
}

std::u16string LinkSession::RawArchivePath() const {
  // Only a full stop in the last component starts an extension: one in a folder name would send
  // the archive of every model in that folder to one file beside the folder.
  const size_t separator = LastSeparator(modelFilePath);
  const size_t nameStart = separator == std::u16string::npos ? 0 : separator + 1;
  const size_t dot = modelFilePath.rfind(u'.');
  std::u16string path = modelFilePath;
  if (dot != std::u16string::npos && dot >= nameStart) path.resize(dot);
  return path + u".q9a";
}

const LinkCalls& LinkSession::link() const {
  return library_ ? library_->calls : StandIns();
}

std::u16string LinkSession::RendererMissingText() {
  return u"Missing the Q9 render. Install it and start the command.\n\n" +
         Utf16FromUtf8(Q9_RENDERER_WEB_ADDRESS);
}

}  // namespace q9
