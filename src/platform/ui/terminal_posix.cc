#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/ui/terminal.h"

namespace mlx::ui {

bool IsTerminal(std::FILE* stream) {
  return stream != nullptr && isatty(fileno(stream)) == 1;
}

int TerminalColumns(std::FILE* stream) {
  struct winsize size {};
  if (stream != nullptr && ioctl(fileno(stream), TIOCGWINSZ, &size) == 0) return size.ws_col;
  return 0;
}

}  // namespace mlx::ui
