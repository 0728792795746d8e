// A SQLite VFS that stands in front of the system's one and counts every I/O point of the
// files it opens: each read, write, sync, truncate and lock. Armed for point N it either fails
// that one call (SQLITE_IOERR, or SQLITE_FULL for some writes) or simulates a power loss there:
// that call and every later one fail as if the process had died, and Ripristina() then puts back
// on disk only what had been synced (a file's content as of its last sync, a file never synced
// missing, a deletion that was not synced with its folder undone).
#pragma once

#include <sqlite3.h>

#include <string>

#include "guasti/disco.h"

namespace mlx::guasti {

enum class Modo { kConta, kErrore, kPerdita };

class VfsGuasto {
 public:
  // Registers the VFS as the default one for the process (once; later calls answer the same).
  static VfsGuasto& Installa();

  // From now on counts from zero; with a mode other than kConta, point `n` (from 1) is the one
  // that fails or where the power goes.
  void Arma(Modo modo, long n);
  // Counts only, and forgets what it tracked.
  void Disarma();
  long Punti() const { return punti_; }
  // Whether the armed point was reached.
  bool Scattato() const { return scattato_; }
  // What the armed point was ("scrittura di Dati.mdb-journal"), once reached.
  const std::string& Guasto() const { return guasto_; }
  // After a power loss, with every connection closed: the files as the disk would hold them.
  void Ripristina();

  // Used by the file methods.
  int Punto(int codice_errore, const char* cosa, const char* file);
  bool Caduto() const { return modo_ == Modo::kPerdita && scattato_; }
  sqlite3_vfs* Reale() const { return reale_; }
  // What a power loss would leave of each file seen since arming.
  Durevoli& Disco() { return durevoli_; }

 private:
  VfsGuasto() = default;
  sqlite3_vfs* reale_ = nullptr;
  sqlite3_vfs vfs_{};
  Modo modo_ = Modo::kConta;
  long bersaglio_ = 0;
  long punti_ = 0;
  bool scattato_ = false;
  std::string guasto_;
  Durevoli durevoli_;
};

}  // namespace mlx::guasti
