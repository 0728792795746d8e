// The parts of the atomic replacement that every platform shares: the calls in use and the
// loop that writes a whole buffer.
#include <cerrno>

#include "platform/fs/replace.h"

namespace mlx::fs {

namespace {

FileCalls g_system_calls;
FileCalls* g_calls = &g_system_calls;

}  // namespace

FileCalls& Calls() { return *g_calls; }

FileCalls* SetCalls(FileCalls* calls) {
  FileCalls* before = g_calls;
  g_calls = calls != nullptr ? calls : &g_system_calls;
  return before == &g_system_calls ? nullptr : before;
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = Calls().Write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace mlx::fs
