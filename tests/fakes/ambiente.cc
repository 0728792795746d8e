#include "fakes/ambiente.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "engine/utilita.h"
#include "platform/fs/regular.h"

namespace mlx::fakes {

Ambiente::Ambiente() {
  fs::MakeTemporaryFolder("mlxtest-", &cartella);
  fs::FileSystemOptions opzioni;
  opzioni.program_directory = cartella;
  fileSystem = fs::MakeFileSystem(opzioni);
  registro = registry::MakeFileRegistry(Percorso("registry.reg"));
  process::ProcessOptions opzioniProcessi;
  opzioniProcessi.opener = Percorso("apri");
  processi = process::MakeProcesses(opzioniProcessi);
  librerie = dynlib::MakeLoader();
  Platform plat;
  plat.ui = &ui;
  plat.clock = &orologio;
  plat.fs = fileSystem.get();
  plat.sysinfo = &sistema;
  plat.registry = registro.get();
  plat.db = &database;
  plat.process = processi.get();
  plat.dynlib = librerie.get();
  stato = std::make_unique<StatoProcesso>(plat);
}

Ambiente::~Ambiente() {
  std::error_code ignorato;
  std::filesystem::remove_all(cartella, ignorato);
}

std::string Ambiente::Percorso(const std::string& nome) const {
  const char separatore = cartella.find('\\') != std::string::npos ? '\\' : '/';
  std::string nativo = nome;
  std::replace(nativo.begin(), nativo.end(), '/', separatore);
  return fs::Join(cartella, nativo);
}

void Ambiente::Scrivi(const std::string& nome, const std::string& contenuto) const {
  std::filesystem::create_directories(std::filesystem::path(Percorso(nome)).parent_path());
  std::ofstream(Percorso(nome), std::ios::binary) << contenuto;
}

std::string Ambiente::Leggi(const std::string& nome) const {
  std::ifstream in(Percorso(nome), std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Ambiente::Log() const {
  std::vector<std::string> frasi;
  for (const std::string& riga : Dividi(Leggi("mlxlog.txt"), "\r\n")) {
    if (riga.empty()) continue;
    frasi.push_back(riga.size() > 18 ? riga.substr(18) : riga);
  }
  return frasi;
}

void Ambiente::Esegui(const std::vector<std::string>& righe, bool vero) {
  clsMarlovex motore(*stato);
  // Vero is the process's one flag: a dry run of these lines leaves it as it was.
  const bool prima = motore.Vero();
  motore.Vero(vero);
  motore.InitVars("script.txt");
  motore.InitMLX(righe);
  motore.Ciclo();
  motore.Clear();
  motore.Vero(prima);
}

void Ambiente::UsaSqlite() {
  sqlite = db::MakeSqliteProvider(&orologio);
  sqlite->SetProgressSink(stato->plat.progress);
  stato->plat.db = sqlite.get();
}

std::vector<std::string> Ambiente::TitoliDialoghi() const {
  std::vector<std::string> titoli;
  for (const Dialogo& d : ui.dialoghi) titoli.push_back(d.titolo);
  return titoli;
}

std::vector<std::string> Ambiente::TestiDialoghi() const {
  std::vector<std::string> testi;
  for (const Dialogo& d : ui.dialoghi) testi.push_back(d.testo);
  return testi;
}

}  // namespace mlx::fakes
