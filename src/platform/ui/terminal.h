// What the terminal dialogs ask of the console: whether a stream is one, and how wide it is.
#pragma once

#include <cstdio>

namespace mlx::ui {

// Whether the stream is a terminal (a console window on Windows; the NUL device is not one).
bool IsTerminal(std::FILE* stream);
// The terminal's width in columns; 0 when the stream is no terminal or does not tell.
int TerminalColumns(std::FILE* stream);

}  // namespace mlx::ui
