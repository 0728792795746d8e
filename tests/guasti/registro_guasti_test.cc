// Every write point of a registry change and of a file written by the file service, failed
// in turn and then cut by a power loss: the file is always the old one or the new one, a
// failure is reported with the file's name, and a change reported done survives the power loss.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>

#include "fakes/ambiente.h"
#include "guasti/chiamate_guaste.h"
#include "guasti/vfs_guasto.h"
#include "platform/fs/fs.h"
#include "platform/registry/registry.h"

namespace mlx::guasti {
namespace {

class Cartella : public ::testing::Test {
 protected:
  static std::string Leggi(const std::string& percorso) { return Contenuto(percorso).value_or(""); }
  // The names in the folder, other than the lock file.
  std::vector<std::string> Nomi() const {
    std::vector<std::string> nomi;
    for (const auto& voce : std::filesystem::directory_iterator(Nativo(a_.cartella))) {
      const std::string nome = voce.path().filename().string();
      if (nome.size() < 5 || nome.substr(nome.size() - 5) != ".lock") nomi.push_back(nome);
    }
    std::sort(nomi.begin(), nomi.end());
    return nomi;
  }

  // Sweeps every point of `operazione` (true when it reports success) over the file at
  // `percorso`, which starts each round as `vecchio`, and prints their number.
  void Spazza(const char* nome, const std::string& percorso, const std::string& vecchio,
              const std::function<bool(std::string* errore)>& operazione) {
    ChiamateGuaste chiamate({percorso});
    Metti(percorso, vecchio);
    std::string errore;
    EXPECT_TRUE(operazione(&errore)) << errore;
    const std::string nuovo = Leggi(percorso);
    EXPECT_NE(nuovo, vecchio);
    const long punti = chiamate.Punti();
    // A write, the flush, the rename, and the folder's flush where the rename needs one.
    EXPECT_GE(punti, sistema::kRinominaScrittaSubito ? 3 : 4);
    const std::vector<std::string> nomi = Nomi();

    // A power loss at n = punti + 1 comes after the operation ended.
    for (Modo modo : {Modo::kErrore, Modo::kPerdita}) {
      for (long n = 1; n <= punti + (modo == Modo::kPerdita ? 1 : 0); ++n) {
        Metti(percorso, vecchio);
        chiamate.Arma(modo, n);
        errore.clear();
        const bool riuscita = operazione(&errore);
        const bool scattato = chiamate.Scattato();
        if (modo == Modo::kPerdita) chiamate.Ripristina();
        const std::string dopo = Leggi(percorso);
        const std::string dove = (modo == Modo::kErrore ? "guasto " : "perdita ") +
                                 std::to_string(n) + ": " + std::to_string(dopo.size()) + " bytes";
        EXPECT_TRUE(dopo == vecchio || dopo == nuovo) << dove;
        if (modo == Modo::kPerdita) {
          EXPECT_TRUE(!riuscita || n <= punti || dopo == nuovo) << dove << ", a change reported done was lost";
          continue;
        }
        EXPECT_TRUE(scattato) << dove;
        // Only the folder's flush comes after the rename: a success is the change made, whole.
        EXPECT_EQ(dopo == nuovo, riuscita) << dove;
        EXPECT_TRUE(riuscita || errore.find(percorso) != std::string::npos) << dove << ", " << errore;
        EXPECT_EQ(Nomi(), nomi) << dove << ", a work file was left behind";
      }
    }
    std::printf("%s: %ld punti di guasto\n", nome, 2 * punti + 1);
  }

  fakes::Ambiente a_;
};

TEST_F(Cartella, ScritturaDelRegistro) {
  const std::string percorso = a_.Percorso("prova.reg");
  {
    auto reg = registry::MakeFileRegistry(percorso);
    registry::Handle h = 0;
    ASSERT_EQ(reg->CreateKey(registry::kCurrentUser, "Software\\Prova", &h), registry::kSuccess);
    const std::string testo(3000, 'v');  // more than one write would need on a slow disk
    ASSERT_EQ(reg->SetValueEx(h, "Vecchio", registry::kString, testo.c_str(),
                              static_cast<std::uint32_t>(testo.size() + 1)),
              registry::kSuccess);
  }
  Spazza("registro", percorso, Leggi(percorso), [&](std::string* errore) {
    auto reg = registry::MakeFileRegistry(percorso);
    registry::Handle h = 0;
    // The key is there already: only the value is written.
    long rc = reg->CreateKey(registry::kCurrentUser, "Software\\Prova", &h);
    if (rc == registry::kSuccess) rc = reg->SetValueEx(h, "Nome", registry::kString, "valore", 7);
    *errore = reg->LastError();
    if (rc != registry::kSuccess) {
      EXPECT_EQ(rc, registry::kCannotWrite);
      EXPECT_TRUE(errore->find(std::strerror(ENOSPC)) != std::string::npos ||
                  errore->find(std::strerror(EIO)) != std::string::npos)
          << *errore;
    }
    return rc == registry::kSuccess;
  });
}

TEST_F(Cartella, FileScrittoDalServizioFile) {
  const std::string percorso = a_.Percorso("dati.txt");
  Spazza("servizio file", percorso, "vecchio contenuto\r\n", [&](std::string* errore) {
    const Status s = a_.fileSystem->WriteFile(percorso, std::string(5000, 'n'));
    *errore = s.description();
    return s.ok();
  });
}

// The same sweep through a script line: a registry that cannot be written is said once, with
// the file's name, and the run ends with an error (exit status 1).
TEST_F(Cartella, RigaCheScriveIlRegistro) {
  const std::string percorso = a_.Percorso("registry.reg");
  registry::Handle h = 0;
  ASSERT_EQ(a_.registro->CreateKey(registry::kCurrentUser, "Software\\Prova", &h),
            registry::kSuccess);
  std::vector<std::string> note;
  a_.stato->Dettagli = true;
  a_.stato->StampaNota = [&note](const std::string& nota) { note.push_back(nota); };
  Spazza("riga di registro", percorso, Leggi(percorso), [&](std::string* errore) {
    a_.stato->ErroreSegnalato = false;
    a_.stato->RegistroGuasto = false;
    note.clear();
    a_.Esegui({"+\xC2\xA7,HKCU,Software\\Prova\\Nome,valore"});
    for (const std::string& nota : note) *errore += nota;
    EXPECT_TRUE(!a_.stato->ErroreSegnalato || note.size() == 1) << *errore;
    return !a_.stato->ErroreSegnalato;
  });
}

}  // namespace
}  // namespace mlx::guasti
