// Variable-assignment commands.
#include "engine/clsMarlovex.h"

namespace mlx {

void clsMarlovex::CmdAssegna() {
  const std::string valore = RestoDa(2);
  ScriviVoce(ExecVars.get(), Campo + " = " + valore, Campo);
  Azione = "Variabile " + Campo + " = " + valore;
}

}  // namespace mlx
