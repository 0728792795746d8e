// What a power loss leaves on disk, kept per file by its UTF-8 native path and put back past
// every layer under test: each file's content at its last flush, or no file at all.
#pragma once

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>

namespace mlx::guasti {

inline std::filesystem::path Nativo(const std::string& percorso) {
  return std::filesystem::path(std::u8string(percorso.begin(), percorso.end()));
}

// The file's bytes; nullopt when it cannot be read.
inline std::optional<std::string> Contenuto(const std::string& percorso) {
  std::ifstream in(Nativo(percorso), std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Writes the file whole, or deletes it for nullopt.
inline void Metti(const std::string& percorso, const std::optional<std::string>& contenuto) {
  std::error_code ignorato;
  if (!contenuto) {
    std::filesystem::remove(Nativo(percorso), ignorato);
    return;
  }
  std::ofstream(Nativo(percorso), std::ios::binary | std::ios::trunc) << *contenuto;
}

class Durevoli {
 public:
  // The first time a file is seen its content on disk is taken as durable.
  void Segui(const std::string& percorso) {
    if (stato_.count(percorso) == 0) stato_[percorso] = Contenuto(percorso);
  }
  void Fissa(const std::string& percorso, std::optional<std::string> contenuto) {
    stato_[percorso] = std::move(contenuto);
  }
  void Dimentica() { stato_.clear(); }
  // Puts every file seen back as a power loss would leave it, and forgets them.
  void Ripristina() {
    for (const auto& [percorso, contenuto] : stato_) Metti(percorso, contenuto);
    stato_.clear();
  }

 private:
  std::map<std::string, std::optional<std::string>> stato_;
};

}  // namespace mlx::guasti
