// Placeholder expansion: "{<name>}" in a line is replaced by the variable's value or by one of
// the built-in system values.
#pragma once

#include <string>
#include <string_view>

#include "engine/utilita.h"
#include "platform/platform.h"

namespace mlx {

// Replacements allowed in one line before the expansion is declared endless (a value that
// holds a placeholder of its own variable), and the longest text an expansion may build.
constexpr long kMaxSostituzioni = 10000;
constexpr std::size_t kMaxLunghezzaEspansa = 16u << 20;

// Whether the text holds a placeholder to expand: one that holds none expands to itself.
inline bool HaSegnaposti(std::string_view testo) { return Cerca(testo, "{<") != testo.npos; }

// Expands every placeholder of `testo`. A name that is neither built in nor in the store, a
// "{<" without ">}", and an endless expansion are script errors.
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
