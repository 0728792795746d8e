// A test environment: a temporary program folder, the real file system and registry in it,
// and the fakes for everything a person would see.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/clsMarlovex.h"
#include "fakes/fakes.h"
#include "launch/mdlMarlovex.h"
#include "platform/dynlib/dynlib.h"
#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/registry/registry.h"

namespace mlx::fakes {

class Ambiente {
 public:
  Ambiente();
  ~Ambiente();

  std::string cartella;  // the program folder
  FakeUi ui;
  FakeClock orologio;
  FakeSysInfo sistema;
  RecordingProvider database;
  std::unique_ptr<fs::FileSystem> fileSystem;
  std::unique_ptr<registry::Registry> registro;
  std::unique_ptr<StatoProcesso> stato;
  std::unique_ptr<db::Provider> sqlite;
  std::unique_ptr<process::Processes> processi;  // real programs; the opener is `apri`
  std::unique_ptr<dynlib::Loader> librerie;

  // From now on the database commands reach real SQLite files through the data-access layer
  // instead of the recording fake.
  void UsaSqlite();

  // A name in the program folder, written with "/"; the path has the folder's own separator
  // throughout ("\" on Windows), as the paths the program builds have.
  std::string Percorso(const std::string& nome) const;
  void Scrivi(const std::string& nome, const std::string& contenuto) const;
  std::string Leggi(const std::string& nome) const;  // "" when missing
  // The log without its time stamps, one sentence a line.
  std::vector<std::string> Log() const;
  // Runs the lines in a fresh engine as the start-up module does; with `vero` false as a dry
  // run.
  void Esegui(const std::vector<std::string>& righe, bool vero = true);
  std::vector<std::string> TitoliDialoghi() const;
  std::vector<std::string> TestiDialoghi() const;
};

}  // namespace mlx::fakes
