// Flow-control commands.
#include "engine/clsMarlovex.h"

namespace mlx {

void clsMarlovex::CmdFine() {
  Azione = "Termine esecuzione";
  // Interrompi clears the engine, which switches the log off: this sentence is never logged.
  Interrompi();
}

}  // namespace mlx
