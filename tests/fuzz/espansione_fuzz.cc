// Placeholder expansion: the lines before the first empty line are variables ("name=value"),
// the rest is the text to expand. An expansion ends with the expanded text or a script error,
// within the size bound; a text without placeholders is its own expansion.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "engine/errore.h"
#include "fakes/fakes.h"
#include "variables/espansione.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  using namespace mlx;
  const std::string bytes(reinterpret_cast<const char*>(dati), quanti);
  std::size_t vuota = bytes.find("\n\n");
  const std::string variabili = vuota == std::string::npos ? "" : bytes.substr(0, vuota);
  const std::string testo = vuota == std::string::npos ? bytes : bytes.substr(vuota + 2);

  CollezioneTesti store;
  std::size_t inizio = 0;
  while (inizio < variabili.size()) {
    std::size_t fine = variabili.find('\n', inizio);
    if (fine == std::string::npos) fine = variabili.size();
    const std::string riga = variabili.substr(inizio, fine - inizio);
    const std::size_t uguale = riga.find('=');
    if (uguale != std::string::npos) ScriviVoce(&store, riga.substr(uguale + 1), riga.substr(0, uguale));
    inizio = fine + 1;
  }

  fakes::FakeClock orologio;
  fakes::FakeSysInfo sistema;
  Platform plat;
  plat.clock = &orologio;
  plat.sysinfo = &sistema;
  try {
    const std::string espanso = EspandiVariabili(&store, testo, plat);
    if (espanso.size() > kMaxLunghezzaEspansa && espanso.size() > testo.size()) std::abort();
    if (!HaSegnaposti(testo) && espanso != testo) std::abort();
  } catch (const ErroreScript&) {
    if (!HaSegnaposti(testo)) std::abort();  // nothing to expand cannot fail
  }
  return 0;
}
