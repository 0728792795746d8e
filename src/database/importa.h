// Import of rows from a text file: one row a line, values written as SQL literals and
// separated by a separator of the script's choice. The file is read line by line and the rows
// go in one transaction; a line of plain literals is run through one prepared statement.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/db.h"

namespace mlx {

struct StatoProcesso;

namespace importazione {

// The separator and empty-value rules on one data line: outside quoted literals ('text',
// "text" and #date#), every separator becomes ",", and every empty value but the first becomes
// NULL (so "1;;" with ";" gives "1,NULL,NULL").
std::string ApplicaRegole(std::string_view riga, std::string_view separatore);

// The values of a VALUES list when every one is a plain literal: a number, a quoted text, NULL,
// True or False, or a date without time of day. Each value is the one the data-access layer
// stores for that literal. False when the list holds anything else.
bool LeggiLetterali(std::string_view lista, std::vector<db::Value>* valori);

// The values of a data line without placeholders read straight from it: the same values, and
// the same answer, as LeggiLetterali(ApplicaRegole(riga, separatore)).
bool LeggiRiga(std::string_view riga, std::string_view separatore, std::vector<db::Value>* valori);

// How the rows of one import went.
struct Conteggio {
  long righe = 0;      // lines sent to the database
  long preparate = 0;  // of which through the prepared statement
};

// Inserts one row a line of the file into the table. `file` is the name the script gave; the
// file is looked for in the program's folder when the program runs under its own name. A
// missing file is reported to the user and imports nothing. Placeholders in a line are
// expanded by `espandi`. A failing line ends the import with a script error; the rows before it
// stay in the table. With `preparate` false every line goes as a whole statement.
Conteggio ImportaDati(StatoProcesso& stato, db::Connection& conn, const std::string& tabella,
                      const std::string& file, const std::string& separatore,
                      const std::string& colonne,
                      const std::function<std::string(std::string_view)>& espandi,
                      bool preparate = true);

}  // namespace importazione
}  // namespace mlx
