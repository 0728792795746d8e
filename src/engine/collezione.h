// A keyed collection whose keys compare without regard to case (ASCII and Latin-1), as every
// keyed collection of the script language does. The item keeps the key as last written.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/text/text.h"

namespace mlx {

// The hash of the short keys of the script language (names, codes): computed inline, which
// for texts of a few characters is quicker than the library's hash of arbitrary bytes.
struct HashBreve {
  using is_transparent = void;
  std::size_t operator()(std::string_view testo) const noexcept {
    std::uint64_t h = 14695981039346656037ull;
    for (const char ch : testo) {
      h ^= static_cast<unsigned char>(ch);
      h *= 1099511628211ull;
    }
    return static_cast<std::size_t>(h);
  }
};

// Equality of short keys, compared inline for the same reason.
struct UgualeBreve {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (a[i] != b[i]) return false;
    }
    return true;
  }
};

// Hash and equality of keys without regard to case, computed on the folded key without building
// it. A key of ASCII only (the usual name) is folded eight bytes at a time; any other is read
// through the folding byte by byte. Both give the hash of the same folded bytes, and a key and
// its folded form are either both ASCII or both not, so equal keys always hash alike.
struct HashSenzaMaiuscole {
  using is_transparent = void;
  std::size_t operator()(std::string_view testo) const noexcept {
    constexpr std::uint64_t kUni = 0x0101010101010101ull;
    constexpr std::uint64_t kAlti = 0x8080808080808080ull;
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ testo.size();
    const auto Mescola = [&h](std::uint64_t parola) {
      h = (h ^ parola) * 0xBF58476D1CE4E5B9ull;
      h ^= h >> 29;
    };
    // ASCII words first; the first byte that is not ASCII starts the key over byte by byte.
    std::size_t i = 0;
    for (; i < testo.size(); i += 8) {
      const std::size_t n = std::min<std::size_t>(8, testo.size() - i);
      std::uint64_t parola = 0;
      if (n == 8) {
        std::memcpy(&parola, testo.data() + i, 8);
      } else {
        for (std::size_t k = 0; k < n; ++k) {
          parola |= static_cast<std::uint64_t>(static_cast<unsigned char>(testo[i + k]))
                    << (8 * k);
        }
      }
      if ((parola & kAlti) != 0) break;
      // Bytes from 'A' to 'Z' get the 0x20 bit of their lower case.
      const std::uint64_t maiuscole =
          (parola + (0x80 - 'A') * kUni) & ~(parola + (0x80 - 'Z' - 1) * kUni) & kAlti;
      Mescola(parola | (maiuscole >> 2));
    }
    if (i < testo.size()) {
      h = 0x9E3779B97F4A7C15ull ^ testo.size();
      std::uint64_t parola = 0;
      std::size_t n = 0;
      for (text::FoldReader lettore(testo); !lettore.Done();) {
        parola |= static_cast<std::uint64_t>(static_cast<unsigned char>(lettore.Next()))
                  << (8 * (n % 8));
        if (++n % 8 == 0) {
          Mescola(parola);
          parola = 0;
        }
      }
      if (n % 8 != 0) Mescola(parola);
    }
    return static_cast<std::size_t>(h ^ (h >> 32));
  }
};

struct UgualeSenzaMaiuscole {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const noexcept {
    if (a.size() != b.size()) return false;
    // The usual case first, compared inline: the name written the same way.
    std::size_t i = 0;
    while (i < a.size() && a[i] == b[i]) ++i;
    if (i == a.size()) return true;
    text::FoldReader la(a), lb(b);
    while (!la.Done()) {
      if (la.Next() != lb.Next()) return false;
    }
    return true;
  }
};

template <typename T>
class Collezione {
 public:
  bool Contiene(std::string_view chiave) const { return voci_.find(chiave) != voci_.end(); }

  // The item under the key, or nullopt when the key is missing.
  std::optional<T> Leggi(std::string_view chiave) const {
    const T* voce = Trova(chiave);
    if (voce == nullptr) return std::nullopt;
    return *voce;
  }

  // The same without a copy: the item stays valid until the collection changes.
  const T* Trova(std::string_view chiave) const {
    auto it = voci_.find(chiave);
    return it == voci_.end() ? nullptr : &it->second;
  }

  // Adds the item; false (and nothing changed) when the key is already present.
  bool Aggiungi(std::string_view chiave, T valore) {
    if (Contiene(chiave)) return false;
    voci_.emplace(std::string(chiave), std::move(valore));
    return true;
  }

  // Stores the item under the key, replacing the one there was.
  void Scrivi(std::string_view chiave, T valore) { Voce(chiave) = std::move(valore); }

  // The item under the key to write in place, a new empty one when the key is missing: an item
  // written again and again keeps its storage.
  T& Voce(std::string_view chiave) {
    auto it = voci_.find(chiave);
    if (it == voci_.end()) it = voci_.emplace(std::string(chiave), T{}).first;
    return it->second;
  }

  void Rimuovi(std::string_view chiave) {
    auto it = voci_.find(chiave);
    if (it != voci_.end()) voci_.erase(it);
  }
  void Svuota() { voci_.clear(); }
  std::size_t Conta() const { return voci_.size(); }

 private:
  // Each key as it was first written; hashing and comparing fold its case.
  std::unordered_map<std::string, T, HashSenzaMaiuscole, UgualeSenzaMaiuscole> voci_;
};

}  // namespace mlx
