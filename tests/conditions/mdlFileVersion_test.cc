#include "conditions/mdlFileVersion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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

TEST(VersioneFile, Pe32ConVersione) {
  ImmaginePe immagine;
  immagine.flag = 1 | 8;
  const FileVersionData d = Leggi(immagine.Costruisci());
  ASSERT_TRUE(d.Found);
  EXPECT_EQ(d.StructVersion, "1.0");
  EXPECT_EQ(d.FileVersionNumber, "1.0.-1.2");  // every half is a signed 16-bit number
  EXPECT_EQ(d.ProductVersionNumber, "5.2.0.1");
  EXPECT_EQ(d.FlagNames, "Debug Private ");
  EXPECT_EQ(d.OSName, "NT-Win32");
  EXPECT_EQ(d.TypeName, "App");
  EXPECT_EQ(d.SubtypeName, "");
}

TEST(VersioneFile, Pe32PiuDriver) {
  ImmaginePe immagine;
  immagine.pe32piu = true;
  immagine.fileMs = 0x7FFF8000;
  immagine.fileLs = 0x000A0014;
  immagine.flag = 0xFFFFFFFF;  // the mask is not applied; unnamed bits add nothing
  immagine.sistema = 0x10004;
  immagine.tipo = 3;
  immagine.sottotipo = 4;
  const FileVersionData d = Leggi(immagine.Costruisci());
  ASSERT_TRUE(d.Found);
  EXPECT_EQ(d.FileVersionNumber, "32767.-32768.10.20");
  EXPECT_EQ(d.FlagNames, "Debug PreRel Patched Private Info Special ");
  EXPECT_EQ(d.OSName, "DOS-Win32");
  EXPECT_EQ(d.TypeName, "Driver");
  EXPECT_EQ(d.SubtypeName, "Display drv");
}

// The names at the edges of their tables.
TEST(VersioneFile, NomiAiMarginiDelleTabelle) {
  auto nomi = [](std::uint32_t sistema, std::uint32_t tipo, std::uint32_t sottotipo) {
    ImmaginePe i;
    i.sistema = sistema;
    i.tipo = tipo;
    i.sottotipo = sottotipo;
    const FileVersionData d = Leggi(i.Costruisci());
    return d.OSName + "|" + d.TypeName + "|" + d.SubtypeName;
  };
  EXPECT_EQ(nomi(0x10001, 7, 4), "DOS-Win16|Lib|");  // only a driver has a subtype name
  EXPECT_EQ(nomi(0x30003, 6, 0), "OS/2-16 PM-32|Unknown|");
  EXPECT_EQ(nomi(0x40000, 0, 0), "Unknown|Unknown|");
  EXPECT_EQ(nomi(0x20002, 3, 0), "OS/2-16 PM-16|Driver|Unknown");
  EXPECT_EQ(nomi(0x40004, 3, 10), "NT-Win32|Driver|Comm drv");
  EXPECT_EQ(nomi(0x40004, 3, 11), "NT-Win32|Driver|");
}

// A file without a version leaves the record's texts as they were.
TEST(VersioneFile, SenzaVersioneTestiIntatti) {
  ImmaginePe immagine;
  immagine.conVersione = false;
  FileInMemoria file(immagine.Costruisci());
  FileVersionData d;
  d.Found = true;
  d.FileVersionNumber = "prima";
  d.OSName = "prima";
  ReadFileVersionInfo(file, d);
  EXPECT_FALSE(d.Found);
  EXPECT_EQ(d.FileVersionNumber, "prima");
  EXPECT_EQ(d.OSName, "prima");
}

TEST(VersioneFile, AltriFileNonHannoVersione) {
  EXPECT_FALSE(Leggi("").Found);
  EXPECT_FALSE(Leggi("MZ").Found);
  EXPECT_FALSE(Leggi("Testo semplice, riga uno\r\nriga due\r\n").Found);
  EXPECT_FALSE(Leggi(std::string(4096, '\0')).Found);
  // A DOS program: "MZ" and nothing where the PE headers would be.
  std::string dos = ImmaginePe().Costruisci();
  dos.replace(0x80, 4, std::string("NE\0\0", 4));
  EXPECT_FALSE(Leggi(dos).Found);
}

