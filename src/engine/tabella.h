// The one dispatch table: the rows and line kinds of every command family, joined, and the
// state that each family keeps, owned by the engine. Every row is bound to its own family's
// state, so a handler sees the run context and that state and nothing else.
#pragma once

#include <functional>
#include <string_view>

#include "database/comandi_database.h"
#include "engine/comando.h"
#include "flow/comandi_flusso.h"

namespace mlx {

// The state of every command family that keeps one. A run starts each from its initial value.
struct Famiglie {
  StatoDatabase database;
  StatoFlusso flusso;
};

// A row of the joined table.
struct Comando {
  std::function<Lavoro(ContestoEsecuzione&, Famiglie&)> gestore;
  // The step that runs the statement the command built; empty for a command that builds none.
  std::function<void(ContestoEsecuzione&, Famiglie&)> istruzione;
  InProva prova;
};

// A line kind; an empty handler does nothing (comments).
using GestoreRiga = std::function<void(ContestoEsecuzione&, Famiglie&)>;

// The row of a command code; nullptr when no command has that code.
const Comando* TrovaComando(std::string_view codice);
// The handler of a line by its first character (a code point; "" for an empty line); nullptr
// when the line is a command line.
const GestoreRiga* TrovaTipoRiga(std::string_view primo);

}  // namespace mlx
