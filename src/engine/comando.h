// The rows a command family exports to the dispatch table, and its line kinds. Every family
// (database, registry, switches, variables, flow; next conditions, dialogs, files, programs)
// has a folder of its own and one function there that answers its Famiglia; the engine joins
// them into the one table (engine/tabella.cc) and owns the state each family keeps.
#pragma once

#include <functional>
#include <span>
#include <string_view>

namespace mlx {

struct ContestoEsecuzione;

// What a dry run (the engine's Vero false) does with a command.
enum class InProva {
  Rispetta,  // only the sentence is composed: the command's work and statement are left out
  Esegue,    // the command runs as in a real execution
  // The command changes only databases or the registry: it runs when the process works on
  // private copies of them (a rehearsal), and is treated as Rispetta otherwise.
  SuCopia,
};

// The work of a command, handed back to the engine once the arguments are read and the
// sentence is composed, so that the dry-run rule is applied by the engine alone. A command
// that honours the dry run leaves all its work here; one that runs regardless may do its work
// itself and hand back nothing.
using Lavoro = std::function<void()>;

template <typename Stato>
struct GestoriDi {
  // A command: reads its arguments, composes the sentence, answers its work.
  using Comando = Lavoro (*)(ContestoEsecuzione&, Stato&);
  // A line kind, or the statement step of a family.
  using Riga = void (*)(ContestoEsecuzione&, Stato&);
};
// A family that keeps no state of its own sees only the run context.
template <>
struct GestoriDi<void> {
  using Comando = Lavoro (*)(ContestoEsecuzione&);
  using Riga = void (*)(ContestoEsecuzione&);
};

// One row of the dispatch table.
template <typename Stato = void>
struct Voce {
  std::string_view codice;  // the command code, compared whole and case-sensitively
  typename GestoriDi<Stato>::Comando gestore;
  bool costruisceSql;  // the command builds the statement run at the end of the line
  InProva prova;
};

// A line kind: a line whose first character is `primo` goes to the handler.
template <typename Stato = void>
struct TipoRiga {
  std::string_view primo;
  typename GestoriDi<Stato>::Riga gestore;
};

// Everything a family brings to the table.
template <typename Stato = void>
struct Famiglia {
  std::span<const Voce<Stato>> comandi;
  std::span<const TipoRiga<Stato>> righe = {};
  // Runs the statement built by a row with `costruisceSql`: called by the engine at the end of
  // the line when the command read its arguments and the dry-run rule lets it run.
  typename GestoriDi<Stato>::Riga istruzione = nullptr;
};

}  // namespace mlx
