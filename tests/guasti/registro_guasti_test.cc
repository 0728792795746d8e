// Every write point of a registry change and of a file written by the file service, failed
// in turn and then cut by a power loss: the file is always the old one or the new one, a
// failure is reported with the file's name, and a change reported done survives the power loss.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "fakes/ambiente.h"
#include "guasti/chiamate_guaste.h"
#include "guasti/vfs_guasto.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"

namespace mlx::guasti {
namespace {

namespace stdfs = std::filesystem;

std::string Leggi(const std::string& percorso) {
  std::ifstream in(percorso, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void Scrivi(const std::string& percorso, const std::string& testo) {
  std::ofstream(percorso, std::ios::binary | std::ios::trunc) << testo;
}

class Cartella : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string modello = (stdfs::temp_directory_path() / "mlxguasti-XXXXXX").string();
    ASSERT_NE(mkdtemp(modello.data()), nullptr);
    dir_ = modello;
  }
  void TearDown() override { stdfs::remove_all(dir_); }

  // The names in the folder, other than the lock file.
  std::vector<std::string> Nomi() const {
    std::vector<std::string> nomi;
    for (const auto& voce : stdfs::directory_iterator(dir_)) {
      const std::string nome = voce.path().filename().string();
      if (nome.size() < 5 || nome.substr(nome.size() - 5) != ".lock") nomi.push_back(nome);
    }
    std::sort(nomi.begin(), nomi.end());
    return nomi;
  }

  // Sweeps every point of `operazione` (true when it reports success) over the file at
  // `percorso`, which starts each round as `vecchio`. Answers the number of points.
  long Spazza(const std::string& percorso, const std::string& vecchio,
              const std::function<bool(std::string* errore)>& operazione) {
    ChiamateGuaste chiamate({percorso});
    Scrivi(percorso, vecchio);
    std::string errore;
    EXPECT_TRUE(operazione(&errore)) << errore;
    const std::string nuovo = Leggi(percorso);
    EXPECT_NE(nuovo, vecchio);
    const long punti = chiamate.Punti();
    EXPECT_GE(punti, 4);  // a write, the flush, the rename, the folder's flush
    const std::vector<std::string> nomi = Nomi();

    for (long n = 1; n <= punti; ++n) {
      Scrivi(percorso, vecchio);
      chiamate.Arma(Modo::kErrore, n);
      errore.clear();
      const bool riuscita = operazione(&errore);
      EXPECT_TRUE(chiamate.Scattato()) << n;
      const std::string dopo = Leggi(percorso);
      if (riuscita) {
        // Only the folder's flush comes after the rename: the change is made, whole.
        EXPECT_TRUE(dopo == nuovo) << n;
      } else {
        EXPECT_TRUE(dopo == vecchio) << n << ": " << dopo.size() << " bytes";
        EXPECT_NE(errore.find(percorso), std::string::npos) << n << ": " << errore;
      }
      EXPECT_EQ(Nomi(), nomi) << n << ": a work file was left behind";
    }
    // n = punti + 1 is a power loss after the operation ended.
    for (long n = 1; n <= punti + 1; ++n) {
      Scrivi(percorso, vecchio);
      chiamate.Arma(Modo::kPerdita, n);
      errore.clear();
      const bool riuscita = operazione(&errore);
      chiamate.Ripristina();
      const std::string dopo = Leggi(percorso);
      EXPECT_TRUE(dopo == vecchio || dopo == nuovo) << n << ": " << dopo.size() << " bytes";
      if (riuscita && n > punti) {
        EXPECT_TRUE(dopo == nuovo) << n << ": a change reported done was lost (" << dopo.size()
                                   << " bytes)";
      }
    }
    return 2 * punti + 1;
  }

  std::string dir_;
};

TEST_F(Cartella, ScritturaDelRegistro) {
  const std::string percorso = dir_ + "/registry.reg";
  {
    auto reg = registry::MakeFileRegistry(percorso);
    registry::Handle h = 0;
    ASSERT_EQ(reg->CreateKey(registry::kCurrentUser, "Software\\Prova", &h), registry::kSuccess);
    const std::string testo(3000, 'v');  // more than one write would need on a slow disk
    ASSERT_EQ(reg->SetValueEx(h, "Vecchio", registry::kString, testo.c_str(),
                              static_cast<std::uint32_t>(testo.size() + 1)),
              registry::kSuccess);
  }
  const std::string vecchio = Leggi(percorso);
  const long punti = Spazza(percorso, vecchio, [&](std::string* errore) {
    auto reg = registry::MakeFileRegistry(percorso);
    registry::Handle h = 0;
    // The key is there already: only the value is written.
    long rc = reg->CreateKey(registry::kCurrentUser, "Software\\Prova", &h);
    if (rc == registry::kSuccess) {
      rc = reg->SetValueEx(h, "Nome", registry::kString, "valore", 7);
    }
    *errore = reg->LastError();
    if (rc != registry::kSuccess) {
      EXPECT_EQ(rc, registry::kCannotWrite);
      EXPECT_TRUE(errore->find(std::strerror(ENOSPC)) != std::string::npos ||
                  errore->find(std::strerror(EIO)) != std::string::npos)
          << *errore;
    }
    return rc == registry::kSuccess;
  });
  std::printf("registro: %ld punti di guasto\n", punti);
}

TEST_F(Cartella, FileScrittoDalServizioFile) {
  const std::string percorso = dir_ + "/dati.txt";
  fs::FileSystemOptions opzioni;
  opzioni.program_directory = dir_;
  auto files = fs::MakeFileSystem(opzioni);
  const long punti = Spazza(percorso, "vecchio contenuto\r\n", [&](std::string* errore) {
    const Status s = files->WriteFile(percorso, std::string(5000, 'n'));
    *errore = s.description();
    return s.ok();
  });
  std::printf("servizio file: %ld punti di guasto\n", punti);
}

// The same sweep through a script line: a registry that cannot be written is said once, with
// the file's name, and the run ends with an error (exit status 1).
TEST_F(Cartella, RigaCheScriveIlRegistro) {
  fakes::Ambiente a;
  const std::string percorso = a.Percorso("registry.reg");
  registry::Handle h = 0;
  ASSERT_EQ(a.registro->CreateKey(registry::kCurrentUser, "Software\\Prova", &h),
            registry::kSuccess);
  const std::string vecchio = Leggi(percorso);
  std::vector<std::string> note;
  a.stato->Dettagli = true;
  a.stato->StampaNota = [&note](const std::string& nota) { note.push_back(nota); };
  const long punti = Spazza(percorso, vecchio, [&](std::string* errore) {
    a.stato->ErroreSegnalato = false;
    a.stato->RegistroGuasto = false;
    note.clear();
    a.Esegui({"+\xC2\xA7,HKCU,Software\\Prova\\Nome,valore"});
    for (const std::string& nota : note) *errore += nota;
    if (a.stato->ErroreSegnalato) {
      EXPECT_EQ(note.size(), 1u) << *errore;
    }
    return !a.stato->ErroreSegnalato;
  });
  std::printf("riga di registro: %ld punti di guasto\n", punti);
}

}  // namespace
}  // namespace mlx::guasti
