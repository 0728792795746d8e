#include "launch/prova.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "engine/utilita.h"
#include "platform/db/db.h"
#include "platform/fs/fs.h"
#include "platform/fs/regular.h"
#include "platform/registry/overlay.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"

namespace mlx {

namespace stdfs = std::filesystem;

namespace {

// A database the rehearsal works on: the copy of the state it started from, and the copy the
// run changes. A database the script creates has no starting state.
struct Copia {
  std::string originale;  // as first named
  std::string prima;      // "" for a database the script created
  std::string lavoro;
  bool nuovo = false;
  db::Provider::SnapshotInfo info;
};

// Replaces the copy's path with the original's in a description, so that messages name the
// file the script named, as in a real run.
Status Traduci(Status st, const Copia* copia) {
  if (st.ok() || copia == nullptr) return st;
  return Status::Error(st.number(), Sostituisci(st.description(), copia->lavoro, copia->originale));
}

bool LeggiTutto(const std::string& percorso, std::string* testo) {
  std::ifstream in(percorso, std::ios::binary);
  if (!in) return false;
  std::stringstream s;
  s << in.rdbuf();
  *testo = s.str();
  return true;
}

}  // namespace

// The provider of a rehearsal: hands out connections that work on copies.
class ProvaDatabase final : public db::Provider {
 public:
  ProvaDatabase(db::Provider& reale, ui::Ui* interfaccia, std::string cartella)
      : reale_(reale), ui_(interfaccia), cartella_(std::move(cartella)) {}

  std::unique_ptr<db::Connection> NewConnection() override;

  Status CreateDatabase(const std::string& path) override {
    const std::string chiave = Normale(path);
    fs::EntryFacts st;
    int errore = 0;
    if (creati_.count(chiave) != 0) {
      return Status::Error(err::kDatabase, "Database '" + path + "' already exists.");
    }
    const std::string cartella = stdfs::path(path).parent_path().string();
    if (fs::ExamineEntry(path, &st, &errore) ||
        (!cartella.empty() && (!fs::ExamineEntry(cartella, &st, &errore) || !st.is_folder))) {
      // The real provider refuses it before it writes anything, with its own words.
      return reale_.CreateDatabase(path);
    }
    auto copia = std::make_unique<Copia>();
    copia->originale = path;
    copia->nuovo = true;
    copia->lavoro = NuovoNome(path);
    Status esito = reale_.CreateDatabase(copia->lavoro);
    if (!esito.ok()) return Traduci(esito, copia.get());
    creati_[chiave] = copia.get();
    copie_.push_back(std::move(copia));
    return Status::OK();
  }

  Status Compact(const std::string& path) override {
    Copia* copia = nullptr;
    Status st = Trova(path, &copia);
    if (!st.ok()) return st;
    return Traduci(reale_.Compact(copia->lavoro), copia);
  }

  // The copy that stands for the database at path, made on first use.
  Status Trova(const std::string& path, Copia** copia) {
    if (auto it = creati_.find(Normale(path)); it != creati_.end()) {
      *copia = it->second;
      return Status::OK();
    }
    fs::EntryFacts st;
    int errore = 0;
    const bool esiste = fs::ExamineEntry(path, &st, &errore);
    if (esiste) {
      if (auto it = perFile_.find({st.volume, st.index}); it != perFile_.end()) {
        *copia = it->second;
        return Status::OK();
      }
      // Two copies are made (the starting state and the working copy): both must fit.
      std::error_code ec;
      const stdfs::space_info spazio = stdfs::space(cartella_, ec);
      if (!ec && st.is_regular && static_cast<std::uintmax_t>(st.size) * 2 > spazio.available) {
        return Status::Error(err::kDatabase, "Spazio insufficiente per la prova: il database " +
                                                 path + " (" + std::to_string(st.size) +
                                                 " byte, due copie) non sta in " + cartella_ +
                                                 " (" + std::to_string(spazio.available) +
                                                 " byte liberi).");
      }
    }
    auto nuova = std::make_unique<Copia>();
    nuova->originale = path;
    nuova->lavoro = NuovoNome(path);
    nuova->prima = nuova->lavoro + ".prima";
    const bool finestra = ui_ != nullptr && !ui_->WaitLoaded();
    if (ui_ != nullptr) {
      ui_->SetWaitMessage("Copia di prova del database " + path);
      if (finestra) ui_->ShowWait();
    }
    Status esito =
        reale_.Snapshot(path, nuova->prima, &nuova->info, [this](long fatto, long totale) {
          if (ui_ != nullptr) ui_->Progress(fatto, totale);
        });
    if (finestra) ui_->UnloadWait();
    if (!esito.ok()) return esito;
    db::Provider::SnapshotInfo locale;
    esito = reale_.Snapshot(nuova->prima, nuova->lavoro, &locale);
    if (!esito.ok()) return esito;
    *copia = nuova.get();
    if (esiste) perFile_[{st.volume, st.index}] = nuova.get();
    copie_.push_back(std::move(nuova));
    return Status::OK();
  }

