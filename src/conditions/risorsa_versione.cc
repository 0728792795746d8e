#include "conditions/risorsa_versione.h"

#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"

namespace mlx {

namespace {

constexpr std::uint32_t kFirmaInfoFisse = 0xFEEF04BD;
constexpr std::uint32_t kTipoVersione = 16;  // RT_VERSION
constexpr std::uint32_t kNomeVersione = 1;   // VS_VERSION_INFO
constexpr std::uint32_t kBitSottocartella = 0x80000000;
constexpr std::size_t kDimensioneSezione = 40;
constexpr std::size_t kDimensioneInfoFisse = 52;
// VS_VERSIONINFO: wLength, wValueLength, wType, the key "VS_VERSION_INFO" in UTF-16 with its
// terminator, padding to 32 bits, then the fixed block.
constexpr std::size_t kInizioInfoFisse = 40;
constexpr std::size_t kTestaVersione = kInizioInfoFisse + kDimensioneInfoFisse;
constexpr std::u16string_view kChiaveVersione = u"VS_VERSION_INFO";

std::uint16_t U16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t U32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

struct Sezione {
  std::uint32_t indirizzo;        // VirtualAddress
  std::uint32_t estensione;       // VirtualSize
  std::uint32_t dimensione_dati;  // SizeOfRawData
  std::uint32_t inizio_dati;      // PointerToRawData
};

class LettoreImmagine {
 public:
  explicit LettoreImmagine(fs::RandomAccessFile& file) : file_(file) {}

  // Reads the headers and the section table; answers the RVA of the resource directory.
  std::optional<std::uint32_t> LeggiIntestazioni() {
    std::string b;
    if (!Leggi(0, 64, &b) || b[0] != 'M' || b[1] != 'Z') return std::nullopt;
    const std::uint64_t pe = U32(b, 0x3C);
    // The signature "PE\0\0" and the COFF header.
    if (!Leggi(pe, 24, &b) || b.compare(0, 4, std::string_view("PE\0\0", 4)) != 0) {
      return std::nullopt;
    }
    const std::uint16_t sezioni = U16(b, 6);
    const std::uint16_t dimensione_opzionale = U16(b, 20);
    const std::uint64_t opzionale = pe + 24;

    if (!Leggi(opzionale, 2, &b)) return std::nullopt;
    std::size_t quante_directory_a, directory;  // offsets inside the optional header
    switch (U16(b, 0)) {
      case 0x10B:  // PE32
        quante_directory_a = 92;
        directory = 96;
        break;
      case 0x20B:  // PE32+
        quante_directory_a = 108;
        directory = 112;
        break;
      default:
        return std::nullopt;
    }
    // The resource directory is the third data directory.
    const std::size_t fine_risorse = directory + 3 * 8;
    if (dimensione_opzionale < fine_risorse || !Leggi(opzionale, fine_risorse, &b) ||
        U32(b, quante_directory_a) < 3) {
      return std::nullopt;
    }
    const std::uint32_t risorse = U32(b, directory + 16);
    if (risorse == 0) return std::nullopt;

    if (!Leggi(opzionale + dimensione_opzionale, sezioni * kDimensioneSezione, &b)) {
      return std::nullopt;
    }
    sezioni_.reserve(sezioni);
    for (std::size_t i = 0; i < sezioni; ++i) {
      const std::size_t s = i * kDimensioneSezione;
      sezioni_.push_back({U32(b, s + 12), U32(b, s + 8), U32(b, s + 16), U32(b, s + 20)});
    }
    return risorse;
  }

  // Reads the n bytes at an RVA, when they lie in one section's data held by the file.
  bool LeggiRva(std::uint64_t rva, std::size_t n, std::string* b) {
    for (const Sezione& s : sezioni_) {
      if (rva < s.indirizzo) continue;
      // A section without a virtual size spans its data; bytes past the virtual size are not
      // part of the image, bytes past the data are not in the file.
      const std::uint64_t limite =
          s.estensione == 0 || s.estensione > s.dimensione_dati ? s.dimensione_dati : s.estensione;
      const std::uint64_t dentro = rva - s.indirizzo;
      if (dentro >= limite) continue;
      return n <= limite - dentro && Leggi(s.inizio_dati + dentro, n, b);
    }
    return false;
  }

