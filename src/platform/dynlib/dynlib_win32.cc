// Component libraries on Windows: LoadLibraryExW, GetProcAddress, FreeLibrary.
#include "platform/dynlib/dynlib.h"
#include "platform/text/wide.h"

namespace mlx::dynlib {

namespace {

std::string SystemMessage(DWORD error) {
  std::string message = text::SystemErrorText(error);
  return message.empty() ? "non è una libreria (errore " + std::to_string(error) + ")" : message;
}

class Win32Loader : public Loader {
 public:
  Status CallEntryPoint(const std::string& library, const std::string& entry,
                        std::int32_t* result) override {
    // A name without a folder is a file of the current folder, never one found through the
    // system's library search.
    const bool bare = library.find_first_of("\\/:") == std::string::npos;
    std::wstring path;
    if (!text::ToWide(bare ? ".\\" + library : library, &path)) {
      return Status::Error(err::kPathFileAccess,
                           "Errore di accesso al percorso/file: " + library + " (nome non valido)");
    }
    // The loader would take a library of that name already in the process, or one of the
    // system's, for a file that is not there.
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return Status::Error(
          err::kPathFileAccess,
          "Errore di accesso al percorso/file: " + library + " (" +
              SystemMessage(attributes == INVALID_FILE_ATTRIBUTES ? GetLastError()
                                                                  : ERROR_BAD_EXE_FORMAT) +
              ")");
    }
    // The libraries it needs are looked for beside it first; a failure is told here, never
    // in a system dialog.
    DWORD previous = 0;
    SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previous);
    HMODULE handle = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    const DWORD error = GetLastError();
    SetThreadErrorMode(previous, nullptr);
    if (handle == nullptr) {
      return Status::Error(err::kPathFileAccess, "Errore di accesso al percorso/file: " + library +
                                                     " (" + SystemMessage(error) + ")");
    }
    FARPROC symbol = GetProcAddress(handle, entry.c_str());
    if (symbol == nullptr) {
      FreeLibrary(handle);
      return Status::Error(err::kInvalidCall,
                           "Punto di ingresso " + entry + " assente in " + library);
    }
    using EntryPoint = std::int32_t(WINAPI*)();
    *result = reinterpret_cast<EntryPoint>(reinterpret_cast<void*>(symbol))();
    FreeLibrary(handle);
    return Status::OK();
  }
};

}  // namespace

std::unique_ptr<Loader> MakeLoader() {
  return std::make_unique<Win32Loader>();
}

}  // namespace mlx::dynlib
