// Component libraries on POSIX: dlopen, dlsym, dlclose.
#include <dlfcn.h>

#include "platform/dynlib/dynlib.h"

namespace mlx::dynlib {

namespace {

class PosixLoader : public Loader {
 public:
  Status CallEntryPoint(const std::string& library, const std::string& entry,
                        std::int32_t* result) override {
    // A name without a folder is a file of the current folder, never one found through the
    // system's library search.
    const std::string path = library.find('/') == std::string::npos ? "./" + library : library;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      const char* why = dlerror();
      return Status::Error(err::kPathFileAccess, "Errore di accesso al percorso/file: " +
                                                     library + " (" +
                                                     (why != nullptr ? why : "non è una libreria") +
                                                     ")");
    }
    void* symbol = dlsym(handle, entry.c_str());
    if (symbol == nullptr) {
      dlclose(handle);
      return Status::Error(err::kInvalidCall, "Punto di ingresso " + entry + " assente in " +
                                                  library);
    }
    using EntryPoint = std::int32_t (*)();
    *result = reinterpret_cast<EntryPoint>(symbol)();
    dlclose(handle);
    return Status::OK();
  }
};

}  // namespace

std::unique_ptr<Loader> MakeLoader() {
  return std::make_unique<PosixLoader>();
}

}  // namespace mlx::dynlib
