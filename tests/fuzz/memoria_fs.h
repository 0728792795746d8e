// A file system held in memory, for running scripts whose file commands must not reach the
// machine's disk: paths compare without regard to case, "\" and "/" alike, and a drive letter
// is kept as part of the name.
#pragma once

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fs/fs.h"
#include "platform/text/text.h"

namespace mlx::fakes {

class FileSystemInMemoria : public fs::FileSystem {
 public:
  std::map<std::string, std::string> file;  // by Chiave()
  std::set<std::string> cartelle;

  FileSystemInMemoria() { cartelle.insert(Chiave(kProgramma)); }

  static constexpr const char* kProgramma = "C:\\Prog";

  static std::string Chiave(std::string_view percorso) {
    std::string k(percorso);
    std::replace(k.begin(), k.end(), '\\', '/');
    k = text::FoldKey(k);
    while (k.size() > 1 && k.back() == '/') k.pop_back();
    return k;
  }

  std::string ToNative(std::string_view path) override { return std::string(path); }
  bool Exists(std::string_view path) override { return IsFile(path) || IsDirectory(path); }
  bool IsFile(std::string_view path) override { return file.count(Chiave(path)) != 0; }
  bool IsDirectory(std::string_view path) override { return cartelle.count(Chiave(path)) != 0; }

  std::vector<std::string> List(std::string_view pattern, bool include_dirs) override {
    const std::size_t sep = fs::LastSeparator(pattern);
    const std::string cartella = Chiave(sep == pattern.npos ? "" : pattern.substr(0, sep));
    const std::string nome = Chiave(sep == pattern.npos ? pattern : pattern.substr(sep + 1));
    std::vector<std::string> nomi;
    auto aggiungi = [&](const std::string& chiave) {
      const std::size_t s = chiave.rfind('/');
      if ((s == std::string::npos ? std::string() : chiave.substr(0, s)) != cartella) return;
      std::string voce = chiave.substr(s == std::string::npos ? 0 : s + 1);
      if (text::WildcardMatch(nome, voce)) nomi.push_back(voce);
    };
    for (const auto& [chiave, contenuto] : file) aggiungi(chiave);
    if (include_dirs) {
      for (const std::string& chiave : cartelle) aggiungi(chiave);
    }
    std::sort(nomi.begin(), nomi.end());
    return nomi;
  }

  Status ReadFile(std::string_view path, std::string* bytes) override {
    auto it = file.find(Chiave(path));
    if (it == file.end()) return Mancante(path);
    *bytes = it->second;
    return Status::OK();
  }

  Status OpenLines(std::string_view path, std::unique_ptr<fs::InputFile>* out) override {
    std::string bytes;
    Status s = ReadFile(path, &bytes);
    if (!s.ok()) return s;
    *out = std::make_unique<Righe>(std::move(bytes));
    return Status::OK();
  }

  Status OpenRandomAccess(std::string_view path,
                          std::unique_ptr<fs::RandomAccessFile>* out) override {
    std::string bytes;
    Status s = ReadFile(path, &bytes);
    if (!s.ok()) return s;
    *out = std::make_unique<Blocco>(std::move(bytes));
    return Status::OK();
  }

  Status WriteFile(std::string_view path, std::string_view bytes) override {
    if (IsDirectory(path)) return Status::Error(err::kPathFileAccess, "è una cartella");
    file[Chiave(path)] = std::string(bytes);
    return Status::OK();
  }
  Status AppendFile(std::string_view path, std::string_view bytes) override {
    if (IsDirectory(path)) return Status::Error(err::kPathFileAccess, "è una cartella");
    file[Chiave(path)] += bytes;
    return Status::OK();
  }
  Status CopyFile(std::string_view from, std::string_view to, bool overwrite, bool) override {
    auto it = file.find(Chiave(from));
    if (it == file.end()) return Mancante(from);
    if (!overwrite && Exists(to)) return Status::Error(err::kFileExists, "File già esistente");
    std::string copia = it->second;
    return WriteFile(to, copia);
  }
  Status DeleteFile(std::string_view path) override {
    return file.erase(Chiave(path)) != 0 ? Status::OK() : Mancante(path);
  }
  Status Rename(std::string_view from, std::string_view to) override {
    auto it = file.find(Chiave(from));
    if (it == file.end()) return Mancante(from);
    if (Exists(to)) return Status::Error(err::kFileExists, "File già esistente");
    std::string contenuto = std::move(it->second);
    file.erase(it);
    file[Chiave(to)] = std::move(contenuto);
    return Status::OK();
  }
  Status MakeDirectory(std::string_view path) override {
    if (Exists(path)) return Status::Error(err::kPathFileAccess, "Errore di accesso al percorso");
    cartelle.insert(Chiave(path));
    return Status::OK();
  }

  std::string CurrentDirectory() override { return kProgramma; }
  std::string ProgramDirectory() override { return kProgramma; }
  std::string ProgramName() override { return "marlovex"; }

 private:
  static Status Mancante(std::string_view path) {
    return Status::Error(err::kFileNotFound, "File " + std::string(path) + " non trovato");
  }

  class Righe : public fs::InputFile {
   public:
    explicit Righe(std::string testo) : testo_(std::move(testo)) {}
    bool ReadLine(std::string* line) override {
      if (pos_ >= testo_.size()) return false;
      std::size_t fine = testo_.find_first_of("\r\n", pos_);
      if (fine == std::string::npos) fine = testo_.size();
      *line = testo_.substr(pos_, fine - pos_);
      pos_ = fine + 1;
      if (fine < testo_.size() && testo_[fine] == '\r' && pos_ < testo_.size() &&
          testo_[pos_] == '\n') {
        ++pos_;
      }
      return true;
    }

   private:
    std::string testo_;
    std::size_t pos_ = 0;
  };

  class Blocco : public fs::RandomAccessFile {
   public:
    explicit Blocco(std::string bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    Status ReadAt(std::uint64_t offset, std::size_t size, std::string* out) override {
      out->clear();
      if (offset < bytes_.size()) *out = bytes_.substr(offset, size);
      return Status::OK();
    }

   private:
    std::string bytes_;
  };
};

}  // namespace mlx::fakes
