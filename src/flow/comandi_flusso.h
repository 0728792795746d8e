// The flow family: condition lines and blocks, jumps, subroutines, loops over databases and the
// end of the run. Every command of the family moves the working line number of the run
// context, from which the run goes on.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/comando.h"

namespace mlx {

// One loop over databases: the list it walks and where it stands.
struct CicloDatabase {
  bool CicloAttivo = false;
  std::int32_t IndiceCiclo = -1;
  std::vector<std::string> ElencoCiclo;
};

struct StatoFlusso {
  // The result of the last condition line that was evaluated; "^ELSE^" reads it.
  bool EsitoCondizione = true;
  // The loops, each under its label (without regard to case): a loop inside another walks its
  // own list and cannot start the outer one's over, and a loop left by a jump goes on with its
  // list at the next LOOP line of its label.
  std::map<std::string, CicloDatabase> cicli;
};

// The question asked before the first true condition of a run.
extern const char* const kTestoAvviso;

const Famiglia<StatoFlusso>& FamigliaFlusso();

}  // namespace mlx
