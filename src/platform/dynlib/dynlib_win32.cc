// Placeholder until the Windows library loader lands: every call fails with a clear message.
#include "platform/dynlib/dynlib.h"

namespace mlx::dynlib {
namespace {

class UnavailableLoader : public Loader {
 public:
  Status CallEntryPoint(const std::string&, const std::string&, std::int32_t*) override {
    return Status::Error(err::kInvalidCall,
                         "Caricamento di librerie non disponibile in questa versione per Windows");
  }
};

}  // namespace

std::unique_ptr<Loader> MakeLoader() {
  return std::make_unique<UnavailableLoader>();
}

}  // namespace mlx::dynlib
