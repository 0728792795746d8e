// Fakes of the platform services for engine tests: a scripted UI that records every dialog, a
// fixed clock, fixed system values, a database connection that records statements, and a file
// in memory that records where it is read.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/db/db.h"
#include "platform/fs/fs.h"
#include "platform/sysinfo/sysinfo.h"
#include "platform/ui/ui.h"

namespace mlx::fakes {

struct Dialogo {
  std::string testo, titolo;
  int stile = 0;
  int risposta = 0;
};

class FakeUi : public ui::Ui {
 public:
  std::vector<Dialogo> dialoghi;
  std::deque<int> risposte;  // answers to give; the default button afterwards
  bool attesa = false;
  std::string messaggioAttesa;
  int righeAttesa = 0;
  int puntatore = 0;
  std::vector<progress::Task> compiti;    // long operations begun
  std::vector<std::int64_t> avanzamenti;  // their progress, as reported
  int compitiFiniti = 0;

  int MessageBox(const std::string& text, const std::string& title, int style) override {
    int risposta = ui::DefaultAnswer(style);
    if (!risposte.empty()) {
      risposta = risposte.front();
      risposte.pop_front();
    }
    dialoghi.push_back({text, title, style, risposta});
    return risposta;
  }
  void ShowWait() override { attesa = true; }
  void SetWaitMessage(const std::string& text) override { messaggioAttesa = text; }
  void SetWaitLines(int righe) override { righeAttesa = righe; }
  void UnloadWait() override {
    attesa = false;
    messaggioAttesa.clear();
    righeAttesa = 0;
  }
  bool WaitLoaded() override { return attesa; }
  void Progress(long, long) override {}
  void BeginTask(const progress::Task& compito) override { compiti.push_back(compito); }
  void TaskProgress(std::int64_t fatto) override { avanzamenti.push_back(fatto); }
  void EndTask(bool) override { ++compitiFiniti; }
  void SetMousePointer(int p) override { puntatore = p; }
};

class FakeClock : public clock::Clock {
 public:
  clock::DateTime ora{2026, 12, 5, 21, 3, 7};
  clock::DateTime Now() override { return ora; }
};

class FakeSysInfo : public sysinfo::SysInfo {
 public:
  std::uint32_t versione = 5 | (1 << 8);
  std::map<std::string, std::string> ambiente;
  std::uint32_t VersionNumber() override { return versione; }
  std::string WindowsDirectory() override { return "C:\\WINDOWS"; }
  std::string SystemDirectory() override { return "C:\\WINDOWS\\system32"; }
  std::string TempDirectory() override { return "C:\\TEMP\\"; }
  std::string ComputerName() override { return "POSTAZIONE1"; }
  std::string UserName() override { return "mario"; }
  std::string CurrentDirectory() override { return "C:\\Prog"; }
  std::string Environment(std::string_view nome) override {
    auto it = ambiente.find(std::string(nome));
    return it == ambiente.end() ? "" : it->second;
  }
};

// A connection that records what is executed; `errori` maps a statement to the failure it
// should produce. Catalogue calls are not available on it.
class RecordingConnection : public db::Connection {
 public:
  std::vector<std::string>* eseguite;
  std::map<std::string, Status>* errori;
  int stato = 0;
  std::string origine;

  RecordingConnection(std::vector<std::string>* e, std::map<std::string, Status>* f)
      : eseguite(e), errori(f) {}
  Status Open(const std::string& cs, const std::string&, const std::string&) override {
    origine = cs;
    stato = 1;
    return Status::OK();
  }
  void Close() override { stato = 0; }
  int State() override { return stato; }
  std::string DataSource() override { return origine; }
  Status Execute(const std::string& sql) override {
    eseguite->push_back(sql);
    auto it = errori->find(sql);
    return it == errori->end() ? Status::OK() : it->second;
  }
  Status OpenRecordset(const std::string&, db::CursorType, db::LockType,
                       std::unique_ptr<db::Recordset>*) override {
    return Nd();
  }
  Status Tables(std::vector<db::TableInfo>*) override { return Nd(); }
  Status Columns(const std::string&, std::vector<db::ColumnInfo>*) override { return Nd(); }
  Status SetSeed(const std::string&, const std::string&, std::int64_t) override { return Nd(); }
  Status SetAllowZeroLength(const std::string&, const std::string&, bool) override { return Nd(); }
  Status SetDefault(const std::string&, const std::string&, const std::string&) override {
    return Nd();
  }
  Status RenameColumn(const std::string&, const std::string&, const std::string&) override {
    return Nd();
  }
  Status RenameTable(const std::string&, const std::string&) override { return Nd(); }
  Status Indexes(const std::string&, std::vector<db::IndexInfo>*) override { return Nd(); }
  Status AppendIndex(const std::string&, const db::IndexInfo&) override { return Nd(); }
  Status DeleteIndex(const std::string&, const std::string&) override { return Nd(); }
  Status Keys(const std::string&, std::vector<db::KeyInfo>*) override { return Nd(); }
  Status AppendKey(const std::string&, const db::KeyInfo&) override { return Nd(); }
  Status DeleteKey(const std::string&, const std::string&) override { return Nd(); }
  Status ReplaceKey(const std::string&, const db::KeyInfo&) override { return Nd(); }
  Status ViewCommand(const std::string&, std::string*) override { return Nd(); }
  Status AppendView(const std::string&, const std::string&) override { return Nd(); }
  Status SetViewCommand(const std::string&, const std::string&) override { return Nd(); }
  Status DeleteView(const std::string&) override { return Nd(); }

 private:
  static Status Nd() { return Status::Error(err::kDatabase, "Operazione non disponibile nel falso"); }
};

class RecordingProvider : public db::Provider {
 public:
  std::vector<std::string> eseguite;
  std::map<std::string, Status> errori;
  std::unique_ptr<db::Connection> NewConnection() override {
    return std::make_unique<RecordingConnection>(&eseguite, &errori);
  }
  Status CreateDatabase(const std::string&) override { return Status::OK(); }
  Status Compact(const std::string&) override { return Status::OK(); }
};

// A file held in memory, read at chosen offsets; every request is recorded.
class FileInMemoria : public fs::RandomAccessFile {
 public:
  struct Lettura {
    std::uint64_t offset;
    std::size_t richiesti;
  };
  std::string contenuto;
  std::vector<Lettura> letture;

  explicit FileInMemoria(std::string c) : contenuto(std::move(c)) {}
  std::uint64_t Size() const override { return contenuto.size(); }
  Status ReadAt(std::uint64_t offset, std::size_t size, std::string* bytes) override {
    letture.push_back({offset, size});
    bytes->clear();
    if (offset < contenuto.size()) *bytes = contenuto.substr(offset, size);
    return Status::OK();
  }
  // The bytes asked for, in all the reads.
  std::uint64_t Richiesti() const {
    std::uint64_t totale = 0;
    for (const Lettura& l : letture) totale += l.richiesti;
    return totale;
  }
};

}  // namespace mlx::fakes
