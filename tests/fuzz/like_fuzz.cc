// The pattern match. The bytes up to the first NUL are the text, the rest the pattern (the
// whole input is both when there is no NUL). Beside not failing, a few things always hold: "*"
// matches every text, a text without special characters matches itself, and "*" before and
// after a pattern keeps every match it had.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/text/text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  using mlx::text::Like;
  const std::string bytes(reinterpret_cast<const char*>(dati), quanti);
  const std::size_t nul = bytes.find('\0');
  const std::string testo = bytes.substr(0, nul);
  const std::string modello = nul == std::string::npos ? bytes : bytes.substr(nul + 1);

  const bool trovato = Like(testo, modello);
  if (!Like(testo, "*")) std::abort();
  if (testo.find_first_of("*?#[]") == std::string::npos && !Like(testo, testo)) std::abort();
  if (trovato && !Like(testo, "*" + modello + "*")) std::abort();
  return 0;
}
