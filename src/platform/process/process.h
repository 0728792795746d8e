// Starting programs. Paths given here are native; the caller maps script paths first. No text
// ever reaches a shell: a program's arguments are split by the Windows command-line rules and
// handed to it as they are.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/status.h"

namespace mlx::process {

// Splits a command line into arguments as Windows programs read theirs: blanks and tabs
// separate arguments; double quotes group blanks into one argument and are dropped;
// backslashes are literal except before a double quote, where 2n of them give n and the quote
// keeps its meaning, and 2n+1 give n and a literal quote; inside quotes, "" is a literal quote.
std::vector<std::string> SplitCommandLine(std::string_view line);

// One argument written so that SplitCommandLine reads it back unchanged: as it is when it has
// no blank, tab or quote and is not empty, else quoted, with the backslashes before a quote
// (and before the closing one) doubled and each quote escaped.
std::string QuoteArgument(std::string_view argument);

// The command line of a program started with these arguments: the program quoted as one
// argument, then the argument text as written, so the program splits exactly what the script
// wrote.
std::string BuildCommandLine(std::string_view program, std::string_view arguments);

class Processes {
 public:
  virtual ~Processes() = default;

  // Runs the program with the arguments (one command-line text) in the folder, and waits for
  // it to end. The wait sleeps; every fraction of a second it asks `interrupted`, and when that
  // answers true the program is stopped too. OK when the program was started, whatever its exit
  // code.
  virtual Status RunAndWait(const std::string& program, std::string_view arguments,
                            const std::string& folder,
                            const std::function<bool()>& interrupted) = 0;

  // Starts the program without waiting: an executable file runs detached (in a session of its
  // own, outliving this process, never left a zombie); any other file is opened with the
  // desktop's opener, when there is one. OK when it was started.
  virtual Status Start(const std::string& program, std::string_view arguments,
                       const std::string& folder) = 0;

  // The full path of this program's own executable.
  virtual std::string SelfPath() = 0;
};

struct ProcessOptions {
  // The program that opens documents; looked up in PATH when it has no "/". Windows opens
  // documents with the program the system associates with them, and does not use it.
  std::string opener = "xdg-open";
};
std::unique_ptr<Processes> MakeProcesses(ProcessOptions options = {});

}  // namespace mlx::process
