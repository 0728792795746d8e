#include "platform/process/process.h"

namespace mlx::process {

std::vector<std::string> SplitCommandLine(std::string_view line) {
  std::vector<std::string> args;
  std::string current;
  bool in_arg = false;  // an argument has begun (an empty "" one included)
  bool quoted = false;
  std::size_t i = 0;
  while (i < line.size()) {
    const char ch = line[i];
    if (ch == '\\') {
      std::size_t n = 0;
      while (i < line.size() && line[i] == '\\') {
        ++n;
        ++i;
      }
      in_arg = true;
      if (i < line.size() && line[i] == '"') {
        current.append(n / 2, '\\');
        if (n % 2 == 1) {
          current.push_back('"');
          ++i;
        }
        // With an even count the quote is read by the next round.
      } else {
        current.append(n, '\\');
      }
      continue;
    }
    if (ch == '"') {
      in_arg = true;
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
        current.push_back('"');
        i += 2;
        continue;
      }
      quoted = !quoted;
      ++i;
      continue;
    }
    if ((ch == ' ' || ch == '\t') && !quoted) {
      if (in_arg) args.push_back(std::move(current));
      current.clear();
      in_arg = false;
      ++i;
      continue;
    }
    current.push_back(ch);
    in_arg = true;
    ++i;
  }
  if (in_arg) args.push_back(std::move(current));
  return args;
}

}  // namespace mlx::process
