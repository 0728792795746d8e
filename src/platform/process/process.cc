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

std::string QuoteArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char ch : argument) {
    if (ch == '\\') {
      ++backslashes;
      continue;
    }
    // Before a quote the backslashes are doubled and one more escapes the quote itself.
    quoted.append(ch == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted.push_back(ch);
  }
  quoted.append(2 * backslashes, '\\');  // the closing quote must stay a quote
  quoted.push_back('"');
  return quoted;
}

std::string BuildCommandLine(std::string_view program, std::string_view arguments) {
  std::string line = QuoteArgument(program);
  if (!arguments.empty()) {
    line.push_back(' ');
    line.append(arguments);
  }
  return line;
}

}  // namespace mlx::process
