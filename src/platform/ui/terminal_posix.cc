#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/ui/terminal.h"

namespace mlx::ui::terminal {

bool IsTerminal(std::FILE* stream) {
  return stream != nullptr && isatty(fileno(stream)) == 1;
}

bool IsConsoleInput(std::FILE* stream) { return IsTerminal(stream); }

int Columns(std::FILE* stream) {
  struct winsize size {};
  if (stream != nullptr && ioctl(fileno(stream), TIOCGWINSZ, &size) == 0) return size.ws_col;
  return 0;
}

bool AppendWhole(const std::string& path, std::string_view bytes) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool written = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  return close(fd) == 0 && written;
}

MessageBoxFunction DesktopMessageBox() {
  return {};
}

}  // namespace mlx::ui::terminal
