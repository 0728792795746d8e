// The report of a dry run: what the script would change in each database and in the registry,
// what it would do outside them, and the errors it would report. Built by comparing the state
// each database and the registry had before the rehearsal with the rehearsed copies, both
// read through the data-access layer's catalogue (so it speaks the scripts' types) and the
// registry file reader.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/registry/reg_file.h"

namespace mlx {

// One object of a database that would be added, removed or changed.
struct ModificaOggetto {
  std::string oggetto;  // "tabella", "campo", "indice", "relazione", "query"
  char azione = '+';    // '+' added, '-' removed, '~' changed
  std::string tabella;  // the table it belongs to ("" for a table or a query)
  std::string nome;
  std::string prima, dopo;  // its description before and after ("" where it does not exist)
};

// The rows of a table that would be added, removed and changed.
struct ConteggioRighe {
  std::string tabella;
  std::int64_t aggiunte = 0, eliminate = 0, modificate = 0;
};

struct RapportoDatabase {
  std::string percorso;  // as the script named it first
  bool nuovo = false;    // created by the script
  db::Provider::SnapshotInfo copia;
  std::vector<ModificaOggetto> oggetti;
  std::vector<ConteggioRighe> righe;
  std::string errore;  // the comparison could not be made
};

struct ModificaRegistro {
  char azione = '+';  // '+' written, '-' deleted (a value, or a whole key when nome is empty)
  std::string chiave, nome;
  std::string prima, dopo;  // the data as the registry file writes it; "" where none
};

// A command that only described its work, or an error, with where it happened.
struct VoceRiga {
  std::string script;
  std::int32_t riga = 0;
  std::string testo;
};

struct Rapporto {
  std::vector<RapportoDatabase> database;
  std::vector<ModificaRegistro> registro;
  std::string erroreRegistro;  // the registry files could not be compared
  std::vector<VoceRiga> operazioni;
  std::vector<VoceRiga> errori;
  // File tests the rehearsal answered differently from the real run (a file a command that
  // only described its work would have created).
  std::vector<VoceRiga> avvisi;
  std::string cartellaConservata;  // the rehearsal's folder when it is kept
};

// Compares a database before (an empty path for one the script created) and after.
void ConfrontaDatabase(db::Provider& provider, const std::string& prima, const std::string& dopo,
                       RapportoDatabase* rapporto);
// Compares two registry files (either may be missing or empty).
bool ConfrontaRegistro(const std::string& testoPrima, const std::string& testoDopo,
                       std::vector<ModificaRegistro>* modifiche, std::string* errore);
// Compares two registries already read.
void ConfrontaRegistro(const registry::regfile::Document& prima,
                       const registry::regfile::Document& dopo,
                       std::vector<ModificaRegistro>* modifiche);

// The report as text, one line each, for standard output.
std::string TestoRapporto(const Rapporto& rapporto);
// The report as JSON objects, one a line, for the transcript.
std::string JsonRapporto(const Rapporto& rapporto);

}  // namespace mlx
