// The connection to a database file: opening it, closing connections and recordsets,
// compacting a database in place, creating an empty one, and listing the database files of a
// folder. Paths are script paths; they become native only where they reach the data-access
// layer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/db/db.h"
#include "platform/platform.h"

namespace mlx {

struct StatoProcesso;

// The native form of a script path, for the data-access layer. A path on a drive that is not
// mapped is a script error.
std::string PercorsoNativo(const Platform& plat, const std::string& percorso);

// A new connection open on the database at the path. A failure is a script error.
std::unique_ptr<db::Connection> ApriConnessione(const Platform& plat, const std::string& percorso);

// The run's connection object, made (closed) when there is none. No database service is a
// script error.
db::Connection& OggettoConnessione(const Platform& plat, std::unique_ptr<db::Connection>& conn);
// Opens the connection on the database at the path, as the scripts' databases are opened (user
// "Admin", no password). A failure is a script error.
void ApriDatabase(const Platform& plat, db::Connection& conn, const std::string& percorso);

// Closes the object when it is open and releases it.
void ChiudiOggetto(std::unique_ptr<db::Connection>& oggetto);
void ChiudiOggetto(std::unique_ptr<db::Recordset>& oggetto);

// Compacts the database at the path in place (a work file left by an earlier compaction is
// removed first) and puts a new connection open on it in `conn`. The connection given is closed first. On a
// failure of the compaction the error is shown, `conn` stays empty, the database is left as it
// was, and the result is false; a failure to open the compacted database is a script error.
bool CompattaDatabase(StatoProcesso& stato, std::unique_ptr<db::Connection>& conn,
                      const std::string& percorso);

// Creates an empty database file at the path when no file is there; true when one was made.
// Nothing is shown on failure.
bool CreaDatabase(const Platform& plat, const std::string& percorso);

// Names (without folder) of the "*.mdb" files of the folder whose names begin with the prefix,
// in the order of the listing.
std::vector<std::string> ElencoDatabase(const Platform& plat, const std::string& cartella,
                                        const std::string& prefisso);

}  // namespace mlx
