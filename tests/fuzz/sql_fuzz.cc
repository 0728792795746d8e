// Statements of the scripts' SQL dialect, one a line, through the data-access layer's
// translator and functions on a database in memory that starts with two related tables and a
// few rows. A line that starts with SELECT is translated and its rows read (every column as
// text); any other line is run as the SQL command runs it. The work of a statement is bounded
// (SQLite's progress handler), so that an endless query is no hang of the target.
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fakes/fakes.h"
#include "platform/db/catalog.h"
#include "platform/db/internal.h"

namespace {

constexpr int kPassiPerControllo = 1000;
constexpr long kControlliMassimi = 2000;  // about two million steps of SQLite's machine

const char* const kSchema[] = {
    "CREATE TABLE Clienti (Id COUNTER PRIMARY KEY, Nome TEXT(50) NOT NULL, Saldo CURRENCY, "
    "Nato DATETIME, Attivo YESNO, Note MEMO)",
    "CREATE TABLE Ordini (Num LONG PRIMARY KEY, Cliente LONG REFERENCES Clienti (Id), "
    "Importo DOUBLE DEFAULT 0, Giorno DATETIME)",
    "INSERT INTO Clienti (Nome, Saldo, Nato, Attivo) VALUES ('Rossi', 12.5, #03/04/1970#, True)",
    "INSERT INTO Clienti (Nome, Saldo, Nato, Attivo) VALUES ('Bianchi', -3, #12/31/1999 23:59:59#, "
    "False)",
    "INSERT INTO Ordini VALUES (1, 1, 100.25, #01/01/2020#)",
};

mlx::fakes::FakeClock orologio;

sqlite3* Apri() {
  sqlite3* db = nullptr;
  if (sqlite3_open(":memory:", &db) != SQLITE_OK) std::abort();
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
  sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
  mlx::db::internal::RegisterFunctions(db, &orologio);
  return db;
}

// The starting database, made once through the layer and kept as an image: each input gets a
// copy of it, which is much quicker than making it again.
const std::string& Immagine() {
  static const std::string immagine = [] {
    sqlite3* db = Apri();
    for (const char* riga : kSchema) {
      if (!mlx::db::internal::Catalog(db).Execute(riga).ok()) std::abort();
    }
    sqlite3_int64 dimensione = 0;
    unsigned char* byte = sqlite3_serialize(db, "main", &dimensione, 0);
    if (byte == nullptr) std::abort();
    std::string copia(reinterpret_cast<const char*>(byte), static_cast<std::size_t>(dimensione));
    sqlite3_free(byte);
    sqlite3_close(db);
    return copia;
  }();
  return immagine;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  using namespace mlx::db::internal;
  const std::string bytes(reinterpret_cast<const char*>(dati), quanti);
  const std::string& immagine = Immagine();
  sqlite3* db = Apri();
  auto* copia = static_cast<unsigned char*>(sqlite3_malloc64(immagine.size()));
  std::memcpy(copia, immagine.data(), immagine.size());
  if (sqlite3_deserialize(db, "main", copia, static_cast<sqlite3_int64>(immagine.size()),
                          static_cast<sqlite3_int64>(immagine.size()),
                          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) !=
      SQLITE_OK) {
    std::abort();
  }
  long controlli = 0;
  sqlite3_progress_handler(
      db, kPassiPerControllo,
      [](void* conta) { return ++*static_cast<long*>(conta) > kControlliMassimi ? 1 : 0; },
      &controlli);

  std::size_t inizio = 0;
  while (inizio < bytes.size()) {
    std::size_t fine = bytes.find('\n', inizio);
    if (fine == std::string::npos) fine = bytes.size();
    const std::string riga = bytes.substr(inizio, fine - inizio);
    inizio = fine + 1;
    controlli = 0;
    std::string tradotta;
    const bool select = riga.size() >= 6 && sqlite3_strnicmp(riga.c_str(), "SELECT", 6) == 0;
    if (!select) {
      (void)Catalog(db).Execute(riga);
      continue;
    }
    if (!Catalog(db).TranslateQuery(riga, &tradotta).ok()) continue;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, tradotta.c_str(), -1, &stmt, nullptr) != SQLITE_OK) continue;
    for (int righe = 0; righe < 100 && sqlite3_step(stmt) == SQLITE_ROW; ++righe) {
      for (int c = 0; c < sqlite3_column_count(stmt); ++c) sqlite3_column_text(stmt, c);
    }
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return 0;
}
