// What the dialogs ask of the system beside plain reading and writing: whether a stream is a
// terminal that takes the cursor movements of the wait window, its width, a whole-line append
// for the transcript, and the desktop's own message box. One implementation per platform.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace mlx::ui::terminal {

// Whether the stream is a terminal the wait window can be redrawn on in place. On Windows a
// console is made to take escape sequences and UTF-8 here; one that cannot is no terminal.
bool IsTerminal(std::FILE* stream);

// Whether the user types at the stream: a terminal, or a console on Windows.
bool IsConsoleInput(std::FILE* stream);

// The width in columns of the terminal behind the stream; 0 when it is not known.
int Columns(std::FILE* stream);

// Appends the bytes to the file (created when missing) with one write, so that the lines of
// processes sharing the file never interleave; false when that failed.
bool AppendWhole(const std::string& path, std::string_view bytes);

// A message box: text, title, style in, answer code out (0 when it could not be shown).
using MessageBoxFunction = std::function<int(const std::string&, const std::string&, int)>;

// The desktop's message box when the process has a desktop to show it on and its standard
// input is a console; an empty function otherwise (and always where the terminal is the only
// dialog, as on POSIX).
MessageBoxFunction DesktopMessageBox();

}  // namespace mlx::ui::terminal
