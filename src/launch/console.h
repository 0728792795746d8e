// What the program's entry asks of the console and the process, the same on every platform.
#pragma once

#include <string>
#include <vector>

namespace mlx {

// The command line's arguments after the program's name, as UTF-8.
std::vector<std::string> ArgomentiProgramma(int argc, char** argv);

// Text written to the console is UTF-8.
void PreparaConsole();

// The first Ctrl+C (or request to terminate) asks the run to stop after the line in progress,
// so that the database is closed with nothing half-written; the handler is then removed, so a
// second one ends a program that is waiting on something else at once.
void InstallaInterruzione();
bool InterruzioneRichiesta();

// Makes the native folder the current one; false when it cannot.
bool CambiaCartella(const std::string& native);

}  // namespace mlx
