// Statements of the scripts' SQL dialect, one a line, through the data-access layer's
// translator and functions on a database in memory that starts with two related tables and a
// few rows. A line that starts with SELECT is translated and its rows read (every column as
// text); any other line is run as the SQL command runs it. The work of an input is bounded: its
// first few lines only, each stopped after a number of steps of SQLite's machine (its progress
// handler), so that an endless query is no hang of the target and a long input no slow one.
//
// Most of the time of an input on a new connection went into SQLite reading the schema again
// (the tables, their triggers). So the connection is kept from one input to the next as long as
// nothing could have changed it: the authorizer sees every statement prepared, the layer's own
// included, and any action but reading marks the connection for a new copy of the image. The
// next input then finds the same database and settings a new connection would have.
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
// About 100,000 steps of SQLite's machine a statement (table rebuilds included): far more than
// a statement on these few rows needs, unless it makes rows of its own without end.
constexpr long kControlliMassimi = 100;
// Statements an input may run; the lines after them are not read.
constexpr int kRigheMassime = 16;

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
  sqlite3_exec(db, "PRAGMA foreign_keys = ON", nullptr, nullptr, nullptr);
  mlx::db::internal::RegisterFunctions(db, &orologio);
  // After the layer set its own bound: values of 1 MB show the same faults as larger ones.
  sqlite3_limit(db, SQLITE_LIMIT_LENGTH, 1 << 20);
  return db;
}

// The starting database, made once through the layer and kept as an image: a new connection
// gets a copy of it, which is much quicker than making it again.
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

// Whether an action the authorizer is asked about leaves the database and the connection as
// they were.
bool SoloLettura(int azione) {
  switch (azione) {
    case SQLITE_SELECT:
    case SQLITE_READ:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return true;
    default:
      return false;
  }
}

struct Connessione {
  sqlite3* db = nullptr;
  bool cambiata = true;  // by a statement since the image was copied in
  long controlli = 0;    // progress checks of the current statement
};

// The connection for an input: the one kept, or a new one on a copy of the image.
sqlite3* Pronta(Connessione& c) {
  if (c.db != nullptr) return c.db;
  const std::string& immagine = Immagine();
  c.db = Apri();
  auto* copia = static_cast<unsigned char*>(sqlite3_malloc64(immagine.size()));
  std::memcpy(copia, immagine.data(), immagine.size());
  if (sqlite3_deserialize(c.db, "main", copia, static_cast<sqlite3_int64>(immagine.size()),
                          static_cast<sqlite3_int64>(immagine.size()),
                          SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_RESIZEABLE) !=
      SQLITE_OK) {
    std::abort();
  }
  sqlite3_progress_handler(
      c.db, kPassiPerControllo,
      [](void* conta) { return ++*static_cast<long*>(conta) > kControlliMassimi ? 1 : 0; },
      &c.controlli);
  sqlite3_set_authorizer(
      c.db,
      [](void* cambiata, int azione, const char*, const char*, const char*, const char*) {
        if (!SoloLettura(azione)) *static_cast<bool*>(cambiata) = true;
        return SQLITE_OK;
      },
      &c.cambiata);
  c.cambiata = false;
  return c.db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* dati, std::size_t quanti) {
  using namespace mlx::db::internal;
  static Connessione connessione;
  const std::string bytes(reinterpret_cast<const char*>(dati), quanti);
  sqlite3* db = Pronta(connessione);

  std::size_t inizio = 0;
  for (int n = 0; n < kRigheMassime && inizio < bytes.size(); ++n) {
    std::size_t fine = bytes.find('\n', inizio);
    if (fine == std::string::npos) fine = bytes.size();
    const std::string riga = bytes.substr(inizio, fine - inizio);
    inizio = fine + 1;
    connessione.controlli = 0;
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
  // A connection that will not be kept is closed by the input that changed it, so that each
  // input frees what it took (libFuzzer runs an input again to look for leaks otherwise).
  if (!sqlite3_get_autocommit(db)) connessione.cambiata = true;
  if (connessione.cambiata) {
    sqlite3_close(db);
    connessione.db = nullptr;
  }
  return 0;
}
