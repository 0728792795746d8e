#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "fakes/ambiente.h"
#include "files/cartelle.h"

namespace mlx {
namespace {

using fakes::Ambiente;
using ::testing::ElementsAre;
namespace stdfs = std::filesystem;

// The lines run with the log on, without the question before a true condition and without
// the final message, so the log holds just their sentences.
void Esegui(Ambiente& a, std::vector<std::string> righe, bool vero = true) {
  righe.insert(righe.begin(), {"ASKN", "LOGY"});
  righe.push_back("MSGN");
  a.Esegui(righe, vero);
}

TEST(ComandiFile, CopiaSoloConSovrascritturaSeEsisteESposta) {
  Ambiente a;
  a.Scrivi("a.txt", "nuovo");
  a.Scrivi("b.txt", "vecchio");
  const std::string da = a.Percorso("a.txt"), a_ = a.Percorso("b.txt");
  const std::string c = a.Percorso("c.txt");
  Esegui(a, {"CP," + da + "," + a_, "CP," + da + "," + c});
  EXPECT_EQ(a.Leggi("b.txt"), "vecchio");
  EXPECT_EQ(a.Leggi("c.txt"), "nuovo");
  // Without the flag an existing target leaves no log line at all.
  EXPECT_THAT(a.Log(), ElementsAre("Log attivato", "Copiato file " + da + " in " + c,
                                   "Disattivato msgbox segnalazione aggiornamento"));

  Esegui(a, {"CP," + da + "," + a_ + ",VERO"});
  EXPECT_EQ(a.Leggi("b.txt"), "nuovo");
  EXPECT_EQ(a.Leggi("a.txt"), "nuovo");
  EXPECT_EQ(a.Log().at(4), "Copiato file " + da + " in " + a_);
  // A move goes onto an existing file too.
  a.Scrivi("b.txt", "B");
  Esegui(a, {"CP," + da + "," + a_ + ",-1,true"});
  EXPECT_FALSE(stdfs::exists(da));
  EXPECT_EQ(a.Leggi("b.txt"), "nuovo");
  EXPECT_EQ(a.Log().at(7), "Spostato file " + da + " in " + a_);
}

TEST(ComandiFile, CopiaMantieneLOrario) {
  Ambiente a;
  a.Scrivi("x.sh", "#!/bin/sh\n");
  // Whole seconds: the standard library on Windows sets no finer time.
  const auto prima = std::chrono::floor<std::chrono::seconds>(
      stdfs::file_time_type::clock::now() - std::chrono::hours(48));
  stdfs::last_write_time(a.Percorso("x.sh"), prima);
  Esegui(a, {"CP," + a.Percorso("x.sh") + "," + a.Percorso("y.sh")});
  EXPECT_EQ(stdfs::last_write_time(a.Percorso("y.sh")), prima);
}

TEST(ComandiFile, CartellaComeDestinazioneRiceveIlNomeScritto) {
  Ambiente a;
  a.Scrivi("dati/a.txt", "A");
  a.Scrivi("dest/.keep", "");
  ::chdir(a.cartella.c_str());
  // The source as written, folder and all, is joined to the folder; here relative.
  stdfs::create_directories(a.Percorso("dest/dati"));
  Esegui(a, {"CP,dati\\a.txt,dest", "CP,dati/a.txt," + a.Percorso("dest") + ",VERO"});
  EXPECT_EQ(a.Leggi("dest/dati/a.txt"), "A");
  EXPECT_THAT(a.Log()[1], "Copiato file dati\\a.txt in dest/dati\\a.txt");
  EXPECT_THAT(a.Log()[2],
              "Copiato file dati/a.txt in " + fs::Join(a.Percorso("dest"), "dati/a.txt"));
  ::chdir("/");
}

TEST(ComandiFile, SenzaVeroNonToccaNulla) {
  Ambiente a;
  a.Scrivi("a.txt", "A");
  a.Scrivi("k.txt", "K");
  std::vector<std::string> frasi;
  a.stato->Dettagli = true;
  a.stato->StampaDettaglio = [&](const std::string& f) { frasi.push_back(f); };
  Esegui(a,
         {"CP," + a.Percorso("a.txt") + "," + a.Percorso("b.txt") + ",VERO,VERO",
          "K," + a.Percorso("k.txt"), "MD," + a.Percorso("n\\m")},
         /*vero=*/false);
  EXPECT_TRUE(stdfs::exists(a.Percorso("a.txt")));
  EXPECT_FALSE(stdfs::exists(a.Percorso("b.txt")));
  EXPECT_TRUE(stdfs::exists(a.Percorso("k.txt")));
  EXPECT_FALSE(stdfs::exists(a.Percorso("n")));
  EXPECT_THAT(frasi, ::testing::Contains("Spostato file " + a.Percorso("a.txt") + " in " +
                                         a.Percorso("b.txt")));
}

// K deletes what its wildcards match, whatever the case. A missing source for CP, nothing left
// to match or a missing file for K: reported, or only marked with ERRN; the target of a failed
// copy is left as it was.
TEST(ComandiFile, EliminaConCaratteriJollyEFileMancanti) {
  Ambiente a;
  a.Scrivi("b.txt", "vecchio");
  a.Scrivi("d/uno.TXT", "");
  a.Scrivi("d/due.txt", "");
  a.Scrivi("d/tre.dat", "");
  Esegui(a, {"K," + a.Percorso("d/*.txt")});
  EXPECT_FALSE(stdfs::exists(a.Percorso("d/uno.TXT")) || stdfs::exists(a.Percorso("d/due.txt")));
  EXPECT_TRUE(stdfs::exists(a.Percorso("d/tre.dat")));
  EXPECT_EQ(a.Log()[1], "Eliminazione file " + a.Percorso("d/*.txt"));
  const std::string manca = a.Percorso("manca.txt");
  Esegui(a, {"CP," + manca + "," + a.Percorso("b.txt") + ",VERO,VERO", "K," + a.Percorso("d/*.txt"),
             "K," + manca});
  EXPECT_THAT(a.TitoliDialoghi(), ElementsAre("Attenzione", "Attenzione", "Attenzione"));
  EXPECT_THAT(a.ui.dialoghi[0].testo, ::testing::HasSubstr("manca.txt"));
  EXPECT_EQ(a.Leggi("b.txt"), "vecchio");
  Esegui(a, {"ERRN", "CP," + manca + "," + a.Percorso("c.txt"), "^ERR^", "=,X,fallito", "^^",
             "K," + manca, "^ERR^", "=,Y,segnato", "^^"});
  EXPECT_EQ(a.ui.dialoghi.size(), 3u);
  EXPECT_THAT(a.Log(), ::testing::Contains("Variabile X = fallito"));
  EXPECT_THAT(a.Log(), ::testing::Contains("Variabile Y = segnato"));
}

TEST(ComandiFile, CreaCartellaConIGenitori) {
  Ambiente a;
  Esegui(a, {"MD," + a.Percorso("A\\B\\C"), "^ERR^", "=,X,errore", "^^", "MD," + a.Percorso("A/B"),
             "^ERR^", "=,Y,esisteva", "^^"});
  EXPECT_TRUE(stdfs::is_directory(a.Percorso("A/B/C")));
  EXPECT_THAT(a.Log(), ::testing::Contains("Creazione cartella " + a.Percorso("A\\B\\C")));
  EXPECT_THAT(a.Log(), ::testing::Not(::testing::Contains("Variabile X = errore")));
  EXPECT_THAT(a.Log(), ::testing::Contains("Variabile Y = esisteva"));
  // A failure only marks the line: no box.
  EXPECT_TRUE(a.ui.dialoghi.empty());
  a.Scrivi("f", "file");
  EXPECT_FALSE(CreaCartella(*a.fileSystem, a.Percorso("f/sotto/x")));
  EXPECT_EQ(a.Leggi("f"), "file");
  // A name without a separator is made in the current folder.
  ::chdir(a.cartella.c_str());
  EXPECT_TRUE(CreaCartella(*a.fileSystem, "solo"));
  ::chdir("/");
  EXPECT_TRUE(stdfs::is_directory(a.Percorso("solo")));
}

}  // namespace
}  // namespace mlx
