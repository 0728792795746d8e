// Loads bytes as a script file and runs it on fakes: files in memory, a registry file in a
// private folder, a database connection that records statements, no program ever started. The
// bytes after the first NUL, if any, are the content of parte.txt, which the script can include.
// A run stops after a bounded number of lines, as Ctrl+C would stop it, so that a loop in the
// script is no hang of the target.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/processo.h"
#include "fakes/fakes.h"
#include "fuzz/memoria_fs.h"
#include "launch/mdlMarlovex.h"
#include "platform/dynlib/dynlib.h"
#include "platform/fs/regular.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"

namespace {

using namespace mlx;

class NessunProgramma : public process::Processes {
 public:
  Status RunAndWait(const std::string&, std::string_view, const std::string&,
                    const std::function<bool()>&) override {
    return Status::Error(err::kFileNotFound, "Programmi non disponibili");
  }
  Status Start(const std::string&, std::string_view, const std::string&) override {
    return Status::Error(err::kFileNotFound, "Programmi non disponibili");
  }
  std::string SelfPath() override { return "/prog/marlovex"; }
};

class NessunaLibreria : public dynlib::Loader {
 public:
  Status CallEntryPoint(const std::string&, const std::string&, std::int32_t*) override {
    return Status::Error(err::kFileNotFound, "Librerie non disponibili");
  }
};

// The folder of the registry file, made once per process and removed at its end. It is in
// memory where the system has such a folder: every registry write flushes the file and its
// folder, and on a disk those flushes took most of the time of a run. Where there is no such
// folder, or the name is taken, it is a new folder in the system's temporary folder.
const std::string& CartellaRegistro() {
  static const std::string cartella = [] {
    std::error_code nessuna;
    std::string fatta = "/dev/shm/mlxfuzz-" + std::to_string(fs::ProcessNumber());
    if (!std::filesystem::is_directory("/dev/shm", nessuna) ||
        !std::filesystem::create_directory(fatta, nessuna)) {
      if (!fs::MakeTemporaryFolder("mlxfuzz-", &fatta)) std::abort();
    }
    static std::string daTogliere = fatta;
    std::atexit([] {
      std::error_code ignorato;
      std::filesystem::remove_all(daTogliere, ignorato);
    });
    return fatta;
  }();
  return cartella;
}

// Lines a run may execute.
constexpr long kRigheMassime = 2000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  const std::string bytes(reinterpret_cast<const char*>(dati), quanti);
  const std::size_t nul = bytes.find('\0');

  fakes::FileSystemInMemoria files;
  auto metti = [&files](const char* nome, std::string contenuto) {
    files.file[files.Chiave(std::string("C:\\Prog\\") + nome)] = std::move(contenuto);
  };
  metti("script.txt", bytes.substr(0, nul));
  if (nul != std::string::npos) metti("parte.txt", bytes.substr(nul + 1));
  metti("uno.txt", "=,UNO,1\n<<MLX,parte.txt\n");
  metti("giro.txt", "<<MLX,giro.txt\n");
  metti("dati.txt", "1;'a';#01/02/2003#\n2;;\n3;\"b\";True\n");
  files.cartelle.insert(files.Chiave("C:\\Prog\\Cartella"));

  const std::string registro = CartellaRegistro() + "/registry.reg";
  std::filesystem::remove(registro);
  fakes::FakeUi ui;
  fakes::FakeClock orologio;
  fakes::FakeSysInfo sistema;
  fakes::RecordingProvider database;
  database.errori["DROP TABLE [Manca]"] =
      Status::Error(err::kDatabase, "La tabella 'Manca' non esiste.");
  std::unique_ptr<registry::Registry> reg = registry::MakeFileRegistry(registro);
  NessunProgramma programmi;
  NessunaLibreria librerie;

  Platform plat;
  plat.ui = &ui;
  plat.clock = &orologio;
  plat.fs = &files;
  plat.sysinfo = &sistema;
  plat.registry = reg.get();
  plat.db = &database;
  plat.process = &programmi;
  plat.dynlib = &librerie;
  StatoProcesso stato(plat);
  long righe = 0;
  stato.RichiestaInterruzione = [&righe] { return ++righe > kRigheMassime; };
  EseguiScript(stato, "C:\\Prog\\script.txt");
  return 0;
}
