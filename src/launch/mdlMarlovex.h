// The start-up module: the command-line grammar, and loading and running each script file in
// a fresh engine.
#pragma once

#include <string>
#include <vector>

#include "engine/collezione.h"
#include "engine/processo.h"
#include "engine/righe.h"
#include "engine/utilita.h"

namespace mlx {

// A script file being loaded with its includes.
struct Caricamento {
  // The lines read so far; the last element is an empty slot.
  mlx::RigheScript RigheScript{std::vector<std::string>{""}};
  // The chain of files being read, to refuse circular includes.
  CollezioneTesti FileInCaricamento;
};

// Runs the program with the whole argument text (everything after the program's name).
void Main(StatoProcesso& stato, const std::string& argomenti);
void ElaboraRigaComando(StatoProcesso& stato, const std::string& argomenti);
void LeggiOpzioni(StatoProcesso& stato, const std::string& argomenti);
void EseguiScript(StatoProcesso& stato, const std::string& percorso);
// Reads the file and its includes into `caricamento`; false (and reported) when one of them is
// missing, cannot be read or includes itself.
bool CaricaScript(StatoProcesso& stato, Caricamento& caricamento, const std::string& percorso);

}  // namespace mlx