TEST(VersioneFile, ImmaginiDanneggiate) {
  ImmaginePe::Posizioni p;
  const std::string buona = ImmaginePe().Costruisci(&p);
  ASSERT_TRUE(Leggi(buona).Found);
  const std::size_t rsrc = p.sezioni + 40;
  struct Danno {
    const char* cosa;
    std::function<void(std::string&)> fai;
  };
  const Danno danni[] = {
      {"firma del blocco fisso", [&](std::string& b) { ScriviU32(b, p.infoFisse, 0xFEEF04BC); }},
      {"chiave del blocco", [&](std::string& b) { b[p.versione + 6] = 'X'; }},
      {"terminatore della chiave", [&](std::string& b) { b[p.versione + 36] = 'X'; }},
      {"valore corto", [&](std::string& b) { ScriviU16(b, p.versione + 2, 51); }},
      {"blocco corto", [&](std::string& b) { ScriviU16(b, p.versione, 91); }},
      {"blocco oltre la risorsa", [&](std::string& b) { ScriviU16(b, p.versione, 0xFFFF); }},
      {"risorsa corta", [&](std::string& b) { ScriviU32(b, p.datiVersione + 4, 91); }},
      {"risorsa fuori dalle sezioni",
       [&](std::string& b) { ScriviU32(b, p.datiVersione, 0xFFFFFF00); }},
      {"blocco fisso oltre i dati della sezione",
       [&](std::string& b) { ScriviU32(b, rsrc + 16, 0x88 + 91); }},
      {"blocco fisso oltre la dimensione virtuale",
       [&](std::string& b) { ScriviU32(b, rsrc + 8, 0x88 + 91); }},
      {"voce della radice lontana",
       [&](std::string& b) { ScriviU32(b, p.voceVersione + 4, 0xFFFFFFF0); }},
      {"voce della radice senza sottocartella",
       [&](std::string& b) { ScriviU32(b, p.voceVersione + 4, 0x38); }},
      {"cartella dei nomi che rimanda alla radice",
       [&](std::string& b) { ScriviU32(b, p.cartellaNome + 20, 0x80000000); }},
      {"cartella dei nomi che rimanda a se stessa",
       [&](std::string& b) { ScriviU32(b, p.cartellaNome + 20, 0x80000050); }},
      {"voci con nome a migliaia", [&](std::string& b) { ScriviU16(b, p.risorse + 12, 0xFFFF); }},
      {"nessuna sezione", [&](std::string& b) { ScriviU16(b, p.pe + 6, 0); }},
      {"sezioni a migliaia", [&](std::string& b) { ScriviU16(b, p.pe + 6, 0xFFFF); }},
      {"dati della sezione oltre il file",
       [&](std::string& b) { ScriviU32(b, rsrc + 20, 0xFFFFFF00); }},
      {"sezione senza dati nel file", [&](std::string& b) { ScriviU32(b, rsrc + 16, 0); }},
      {"intestazione PE oltre il file", [&](std::string& b) { ScriviU32(b, 0x3C, 0xFFFFFFFF); }},
      {"firma PE", [&](std::string& b) { b[p.pe + 1] = 'X'; }},
      {"tipo di intestazione sconosciuto",
       [&](std::string& b) { ScriviU16(b, p.opzionale, 0x107); }},
      {"intestazione opzionale corta", [&](std::string& b) { ScriviU16(b, p.pe + 20, 100); }},
      {"senza la cartella delle risorse",
       [&](std::string& b) { ScriviU32(b, p.opzionale + 92, 2); }},
      {"indirizzo delle risorse nullo",
       [&](std::string& b) { ScriviU32(b, p.opzionale + 112, 0); }},
  };
  for (const Danno& danno : danni) {
    std::string b = buona;
    danno.fai(b);
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

TEST(VersioneFile, DalFileSystem) {
  fakes::Ambiente a;
  a.Scrivi("x.dll", ImmaginePe().Costruisci());
  a.Scrivi("testo.txt", "solo testo\r\n");
  a.Scrivi("cartella/vuoto.txt", "");
  fs::FileSystem& fs = *a.fileSystem;
  EXPECT_EQ(FileVersionText(fs, a.Percorso("x.dll")), "1.0.-1.2");
  EXPECT_EQ(FileVersionText(fs, a.Percorso("testo.txt")), "");
  EXPECT_EQ(FileVersionText(fs, a.Percorso("cartella")), "");
  EXPECT_EQ(FileVersionText(fs, a.Percorso("manca.dll")), "");
  EXPECT_EQ(FileVersionText(fs, ""), "");
  FileVersionData d;
  d.Found = true;
  ReadFileVersionInfo(fs, a.Percorso("manca.dll"), d);
  EXPECT_FALSE(d.Found);
}

TEST(ConfrontoVersioni, GreaterVersion) {
  struct Caso {
    const char *a, *b, *maggiore;
  };
  const Caso casi[] = {
      {"5.2.0.1", "5.2", "5.2.0.1"},
      {"5.2", "5.2.0.1", "5.2.0.1"},  // more components
      {"1.10", "1.9", "1.10"},
      {"1.9", "1.10", "1.10"},  // numbers
      {"1.b", "1.a", "1.b"},
      {"1.a", "1.b", "1.b"},  // texts
      {"1.a", "1.10", "1.a"},
      {"1.10", "1.a", "1.a"},  // a text and a number
      {"", "3.0", "3.0"},
      {"3.0", "", "3.0"},  // an empty version
      {"1.2", "1.02", "1.2"},
      {"1.02", "1.2", "1.02"},  // equal numbers: the first
      {"7", "10", "10"},
      {"10", "7", "10"},  // one component
      {"2.0", "2.0", "2.0"},
      {"1.2.3", "1.3", "1.3"},
      {"1.B", "1.a", "1.a"},
      {"", "", ""},
      {"1.-1.2", "1.0.2", "1.0.2"},
      {"5.2.0.1", "5.2.0.1.", "5.2.0.1."},
  };
  for (const Caso& c : casi) {
    EXPECT_EQ(GreaterVersion(c.a, c.b, "."), c.maggiore) << c.a << " / " << c.b;
  }
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
  EXPECT_EQ(GreaterComponent("3,5", "4"), "3,5");
  EXPECT_EQ(GreaterComponent("3,4", "4"), "4");
  EXPECT_EQ(GreaterComponent("2147483647", "-2147483648"), "2147483647");
  for (const char* troppo : {"2147483648", "-2147483649", "1e12"}) {
    try {
      GreaterComponent(troppo, "1");
      ADD_FAILURE() << troppo;
    } catch (const ErroreScript& e) {
      EXPECT_EQ(e.Numero(), err::kOverflow) << troppo;
    }
  }
  EXPECT_THROW(GreaterVersion("1.99999999999", "1.2", "."), ErroreScript);
}

}  // namespace
}  // namespace mlx
