// Small text functions every command family uses to cut script lines into pieces, join paths,
// read truth values and keep keyed collections. Their edge behaviour is part of the script
// language: scripts rely on what they return for a missing separator, an empty text or a
// missing key.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "engine/collezione.h"

namespace mlx {

namespace db { class Recordset; }
namespace fs { class FileSystem; }
namespace ui { class Ui; }

// The first position of the byte `c` in `testo` from `da`, npos when it is missing. The text is
// read eight bytes at a time in the program's own loop: the texts of a script line are short,
// and most searches end before a library call would have begun.
inline std::size_t CercaCarattere(std::string_view testo, char c, std::size_t da = 0) {
  constexpr std::uint64_t kUni = 0x0101010101010101ull;
  constexpr std::uint64_t kBassi = 0x7F7F7F7F7F7F7F7Full;
  const std::uint64_t cercato = kUni * static_cast<unsigned char>(c);
  std::size_t i = da;
  for (; i + 8 <= testo.size(); i += 8) {
    std::uint64_t parola;
    std::memcpy(&parola, testo.data() + i, sizeof parola);
    // The high bit of every byte equal to `c`, and of no other.
    const std::uint64_t x = parola ^ cercato;
    const std::uint64_t uguali = ~(((x & kBassi) + kBassi) | x | kBassi);
    if (uguali != 0) {
      // The first byte of the text is the word's lowest on a little-endian machine.
      if constexpr (std::endian::native == std::endian::little) {
        return i + static_cast<std::size_t>(std::countr_zero(uguali)) / 8;
      } else {
        return i + static_cast<std::size_t>(std::countl_zero(uguali)) / 8;
      }
    }
  }
  if (i >= testo.size()) return std::string_view::npos;
  if (testo.size() < 8) {
    for (; i < testo.size(); ++i) {
      if (testo[i] == c) return i;
    }
    return std::string_view::npos;
  }
  // The last few bytes are read as the text's last word, whose bytes before i were read
  // already and are left out.
  const std::size_t ultima = testo.size() - 8;
  std::uint64_t parola;
  std::memcpy(&parola, testo.data() + ultima, sizeof parola);
  const std::uint64_t x = parola ^ cercato;
  std::uint64_t uguali = ~(((x & kBassi) + kBassi) | x | kBassi);
  const unsigned letti = static_cast<unsigned>(8 * (i - ultima));
  if constexpr (std::endian::native == std::endian::little) {
    uguali &= ~std::uint64_t{0} << letti;
    if (uguali != 0) return ultima + static_cast<std::size_t>(std::countr_zero(uguali)) / 8;
  } else {
    uguali &= ~std::uint64_t{0} >> letti;
    if (uguali != 0) return ultima + static_cast<std::size_t>(std::countl_zero(uguali)) / 8;
  }
  return std::string_view::npos;
}

// The first position of `cercato` in `testo` from `da`, npos when it is missing. The texts of
// a script line are short: a plain comparison finds a short piece sooner than a library search,
// once the library's scan for its first byte has found where it may begin.
constexpr std::size_t Cerca(std::string_view testo, std::string_view cercato,
                            std::size_t da = 0) {
  if (cercato.size() > testo.size()) return std::string_view::npos;
  const std::size_t ultimo = testo.size() - cercato.size();
  if (!std::is_constant_evaluated() && !cercato.empty()) {
    const std::string_view inizi = testo.substr(0, ultimo + 1);
    for (std::size_t i = CercaCarattere(inizi, cercato[0], da); i != std::string_view::npos;
         i = CercaCarattere(inizi, cercato[0], i + 1)) {
      std::size_t k = 1;
      while (k < cercato.size() && testo[i + k] == cercato[k]) ++k;
      if (k == cercato.size()) return i;
    }
    return std::string_view::npos;
  }
  for (std::size_t i = da; i <= ultimo; ++i) {
    std::size_t k = 0;
    while (k < cercato.size() && testo[i + k] == cercato[k]) ++k;
    if (k == cercato.size()) return i;
  }
  return std::string_view::npos;
}

// The text after the first separator; "" when it is missing; the whole text for "".
std::string DestraDi(std::string_view testo, std::string_view sep);
// The same, as a view into the text.
std::string_view DestraDiVista(std::string_view testo, std::string_view sep);
// The text before the first separator; the whole text when it is missing; "" for "".
std::string SinistraDi(std::string_view testo, std::string_view sep);
// Piece n (1-based) of the text split at sep; "" when there is no such piece.
std::string Elemento(std::string_view testo, int n, std::string_view sep);
// Splits at every occurrence of sep; empty pieces stay. An empty text gives one empty piece.
std::vector<std::string> Dividi(std::string_view testo, std::string_view sep);
// The same into `parti`, whose texts are reused.
void Dividi(std::string_view testo, std::string_view sep, std::vector<std::string>* parti);
// Elements from index `inizio` to the end joined by sep; "" past the end.
std::string UnisciDa(const std::vector<std::string>& arr, std::string_view sep, long inizio);
// The same, appended to `*risultato`.
void AggiungiUnioneDa(const std::vector<std::string>& arr, std::string_view sep, long inizio,
                      std::string* risultato);
std::string RaddoppiaApici(std::string_view testo);
bool IsVero(std::string_view testo);
// 0 for "", the number otherwise; a text that is not a number is a script error.
double ValoreNumerico(std::string_view testo);
// Whether the text reads as a number as ValoreNumerico reads it; "" and blanks are not numbers.
bool IsNumeric(std::string_view testo);
// The number as a 32-bit integer, a fraction rounded to the nearest (a half to the even
// neighbour); no number is a type error, one outside the range an overflow.
std::int32_t ValoreIntero(std::string_view testo);
// Whether a path names its place from the root: it begins with a separator ("/" or "\") or
// with a drive letter and a colon ("C:").
bool PercorsoAssoluto(std::string_view percorso);
// Folder and name joined by one separator ("\" or "/", whichever the folder uses).
std::string UnisciPercorso(std::string_view cartella, std::string_view file);
// The text after the last separator (the whole path when there is none).
std::string SoloFile(std::string_view percorso);
// The text before the last separator (the whole path when there is none).
std::string SoloPercorso(std::string_view percorso);
// Leading and trailing blanks (the blank character only) removed.
std::string TogliSpazi(std::string_view testo);
// The same, as a view into the text.
std::string_view SenzaSpazi(std::string_view testo);
std::string Sostituisci(std::string_view testo, std::string_view da, std::string_view a);

using CollezioneTesti = Collezione<std::string>;
// The item under the key; "" when the key or the collection is missing.
std::string LeggiVoce(const CollezioneTesti* coll, std::string_view chiave);
std::string LeggiVoceDestra(const CollezioneTesti* coll, std::string_view chiave,
                            std::string_view sep);
// The same, as a view into the stored item: valid until the collection changes.
std::string_view VoceDestra(const CollezioneTesti* coll, std::string_view chiave,
                            std::string_view sep);
// Stores the value under the key, replacing an earlier one.
void ScriviVoce(CollezioneTesti* coll, std::string valore, std::string_view chiave);
// The item under the key to be written in place (a new empty one when the key is missing).
std::string& VoceDaScrivere(CollezioneTesti* coll, std::string_view chiave);
void SvuotaCollection(std::unique_ptr<CollezioneTesti>& coll);

// The data type code of the named field of the recordset; -4 when it cannot be read.
std::int32_t TipoCampo(db::Recordset* rs, std::string_view nome);

// True when the named form is loaded. The one form of the program is the wait window,
// "frmWait" (the name compares exactly).
bool FormCaricato(ui::Ui* interfaccia, std::string_view nome);
// Unloads the wait window when it is loaded.
void ScaricaAttesa(ui::Ui* interfaccia);

// Writes the text and CR LF to the file, replacing it when `sovrascrivi` is true and appending
// otherwise. A failure (missing folder, file locked) is passed over.
void ScriviSuFile(fs::FileSystem& fileSystem, const std::string& percorso,
                  const std::string& testo, bool sovrascrivi);

// The text form of a Boolean, as conditions and flags are written.
inline const char* TestoBooleano(bool b) { return b ? "True" : "False"; }

}  // namespace mlx
