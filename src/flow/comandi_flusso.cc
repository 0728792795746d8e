// The flow family.
#include "flow/comandi_flusso.h"

#include "engine/contesto.h"

namespace mlx {

namespace {

Lavoro CmdFine(ContestoEsecuzione& c) {
  c.Azione = "Termine esecuzione";
  // Interrompi clears the engine, which switches the log off: this sentence is never logged.
  c.Interrompi();
  return {};
}

}  // namespace

const Famiglia<>& FamigliaFlusso() {
  static constexpr Voce<> comandi[] = {
      {"END", CmdFine, false, InProva::Esegue},
  };
  static const Famiglia<> famiglia{comandi};
  return famiglia;
}

}  // namespace mlx
