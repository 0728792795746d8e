// Placeholder until the Windows process service lands: every start fails with a clear message.
#include "platform/process/process.h"

namespace mlx::process {
namespace {

Status NotAvailable() {
  return Status::Error(err::kInvalidCall,
                       "Avvio di programmi non disponibile in questa versione per Windows");
}

class UnavailableProcesses : public Processes {
 public:
  Status RunAndWait(const std::string&, std::string_view, const std::string&,
                    const std::function<bool()>&) override {
    return NotAvailable();
  }
  Status Start(const std::string&, std::string_view, const std::string&) override {
    return NotAvailable();
  }
  std::string SelfPath() override { return ""; }
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses(ProcessOptions) {
  return std::make_unique<UnavailableProcesses>();
}

}  // namespace mlx::process
