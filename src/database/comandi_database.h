// The database family: the database and table lines, the commands that build a statement on
// the current table, the commands that call a schema operation, and the database-wide
// commands.
#pragma once

#include <string>

#include "engine/comando.h"

namespace mlx {

// The statement a command of the line builds, run at the end of the line.
struct StatoDatabase {
  std::string SqlTesta, SqlAzione, SqlCoda;
  // The statement adds a text or memo column, which then accepts zero-length text.
  bool NuovoCampoTesto = false;
};

const Famiglia<StatoDatabase>& FamigliaDatabase();

}  // namespace mlx
