// Windows executables built byte by byte for the tests of file versions: a DOS header, the PE
// headers (PE32 or PE32+), a code section and a resource section that holds, beside an icon
// directory and a named entry, the version resource.
#pragma once

#include <cstdint>
#include <string>

namespace mlx::prova {

inline void ScriviU16(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

inline void ScriviU32(std::string& b, std::size_t at, std::uint32_t v) {
  ScriviU16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
  ScriviU16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

struct ImmaginePe {
  bool pe32piu = false;
  bool conVersione = true;  // the resource directory has a version resource
  std::uint32_t firma = 0xFEEF04BD;
  std::uint32_t versioneStruttura = 0x00010000;
  std::uint32_t fileMs = 0x00010000, fileLs = 0xFFFF0002;          // 1.0.-1.2
  std::uint32_t prodottoMs = 0x00050002, prodottoLs = 0x00000001;  // 5.2.0.1
  std::uint32_t flag = 0, sistema = 0x40004, tipo = 1, sottotipo = 0;
  std::size_t codice = 0x200;  // bytes of the code section, between the headers and resources

  // Where the parts lie in the built file, for tests that damage them.
  struct Posizioni {
    std::size_t pe;            // "PE\0\0"
    std::size_t opzionale;     // the optional header
    std::size_t sezioni;       // the section table (the resource section is the second)
    std::size_t risorse;       // the resource directory's root
    std::size_t voceVersione;  // the root's entry for the version resource (when present)
    std::size_t cartellaNome;  // the directory of names under the version type
    std::size_t datiVersione;  // the data entry of the version resource
    std::size_t versione;      // VS_VERSIONINFO
    std::size_t infoFisse;     // its fixed block
    std::size_t fineInfoFisse;
  };

  std::string Costruisci(Posizioni* p = nullptr) const {
    Posizioni pos{};
    const std::size_t dimensioneOpzionale = pe32piu ? 240 : 224;
    pos.pe = 0x80;
    pos.opzionale = pos.pe + 24;
    pos.sezioni = pos.opzionale + dimensioneOpzionale;
    const std::size_t inizioCodice = 0x400;
    pos.risorse = inizioCodice + (codice + 0x1FF) / 0x200 * 0x200;
    const std::uint32_t vaCodice = 0x1000;
    const std::uint32_t vaRisorse =
        static_cast<std::uint32_t>(vaCodice + (codice + 0xFFF) / 0x1000 * 0x1000 + 0x1000);

    // The resource section, offsets from its start: the root with one named and two numbered
    // entries, an empty icon directory, the version type and name directories, the data
    // entry, the name of the named entry, then VS_VERSIONINFO and a child block.
    const std::size_t radice = 0, icone = 0x28, tipoVersione = 0x38, nomeVersione = 0x50;
    const std::size_t voceDati = 0x68, nomeRisorsa = 0x78, versione = 0x88;
    const std::size_t lunghezzaVersione = 92 + 20;
    std::string r(versione + lunghezzaVersione, '\0');
    ScriviU16(r, radice + 12, 1);
    ScriviU16(r, radice + 14, conVersione ? 2 : 1);
    ScriviU32(r, radice + 16, 0x80000000u | nomeRisorsa);
    ScriviU32(r, radice + 20, 0x80000000u | icone);
    ScriviU32(r, radice + 24, 3);  // RT_ICON
    ScriviU32(r, radice + 28, 0x80000000u | icone);
    if (conVersione) {
      ScriviU32(r, radice + 32, 16);  // RT_VERSION
      ScriviU32(r, radice + 36, 0x80000000u | tipoVersione);
    }
    ScriviU16(r, tipoVersione + 14, 1);
    ScriviU32(r, tipoVersione + 16, 1);
    ScriviU32(r, tipoVersione + 20, 0x80000000u | nomeVersione);
    ScriviU16(r, nomeVersione + 14, 1);
    ScriviU32(r, nomeVersione + 16, 0x0410);
    ScriviU32(r, nomeVersione + 20, static_cast<std::uint32_t>(voceDati));
    ScriviU32(r, voceDati, vaRisorse + static_cast<std::uint32_t>(versione));
    ScriviU32(r, voceDati + 4, static_cast<std::uint32_t>(lunghezzaVersione));
    ScriviU16(r, nomeRisorsa, 5);
    const std::u16string nome = u"MYRES";
    for (std::size_t i = 0; i < nome.size(); ++i) ScriviU16(r, nomeRisorsa + 2 + 2 * i, nome[i]);
    ScriviU16(r, versione, static_cast<std::uint16_t>(lunghezzaVersione));
    ScriviU16(r, versione + 2, 52);
    const std::u16string chiave = u"VS_VERSION_INFO";
    for (std::size_t i = 0; i < chiave.size(); ++i) ScriviU16(r, versione + 6 + 2 * i, chiave[i]);
    const std::uint32_t fisse[] = {
        firma, versioneStruttura, fileMs, fileLs,    prodottoMs, prodottoLs, 0x3F,
        flag,  sistema,           tipo,   sottotipo, 0,          0};
    for (std::size_t i = 0; i < 13; ++i) ScriviU32(r, versione + 40 + 4 * i, fisse[i]);

    std::string b(pos.risorse, '\0');
    b[0] = 'M';
    b[1] = 'Z';
    ScriviU32(b, 0x3C, static_cast<std::uint32_t>(pos.pe));
    b.replace(0x40, 8, "DOS stub");
    b.replace(pos.pe, 4, std::string("PE\0\0", 4));
    ScriviU16(b, pos.pe + 4, pe32piu ? 0x8664 : 0x14C);
    ScriviU16(b, pos.pe + 6, 2);
    ScriviU16(b, pos.pe + 20, static_cast<std::uint16_t>(dimensioneOpzionale));
    ScriviU16(b, pos.opzionale, pe32piu ? 0x20B : 0x10B);
    const std::size_t directory = pe32piu ? 112 : 96;
    ScriviU32(b, pos.opzionale + directory - 4, 16);
    ScriviU32(b, pos.opzionale + directory + 16, vaRisorse);
    ScriviU32(b, pos.opzionale + directory + 20, static_cast<std::uint32_t>(r.size()));
    auto sezione = [&](std::size_t i, const char* nomeSezione, std::uint32_t va, std::size_t dim,
                       std::size_t inizio) {
      const std::size_t s = pos.sezioni + 40 * i;
      b.replace(s, 5, nomeSezione);
      ScriviU32(b, s + 8, static_cast<std::uint32_t>(dim));
      ScriviU32(b, s + 12, va);
      ScriviU32(b, s + 16, static_cast<std::uint32_t>(dim));
      ScriviU32(b, s + 20, static_cast<std::uint32_t>(inizio));
    };
    sezione(0, ".text", vaCodice, codice, inizioCodice);
    sezione(1, ".rsrc", vaRisorse, r.size(), pos.risorse);
    for (std::size_t i = inizioCodice; i < inizioCodice + codice; ++i) b[i] = '\xCC';
    b += r;

    pos.voceVersione = pos.risorse + radice + 32;
    pos.cartellaNome = pos.risorse + nomeVersione;
    pos.datiVersione = pos.risorse + voceDati;
    pos.versione = pos.risorse + versione;
    pos.infoFisse = pos.versione + 40;
    pos.fineInfoFisse = pos.infoFisse + 52;
    if (p != nullptr) *p = pos;
    return b;
  }
};

}  // namespace mlx::prova