  // The OffsetToData of an entry of the resource directory at `rva`: the entry with the
  // numeric id, or the first entry when id is empty.
  std::optional<std::uint32_t> Voce(std::uint64_t rva, std::optional<std::uint32_t> id) {
    std::string b;
    if (!LeggiRva(rva, 16, &b)) return std::nullopt;
    const std::size_t con_nome = U16(b, 12);
    const std::size_t con_numero = U16(b, 14);
    if (!id) {
      if (con_nome + con_numero == 0 || !LeggiRva(rva + 16, 8, &b)) return std::nullopt;
      return U32(b, 4);
    }
    // Entries with a name come first, those with a number after them.
    if (!LeggiRva(rva + 16 + con_nome * 8, con_numero * 8, &b)) return std::nullopt;
    for (std::size_t i = 0; i < con_numero; ++i) {
      if (U32(b, i * 8) == *id) return U32(b, i * 8 + 4);
    }
    return std::nullopt;
  }

 private:
  // Exactly n bytes at a file offset: fewer (a truncated file) is a failure.
  bool Leggi(std::uint64_t offset, std::size_t n, std::string* b) {
    return file_.ReadAt(offset, n, b).ok() && b->size() == n;
  }

  fs::RandomAccessFile& file_;
  std::vector<Sezione> sezioni_;
};

// A subdirectory's RVA from an entry that must lead to one.
std::optional<std::uint64_t> Sottocartella(std::uint32_t radice,
                                           std::optional<std::uint32_t> voce) {
  if (!voce || (*voce & kBitSottocartella) == 0) return std::nullopt;
  return std::uint64_t{radice} + (*voce & ~kBitSottocartella);
}

}  // namespace

bool ReadFixedFileInfo(fs::RandomAccessFile& file, FixedFileInfo* info) {
  LettoreImmagine immagine(file);
  const std::optional<std::uint32_t> radice = immagine.LeggiIntestazioni();
  if (!radice) return false;

  // Three levels, each a fixed step: type, name, language. Each entry's offset counts from
  // the root, so a damaged offset can point anywhere but never makes the walk go on.
  const std::optional<std::uint64_t> tipo =
      Sottocartella(*radice, immagine.Voce(*radice, kTipoVersione));
  if (!tipo) return false;
  const std::optional<std::uint64_t> nome =
      Sottocartella(*radice, immagine.Voce(*tipo, kNomeVersione));
  if (!nome) return false;
  const std::optional<std::uint32_t> lingua = immagine.Voce(*nome, std::nullopt);
  if (!lingua || (*lingua & kBitSottocartella) != 0) return false;

  // IMAGE_RESOURCE_DATA_ENTRY: the RVA and size of the resource.
  std::string b;
  if (!immagine.LeggiRva(std::uint64_t{*radice} + *lingua, 16, &b)) return false;
  const std::uint32_t dati = U32(b, 0);
  const std::uint32_t dimensione = U32(b, 4);
  if (dimensione < kTestaVersione || !immagine.LeggiRva(dati, kTestaVersione, &b)) return false;

  const std::uint16_t lunghezza = U16(b, 0);
  const std::uint16_t lunghezza_valore = U16(b, 2);
  if (lunghezza < kTestaVersione || lunghezza > dimensione ||
      lunghezza_valore < kDimensioneInfoFisse) {
    return false;
  }
  // The key with its terminator.
  for (std::size_t i = 0; i <= kChiaveVersione.size(); ++i) {
    const char16_t atteso = i < kChiaveVersione.size() ? kChiaveVersione[i] : u'\0';
    if (U16(b, 6 + 2 * i) != atteso) return false;
  }

  std::uint32_t* campi[] = {
      &info->signature,       &info->struc_version,      &info->file_version_ms,
      &info->file_version_ls, &info->product_version_ms, &info->product_version_ls,
      &info->file_flags_mask, &info->file_flags,         &info->file_os,
      &info->file_type,       &info->file_subtype,       &info->file_date_ms,
      &info->file_date_ls};
  if (U32(b, kInizioInfoFisse) != kFirmaInfoFisse) return false;
  for (std::size_t i = 0; i < std::size(campi); ++i) *campi[i] = U32(b, kInizioInfoFisse + 4 * i);
  return true;
}

}  // namespace mlx
