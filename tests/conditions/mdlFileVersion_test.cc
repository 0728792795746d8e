#include "conditions/mdlFileVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "conditions/immagine_pe.h"
#include "engine/errore.h"
#include "fakes/ambiente.h"
#include "fakes/fakes.h"

namespace mlx {
namespace {

using fakes::FileInMemoria;
using prova::ImmaginePe;
using prova::ScriviU16;
using prova::ScriviU32;

FileVersionData Leggi(const std::string& bytes) {
  FileInMemoria file(bytes);
  FileVersionData data;
  ReadFileVersionInfo(file, data);
  return data;
}

TEST(VersioneFile, NumeriBitENomi) {
  ImmaginePe immagine;
  immagine.flag = 1 | 8;
  FileVersionData d = Leggi(immagine.Costruisci());
  ASSERT_TRUE(d.Found);
  EXPECT_EQ(d.StructVersion, "1.0");
  EXPECT_EQ(d.FileVersionNumber, "1.0.-1.2");  // every half is a signed 16-bit number
  EXPECT_EQ(d.ProductVersionNumber, "5.2.0.1");
  EXPECT_EQ(d.FlagNames, "Debug Private ");
  immagine.pe32piu = true;
  immagine.fileMs = 0x7FFF8000;
  immagine.fileLs = 0x000A0014;
  immagine.flag = 0xFFFFFFFF;  // the mask is not applied; unnamed bits add nothing
  d = Leggi(immagine.Costruisci());
  ASSERT_TRUE(d.Found);
  EXPECT_EQ(d.FileVersionNumber, "32767.-32768.10.20");
  EXPECT_EQ(d.FlagNames, "Debug PreRel Patched Private Info Special ");
  // The names, at the edges of their tables.
  auto nomi = [](std::uint32_t sistema, std::uint32_t tipo, std::uint32_t sottotipo) {
    ImmaginePe i;
    i.sistema = sistema;
    i.tipo = tipo;
    i.sottotipo = sottotipo;
    const FileVersionData v = Leggi(i.Costruisci());
    return v.OSName + "|" + v.TypeName + "|" + v.SubtypeName;
  };
  EXPECT_EQ(nomi(0x40004, 1, 0), "NT-Win32|App|");
  EXPECT_EQ(nomi(0x10004, 3, 4), "DOS-Win32|Driver|Display drv");
  EXPECT_EQ(nomi(0x10001, 7, 4), "DOS-Win16|Lib|");  // only a driver has a subtype name
  EXPECT_EQ(nomi(0x30003, 6, 0), "OS/2-16 PM-32|Unknown|");
  EXPECT_EQ(nomi(0x40000, 0, 0), "Unknown|Unknown|");
  EXPECT_EQ(nomi(0x20002, 3, 0), "OS/2-16 PM-16|Driver|Unknown");
  EXPECT_EQ(nomi(0x40004, 3, 10), "NT-Win32|Driver|Comm drv");
  EXPECT_EQ(nomi(0x40004, 3, 11), "NT-Win32|Driver|");
}

TEST(VersioneFile, AltriFileNonHannoVersione) {
  // (Files cut short of a whole image, or with other headers, are the damaged images below.)
  EXPECT_FALSE(Leggi(std::string(4096, '\0')).Found);
  // An image without a version leaves the record's texts as they were.
  ImmaginePe immagine;
  immagine.conVersione = false;
  FileInMemoria file(immagine.Costruisci());
  FileVersionData d;
  d.Found = true;
  d.FileVersionNumber = "prima";
  ReadFileVersionInfo(file, d);
  EXPECT_FALSE(d.Found);
  EXPECT_EQ(d.FileVersionNumber, "prima");
}

TEST(VersioneFile, ImmaginiDanneggiate) {
  ImmaginePe::Posizioni p;
  const std::string buona = ImmaginePe().Costruisci(&p);
  ASSERT_TRUE(Leggi(buona).Found);
  const std::size_t rsrc = p.sezioni + 40;
  // Each damage writes one value of 1, 2 or 4 bytes.
  struct Danno {
    const char* cosa;
    std::size_t at;
    int byte;
    std::uint32_t valore;
  };
  const Danno danni[] = {
      {"firma del blocco fisso", p.infoFisse, 4, 0xFEEF04BC},
      {"chiave del blocco", p.versione + 6, 1, 'X'},
      {"terminatore della chiave", p.versione + 36, 1, 'X'},
      {"valore corto", p.versione + 2, 2, 51},
      {"blocco corto", p.versione, 2, 91},
      {"blocco oltre la risorsa", p.versione, 2, 0xFFFF},
      {"risorsa corta", p.datiVersione + 4, 4, 91},
      {"risorsa fuori dalle sezioni", p.datiVersione, 4, 0xFFFFFF00},
      {"blocco fisso oltre i dati della sezione", rsrc + 16, 4, 0x88 + 91},
      {"blocco fisso oltre la dimensione virtuale", rsrc + 8, 4, 0x88 + 91},
      {"voce della radice lontana", p.voceVersione + 4, 4, 0xFFFFFFF0},
      {"voce della radice senza sottocartella", p.voceVersione + 4, 4, 0x38},
      {"cartella dei nomi che rimanda alla radice", p.cartellaNome + 20, 4, 0x80000000},
      {"cartella dei nomi che rimanda a se stessa", p.cartellaNome + 20, 4, 0x80000050},
      {"voci con nome a migliaia", p.risorse + 12, 2, 0xFFFF},
      {"nessuna sezione", p.pe + 6, 2, 0},
      {"sezioni a migliaia", p.pe + 6, 2, 0xFFFF},
      {"dati della sezione oltre il file", rsrc + 20, 4, 0xFFFFFF00},
      {"sezione senza dati nel file", rsrc + 16, 4, 0},
      {"intestazione PE oltre il file", 0x3C, 4, 0xFFFFFFFF},
      {"firma PE", p.pe + 1, 1, 'X'},
      {"tipo di intestazione sconosciuto", p.opzionale, 2, 0x107},
      {"intestazione opzionale corta", p.pe + 20, 2, 100},
      {"senza la cartella delle risorse", p.opzionale + 92, 4, 2},
      {"indirizzo delle risorse nullo", p.opzionale + 112, 4, 0},
  };
  for (const Danno& danno : danni) {
    std::string b = buona;
    if (danno.byte == 1) {
      b[danno.at] = static_cast<char>(danno.valore);
    } else if (danno.byte == 2) {
      ScriviU16(b, danno.at, static_cast<std::uint16_t>(danno.valore));
    } else {
      ScriviU32(b, danno.at, danno.valore);
    }
    FileInMemoria file(b);
    FileVersionData d;
    ReadFileVersionInfo(file, d);
    EXPECT_FALSE(d.Found) << danno.cosa;
    for (const FileInMemoria::Lettura& l : file.letture) {
      EXPECT_LE(l.richiesti, 0xFFFFu * 40) << danno.cosa;
    }
  }
}

// A file cut anywhere before the end of the fixed block has no version; from there on the
// rest of the file is not needed.
TEST(VersioneFile, ImmagineTroncata) {
  for (bool piu : {false, true}) {
    ImmaginePe immagine;
    immagine.pe32piu = piu;
    ImmaginePe::Posizioni p;
    const std::string intera = immagine.Costruisci(&p);
    for (std::size_t n = 0; n <= intera.size(); ++n) {
      ASSERT_EQ(Leggi(intera.substr(0, n)).Found, n >= p.fineInfoFisse) << n << (piu ? "+" : "");
    }
  }
}

// A large image: only headers, tables and the start of the version resource are read.
TEST(VersioneFile, LeggeSoloCioCheServe) {
  ImmaginePe immagine;
  immagine.codice = 4 << 20;
  ImmaginePe::Posizioni p;
  FileInMemoria file(immagine.Costruisci(&p));
  FileVersionData d;
  ReadFileVersionInfo(file, d);
  ASSERT_TRUE(d.Found);
  EXPECT_LT(file.Richiesti(), 600u);
  for (const FileInMemoria::Lettura& l : file.letture) {
    EXPECT_LE(l.offset + l.richiesti, file.contenuto.size());
  }
}

// Random damage to a valid image never crashes, never asks for an unbounded read, and a
// version that is still found is still four numbers.
TEST(VersioneFile, MutazioniCasuali) {
  for (bool piu : {false, true}) {
    ImmaginePe immagine;
    immagine.pe32piu = piu;
    immagine.codice = 0x40;
    ImmaginePe::Posizioni p;
    const std::string buona = immagine.Costruisci(&p);
    std::mt19937 caso(piu ? 20261205 : 19991231);
    // Most damage goes where the parser looks: the headers and the resource section.
    std::uniform_int_distribution<std::size_t> intestazioni(0, p.sezioni + 80);
    std::uniform_int_distribution<std::size_t> risorse(p.risorse, buona.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), quanti(1, 4), dove(0, 1);
    const std::uint8_t speciali[] = {0x00, 0x7F, 0x80, 0xFF};
    int trovate = 0;
    for (int giro = 0; giro < 4000; ++giro) {
      std::string b = buona;
      for (int k = quanti(caso); k > 0; --k) {
        const std::size_t at = dove(caso) ? intestazioni(caso) : risorse(caso);
        const int v = byte(caso);
        b[at] = static_cast<char>(v < 64 ? speciali[v % 4] : v);
      }
      if (giro % 97 == 0) b.resize(b.size() * static_cast<std::size_t>(byte(caso)) / 256);
      FileInMemoria file(b);
      FileVersionData d;
      ReadFileVersionInfo(file, d);
      ASSERT_LE(file.letture.size(), 16u) << giro;
      for (const FileInMemoria::Lettura& l : file.letture) ASSERT_LE(l.richiesti, 0xFFFFu * 40);
      if (d.Found) {
        ++trovate;
        ASSERT_EQ(std::count(d.FileVersionNumber.begin(), d.FileVersionNumber.end(), '.'), 3);
      }
    }
    // The damage left some images whole, so the found path was exercised too.
    EXPECT_GT(trovate, 0);
  }
}

// Through the file system: a folder has no version, and a missing file clears Found.
TEST(VersioneFile, DalFileSystem) {
  fakes::Ambiente a;
  a.Scrivi("cartella/vuoto.txt", "");
  EXPECT_EQ(FileVersionText(*a.fileSystem, a.Percorso("cartella")), "");
  FileVersionData d;
  d.Found = true;
  ReadFileVersionInfo(*a.fileSystem, a.Percorso("manca.dll"), d);
  EXPECT_FALSE(d.Found);
}

TEST(ConfrontoVersioni, GreaterVersion) {
  // The greater of each pair whichever comes first...
  const char* const casi[][3] = {{"5.2.0.1", "5.2", "5.2.0.1"},
                                 {"1.10", "1.9", "1.10"},
                                 {"1.b", "1.a", "1.b"},
                                 {"1.a", "1.10", "1.a"},
                                 {"", "3.0", "3.0"},
                                 {"7", "10", "10"},
                                 {"1.2.3", "1.3", "1.3"},
                                 {"1.-1.2", "1.0.2", "1.0.2"},
                                 {"1.B", "1.a", "1.a"},  // letters compare by their codes
                                 {"5.2.0.1", "5.2.0.1.", "5.2.0.1."}};
  for (const auto& [a, b, maggiore] : casi) {
    EXPECT_EQ(GreaterVersion(a, b, "."), maggiore) << a << " / " << b;
    EXPECT_EQ(GreaterVersion(b, a, "."), maggiore) << b << " / " << a;
  }
  // ...and between versions that compare equal, the first.
  EXPECT_EQ(GreaterVersion("1.2", "1.02", "."), "1.2");
  EXPECT_EQ(GreaterVersion("1.02", "1.2", "."), "1.02");
  EXPECT_EQ(GreaterVersion("", "", "."), "");
  // Any separator; an empty one leaves each version a single component.
  EXPECT_EQ(GreaterVersion("1-10", "1-9", "-"), "1-10");
  EXPECT_EQ(GreaterVersion("7", "10", ""), "10");
}

TEST(ConfrontoVersioni, GreaterComponent) {
  EXPECT_EQ(GreaterComponent("-1", "0"), "0");
  EXPECT_EQ(GreaterComponent("", "0"), "0");  // an empty text is not a number
  // Fractions become integers, halves going to the even one: 2.5 is 2, 3.5 is 4.
  EXPECT_EQ(GreaterComponent("2", "2,5"), "2");
  EXPECT_EQ(GreaterComponent("2,5", "2"), "2,5");
  EXPECT_EQ(GreaterComponent("2147483647", "-2147483648"), "2147483647");
  // A component past 32 bits is an overflow of the comparison.
  EXPECT_THROW(GreaterVersion("1.99999999999", "1.2", "."), ErroreScript);
}

}  // namespace
}  // namespace mlx
