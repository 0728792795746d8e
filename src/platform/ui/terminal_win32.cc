#include <windows.h>
#include <io.h>

#include "platform/ui/terminal.h"

namespace mlx::ui {

namespace {

HANDLE HandleOf(std::FILE* stream) {
  return stream == nullptr ? INVALID_HANDLE_VALUE
                           : reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

}  // namespace

// _isatty answers true for any character device, the NUL device included: only a handle
// with a console mode is a console.
bool IsTerminal(std::FILE* stream) {
  DWORD mode = 0;
  return GetConsoleMode(HandleOf(stream), &mode) != 0;
}

int TerminalColumns(std::FILE* stream) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(HandleOf(stream), &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace mlx::ui
