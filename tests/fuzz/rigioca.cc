// Replays corpus files through a fuzz target's entry point, without fuzzing: each argument is
// a file or a folder whose files are fed to the target one by one, in name order. Ends with
// status 1 when an argument cannot be read or a folder holds no file.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti);

int main(int argc, char** argv) {
  namespace stdfs = std::filesystem;
  std::vector<stdfs::path> file;
  for (int i = 1; i < argc; ++i) {
    std::error_code errore;
    if (stdfs::is_directory(argv[i], errore)) {
      std::vector<stdfs::path> trovati;
      for (const auto& voce : stdfs::directory_iterator(argv[i], errore)) {
        if (voce.is_regular_file()) trovati.push_back(voce.path());
      }
      if (trovati.empty()) {
        std::fprintf(stderr, "%s: nessun file\n", argv[i]);
        return 1;
      }
      std::sort(trovati.begin(), trovati.end());
      file.insert(file.end(), trovati.begin(), trovati.end());
    } else {
      file.emplace_back(argv[i]);
    }
  }
  for (const stdfs::path& percorso : file) {
    std::ifstream in(percorso, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: non si legge\n", percorso.string().c_str());
      return 1;
    }
    std::stringstream s;
    s << in.rdbuf();
    const std::string bytes = s.str();
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu file rigiocati\n", file.size());
  return 0;
}