  db::Provider& Reale() { return reale_; }
  const std::vector<std::unique_ptr<Copia>>& Copie() const { return copie_; }

 private:
  static std::string Normale(const std::string& path) {
    std::error_code ec;
    return stdfs::absolute(path, ec).lexically_normal().string();
  }

  std::string NuovoNome(const std::string& path) {
    return (stdfs::path(cartella_) /
            (std::to_string(copie_.size() + 1) + "-" + stdfs::path(path).filename().string()))
        .string();
  }

  db::Provider& reale_;
  ui::Ui* ui_;
  std::string cartella_;
  std::vector<std::unique_ptr<Copia>> copie_;
  std::map<std::pair<std::uint64_t, std::uint64_t>, Copia*> perFile_;
  std::map<std::string, Copia*> creati_;
};

namespace {

// A connection whose Open works on the rehearsal's copy of the file named; everything else
// goes to the real connection, with the copy's path in messages replaced by the original's.
class ConnessioneProva final : public db::Connection {
 public:
  ConnessioneProva(ProvaDatabase& provider, std::unique_ptr<db::Connection> reale)
      : provider_(provider), reale_(std::move(reale)) {}

  Status Open(const std::string& cs, const std::string& user,
              const std::string& password) override {
    Copia* copia = nullptr;
    Status st = provider_.Trova(db::DataSourcePath(cs), &copia);
    if (!st.ok()) return st;
    st = reale_->Open(copia->lavoro, user, password);
    if (st.ok()) copia_ = copia;
    return Traduci(st, copia);
  }
  void Close() override {
    reale_->Close();
    copia_ = nullptr;
  }
  int State() override { return reale_->State(); }
  std::string DataSource() override {
    return copia_ != nullptr ? copia_->originale : reale_->DataSource();
  }
  Status Execute(const std::string& sql) override { return T(reale_->Execute(sql)); }
  Status OpenRecordset(const std::string& source, db::CursorType cursor, db::LockType lock,
                       std::unique_ptr<db::Recordset>* result) override {
    return T(reale_->OpenRecordset(source, cursor, lock, result));
  }
  Status Tables(std::vector<db::TableInfo>* tables) override { return T(reale_->Tables(tables)); }
  Status Columns(const std::string& table, std::vector<db::ColumnInfo>* columns) override {
    return T(reale_->Columns(table, columns));
  }
  Status SetSeed(const std::string& table, const std::string& column, std::int64_t seed) override {
    return T(reale_->SetSeed(table, column, seed));
  }
  Status SetAllowZeroLength(const std::string& table, const std::string& column,
                            bool allow) override {
    return T(reale_->SetAllowZeroLength(table, column, allow));
  }
  Status SetDefault(const std::string& table, const std::string& column,
                    const std::string& default_text) override {
    return T(reale_->SetDefault(table, column, default_text));
  }
  Status RenameColumn(const std::string& table, const std::string& old_name,
                      const std::string& new_name) override {
    return T(reale_->RenameColumn(table, old_name, new_name));
  }
  Status RenameTable(const std::string& old_name, const std::string& new_name) override {
    return T(reale_->RenameTable(old_name, new_name));
  }
  Status Indexes(const std::string& table, std::vector<db::IndexInfo>* indexes) override {
    return T(reale_->Indexes(table, indexes));
  }
  Status AppendIndex(const std::string& table, const db::IndexInfo& index) override {
    return T(reale_->AppendIndex(table, index));
  }
  Status DeleteIndex(const std::string& table, const std::string& name) override {
    return T(reale_->DeleteIndex(table, name));
  }
  Status Keys(const std::string& table, std::vector<db::KeyInfo>* keys) override {
    return T(reale_->Keys(table, keys));
  }
  Status AppendKey(const std::string& table, const db::KeyInfo& key) override {
    return T(reale_->AppendKey(table, key));
  }
  Status DeleteKey(const std::string& table, const std::string& name) override {
    return T(reale_->DeleteKey(table, name));
  }
  Status ReplaceKey(const std::string& table, const db::KeyInfo& key) override {
    return T(reale_->ReplaceKey(table, key));
  }
  Status ViewCommand(const std::string& name, std::string* sql) override {
    return T(reale_->ViewCommand(name, sql));
  }
  Status AppendView(const std::string& name, const std::string& sql) override {
    return T(reale_->AppendView(name, sql));
  }
  Status SetViewCommand(const std::string& name, const std::string& sql) override {
    return T(reale_->SetViewCommand(name, sql));
  }
  Status DeleteView(const std::string& name) override { return T(reale_->DeleteView(name)); }
  Status AcquireExclusive() override { return T(reale_->AcquireExclusive()); }
  Status BeginTrans() override { return T(reale_->BeginTrans()); }
  Status CommitTrans() override { return T(reale_->CommitTrans()); }
  Status RollbackTrans() override { return T(reale_->RollbackTrans()); }
  Status Prepare(const std::string& sql, std::unique_ptr<db::Statement>* statement) override {
    return T(reale_->Prepare(sql, statement));
  }

