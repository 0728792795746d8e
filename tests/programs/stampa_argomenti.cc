// A program for the tests of started programs: writes its arguments, one a line, to
// "argomenti.txt" in its working folder (whole, through a rename), then, when the first
// argument is "--dormi", sleeps for a minute, having written its process id to "pid.txt".
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--dormi") std::ofstream("pid.txt") << getpid();
  {
    std::ofstream out("argomenti.tmp", std::ios::binary);
    for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
  }
  if (std::rename("argomenti.tmp", "argomenti.txt") != 0) return 1;
  if (argc > 1 && std::string(argv[1]) == "--dormi") sleep(60);
  return 0;
}
