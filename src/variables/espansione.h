// Placeholder expansion: "{<name>}" in a line is replaced by the variable's value or by one of
// the built-in system values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/utilita.h"
#include "platform/platform.h"

namespace mlx {

// The bounds of one expansion. A placeholder inside a value is expanded in turn, so a value that
// holds a placeholder of its own variable would expand without end; the expansion stops at the
// first bound it reaches: placeholders nested inside values more than kMaxProfondita deep, more
// than kMaxSostituzioni replacements, or a text longer than kMaxLunghezzaEspansa.
constexpr long kMaxProfondita = 10000;
constexpr long kMaxSostituzioni = 100000;
constexpr std::size_t kMaxLunghezzaEspansa = 16u << 20;

// Whether the text holds a placeholder to expand: one that holds none expands to itself.
inline bool HaSegnaposti(std::string_view testo) { return Cerca(testo, "{<") != testo.npos; }

// Expands the placeholders of a text. The text still to be read is kept as a stack of views (of
// the text, of stored values) rather than rebuilt at each replacement, so the work grows with
// the length of the result, whatever the nesting. Its buffers are kept from one expansion to
// the next: expanding line after line allocates nothing once they are large enough.
class Espansore {
 public:
  // The expansion of `testo`: the text itself when it holds no placeholder, otherwise a text
  // kept by this object until its next expansion. A name that is neither built in nor in the
  // store, a "{<" without ">}", and an expansion past its bounds are script errors.
  std::string_view Espandi(const CollezioneTesti* store, std::string_view testo,
                           const Platform& plat);
  // The expansion of `testo` into `*risultato`, whose content is replaced.
  void EspandiIn(const CollezioneTesti* store, std::string_view testo, const Platform& plat,
                 std::string* risultato);

  // The work of the last expansion: placeholders replaced, and bytes read (every byte of the
  // result and of the placeholders replaced is read once).
  long Sostituzioni() const { return sostituzioni_; }
  std::size_t ByteLetti() const { return letti_; }

 private:
  // A piece of the text still to be read, and the replacement it comes from (-1: the text
  // itself).
  struct Pezzo {
    std::string_view testo;
    std::int32_t origine;
  };
  // A replacement whose value is being read: the variable's item (nullptr for a built-in name),
  // the replacement its placeholder was read from, and how deep it is nested.
  struct Origine {
    const std::string* voce;
    std::int32_t genitore;
    std::int32_t profondita;
  };

  // The expansion of `testo`, whose first `da` bytes hold no placeholder.
  void EspandiDa(const CollezioneTesti* store, std::string_view testo, std::size_t da,
                 const Platform& plat, std::string* risultato);
  // Removes n bytes (at most the whole top piece) from the top of the stack.
  void Togli(std::size_t n);
  // Reads the name after "{<" up to ">}" into nome_; false when no ">}" follows.
  bool LeggiNome();
  // The same for a name that may run across pieces, gathered in nomeUnito_.
  bool LeggiNomeUnito();
  // Whether the variable of `voce` is being read already where its placeholder was found.
  bool RimandaASe(std::int32_t origine, const std::string* voce) const;
  [[noreturn]] void Limite(std::int32_t origine, const std::string* voce, long profondita,
                           std::size_t lunghezza) const;

  std::vector<Pezzo> pila_;  // the top piece is read first
  std::size_t resto_ = 0;    // bytes in the stack
  std::vector<Origine> origini_;
  std::string_view nome_;  // the name being replaced
  std::string nomeUnito_;
  // Values of built-in names, kept while the expansion reads them.
  std::vector<std::unique_ptr<std::string>> sistema_;
  std::string buffer_;
  long sostituzioni_ = 0;
  std::size_t letti_ = 0;
};

// Expands every placeholder of `testo` (see Espansore).
std::string EspandiVariabili(const CollezioneTesti* store, std::string_view testo,
                             const Platform& plat);

// The value of a built-in name ("SYS_DATE", ..., "SPAZIO"); false when the name is not one.
bool ValoreDiSistema(std::string_view nome, const Platform& plat, std::string* valore);

// The parts of a variable test "{<name>}op value", as views of it; the value as written.
struct PartiTestVariabile {
  std::string_view nome;
  std::string_view operatore;
  std::string_view valore;
};
PartiTestVariabile DividiTestVariabile(std::string_view testo);

// Splits a variable test "{<name>}op value" into its name, two-character operator and value
// (the value expanded).
void ScomponiTestVariabile(const CollezioneTesti* store, std::string_view testo,
                           const Platform& plat, std::string* nome, std::string* operatore,
                           std::string* valore);

// System information, each the platform's nearest equivalent.
std::string VersioneWindows(const Platform& plat);
std::string CartellaWindows(const Platform& plat);
std::string CartellaSistema(const Platform& plat);
std::string CartellaTemp(const Platform& plat);
std::string NomeComputer(const Platform& plat);
std::string NomeUtente(const Platform& plat);
std::string VariabileAmbiente(const Platform& plat, std::string_view nome);

}  // namespace mlx