 private:
  Status T(Status st) const { return Traduci(std::move(st), copia_); }

  ProvaDatabase& provider_;
  std::unique_ptr<db::Connection> reale_;
  Copia* copia_ = nullptr;
};

}  // namespace

std::unique_ptr<db::Connection> ProvaDatabase::NewConnection() {
  return std::make_unique<ConnessioneProva>(*this, reale_.NewConnection());
}

std::unique_ptr<Prova> Prova::Prepara(const Platform& reale, const std::string& fileRegistro,
                                      const std::string& cartella, std::string* errore) {
  std::unique_ptr<Prova> p(new Prova());
  p->reale_ = reale;
  std::error_code ec;
  if (cartella.empty()) {
    std::string modello;
    if (!fs::MakeTemporaryFolder("marlovex-prova-", &modello)) {
      *errore = "impossibile creare la cartella temporanea della prova.";
      return nullptr;
    }
    p->cartella_ = modello;
  } else {
    // A folder to keep: new, or empty, so that nothing of the user's is mixed with the copies.
    stdfs::create_directories(cartella, ec);
    if (ec || !stdfs::is_directory(cartella) || !stdfs::is_empty(cartella, ec)) {
      *errore = "la cartella della prova " + cartella + " non si crea o non è vuota.";
      return nullptr;
    }
    p->cartella_ = stdfs::absolute(cartella, ec).string();
    p->conserva_ = true;
  }
  p->registroOriginale_ = fileRegistro;
  if (fileRegistro.empty() && reale.registry != nullptr) {
    // A registry that is no file (the system's own) cannot be copied: the run works on an
    // overlay that reads the real keys and values and keeps the run's writes to itself.
    std::unique_ptr<registry::OverlayRegistry> sovrapposto =
        registry::MakeOverlayRegistry(*reale.registry);
    p->sovrapposto_ = sovrapposto.get();
    p->registro_ = std::move(sovrapposto);
  } else {
    p->registroCopia_ = (stdfs::path(p->cartella_) / "registry.reg").string();
    // A missing file is an empty registry. One that is there but cannot be read (a folder, no
    // permission) fails every registry line of the real run: a rehearsal on an empty copy
    // would hide that, so there is none.
    fs::EntryFacts fatti;
    int codice = 0;
    if (fs::ExamineEntry(fileRegistro, &fatti, &codice)) {
      if (!fatti.is_regular || !LeggiTutto(fileRegistro, &p->testoRegistroPrima_)) {
        *errore = "il registro " + fileRegistro + " non si legge: non se ne fa la copia di prova.";
        return nullptr;
      }
      // The copy keeps the mode of a registry file (0600): it may hold private settings.
      std::ofstream(p->registroCopia_, std::ios::binary) << p->testoRegistroPrima_;
      stdfs::permissions(p->registroCopia_, stdfs::perms::owner_read | stdfs::perms::owner_write,
                         stdfs::perm_options::replace, ec);
    }
    p->registro_ = registry::MakeFileRegistry(p->registroCopia_);
  }
  p->plat_ = reale;
  if (reale.db != nullptr) {
    p->database_ = std::make_unique<ProvaDatabase>(*reale.db, reale.ui, p->cartella_);
    p->plat_.db = p->database_.get();
  }
  p->plat_.registry = p->registro_.get();
  return p;
}

Prova::~Prova() {
  registro_.reset();
  database_.reset();
  if (!conserva_ && !cartella_.empty()) {
    std::error_code ec;
    stdfs::remove_all(cartella_, ec);
  }
}

void Prova::Errore(const std::string& script, std::int32_t riga, const std::string& testo) {
  errori_.push_back({script, riga, testo});
}

void Prova::SoloDescritto(const std::string& script, std::int32_t riga, const std::string& frase,
                          const std::string& crea) {
  operazioni_.push_back({script, riga, frase});
  if (!crea.empty()) previsti_.push_back({script, riga, plat_.fs->ToNative(crea)});
}

void Prova::FileMancante(const std::string& script, std::int32_t riga,
                         const std::string& percorso) {
  const std::string cercato = plat_.fs->ToNative(percorso);
  const bool jolly = cercato.find_first_of("*?") != std::string::npos;
  for (const VoceRiga& p : previsti_) {
    if (jolly ? text::WildcardMatch(cercato, p.testo) : cercato == p.testo) {
      avvisi_.push_back(
          {script, riga,
           "il file " + percorso + " risulta assente perch\xC3\xA9 la riga " +
               std::to_string(p.riga) + (p.script == script ? "" : " di " + p.script) +
               ", solo descritta, lo avrebbe creato: nell'esecuzione reale esisterebbe"});
      return;
    }
  }
}

Rapporto Prova::Confronta() {
  Rapporto r;
  r.operazioni = operazioni_;
  r.errori = errori_;
  r.avvisi = avvisi_;
  if (conserva_) r.cartellaConservata = cartella_;
  if (database_ != nullptr) {
    for (const auto& copia : database_->Copie()) {
      RapportoDatabase d;
      d.percorso = copia->originale;
      d.nuovo = copia->nuovo;
      d.copia = copia->info;
      ConfrontaDatabase(database_->Reale(), copia->prima, copia->lavoro, &d);
      r.database.push_back(std::move(d));
    }
  }
  if (sovrapposto_ != nullptr) {
    registry::regfile::Document prima, dopo;
    if (sovrapposto_->Describe(&prima, &dopo, &r.erroreRegistro)) {
      ConfrontaRegistro(prima, dopo, &r.registro);
    }
    return r;
  }
  std::string dopo;
  if (!LeggiTutto(registroCopia_, &dopo)) dopo.clear();
  if (!ConfrontaRegistro(testoRegistroPrima_, dopo, &r.registro, &r.erroreRegistro)) {
    r.registro.clear();
  }
  return r;
}

}  // namespace mlx
