// Programs and components: starting a program with or without waiting, and a component's
// self-registration.
#pragma once

#include <string>

#include "engine/processo.h"

namespace mlx {

// Runs the program (a script path) with the arguments, in the folder; waits for its end when
// the wait text is true. True when it started. A failure is noted on standard error with
// --verbose and never shown otherwise.
bool EseguiProgramma(StatoProcesso& stato, const std::string& szExec, const std::string& argomenti,
                     const std::string& attesa, const std::string& cartella);
// Starts the program and waits for it to end; Ctrl+C stops it too. True when it started.
bool EseguiEAttendi(StatoProcesso& stato, const std::string& applicazione,
                    const std::string& argomenti, const std::string& cartella);

// Calls the component's DllRegisterServer (or, bRegister false, DllUnregisterServer). True when
// the entry point exists and answers 0; a missing file, a file that is not a library or one
// without the entry point answer false and nothing is called. Reached through the engine's
// public RegisterServer.
bool RegisterServer(StatoProcesso& stato, const std::string& DllServerPath, bool bRegister);

}  // namespace mlx
