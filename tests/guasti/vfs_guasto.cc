#include "guasti/vfs_guasto.h"

#include <cstddef>

namespace mlx::guasti {
namespace {

struct File {
  sqlite3_file base;
  sqlite3_file* reale;
  VfsGuasto* vfs;
  std::string* percorso;  // null for a temporary file without name
};

VfsGuasto* g_vfs = nullptr;

sqlite3_file* Reale(sqlite3_file* f) { return reinterpret_cast<File*>(f)->reale; }
VfsGuasto& Vfs(sqlite3_file* f) { return *reinterpret_cast<File*>(f)->vfs; }
const char* Nome(sqlite3_file* f) {
  const std::string* p = reinterpret_cast<File*>(f)->percorso;
  return p == nullptr ? "(temporaneo)" : p->c_str() + p->find_last_of("/\\") + 1;
}

int Close(sqlite3_file* f) {
  File* p = reinterpret_cast<File*>(f);
  int rc = p->reale->pMethods ? p->reale->pMethods->xClose(p->reale) : SQLITE_OK;
  delete p->percorso;
  p->percorso = nullptr;
  return rc;
}

int Read(sqlite3_file* f, void* buf, int n, sqlite3_int64 off) {
  if (int rc = Vfs(f).Punto(SQLITE_IOERR_READ, "lettura", Nome(f)); rc != SQLITE_OK) return rc;
  return Reale(f)->pMethods->xRead(Reale(f), buf, n, off);
}

int Write(sqlite3_file* f, const void* buf, int n, sqlite3_int64 off) {
  // Every other write point fails as a full disk, the rest as an I/O error.
  const int errore = Vfs(f).Punti() % 2 == 0 ? SQLITE_FULL : SQLITE_IOERR_WRITE;
  if (int rc = Vfs(f).Punto(errore, "scrittura", Nome(f)); rc != SQLITE_OK) return rc;
  return Reale(f)->pMethods->xWrite(Reale(f), buf, n, off);
}

int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  if (int rc = Vfs(f).Punto(SQLITE_IOERR_TRUNCATE, "troncamento", Nome(f)); rc != SQLITE_OK) return rc;
  return Reale(f)->pMethods->xTruncate(Reale(f), size);
}

int Sync(sqlite3_file* f, int flags) {
  (void)flags;
  if (int rc = Vfs(f).Punto(SQLITE_IOERR_FSYNC, "sync", Nome(f)); rc != SQLITE_OK) return rc;
  // What a sync makes durable is recorded here; the disk itself is not asked to flush, which
  // would only make the sweep slow.
  File* p = reinterpret_cast<File*>(f);
  if (p->percorso != nullptr) Vfs(f).Disco().Fissa(*p->percorso, Contenuto(*p->percorso));
  return SQLITE_OK;
}

int FileSize(sqlite3_file* f, sqlite3_int64* size) {
  return Reale(f)->pMethods->xFileSize(Reale(f), size);
}

int Lock(sqlite3_file* f, int level) {
  if (int rc = Vfs(f).Punto(SQLITE_IOERR_LOCK, "lock", Nome(f)); rc != SQLITE_OK) return rc;
  return Reale(f)->pMethods->xLock(Reale(f), level);
}

int Unlock(sqlite3_file* f, int level) { return Reale(f)->pMethods->xUnlock(Reale(f), level); }

int CheckReservedLock(sqlite3_file* f, int* out) {
  if (Vfs(f).Caduto()) return SQLITE_IOERR_CHECKRESERVEDLOCK;
  return Reale(f)->pMethods->xCheckReservedLock(Reale(f), out);
}

int FileControl(sqlite3_file* f, int op, void* arg) {
  return Reale(f)->pMethods->xFileControl(Reale(f), op, arg);
}

int SectorSize(sqlite3_file* f) { return Reale(f)->pMethods->xSectorSize(Reale(f)); }

int DeviceCharacteristics(sqlite3_file* f) {
  return Reale(f)->pMethods->xDeviceCharacteristics(Reale(f));
}

// Version 1: no shared memory (so no WAL) and no memory mapping, whose writes would bypass the
// count.
const sqlite3_io_methods kMetodi = {
    1,           Close,      Read,     Write, Truncate, Sync, FileSize, Lock, Unlock,
    CheckReservedLock, FileControl, SectorSize, DeviceCharacteristics,
    nullptr,     nullptr,    nullptr,  nullptr, nullptr, nullptr};

int Open(sqlite3_vfs* vfs, const char* nome, sqlite3_file* f, int flags, int* out_flags) {
  VfsGuasto& g = *static_cast<VfsGuasto*>(vfs->pAppData);
  File* p = reinterpret_cast<File*>(f);
  p->base.pMethods = nullptr;
  p->vfs = &g;
  p->reale = reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + sizeof(File));
  p->percorso = nullptr;
  if (g.Caduto()) return SQLITE_CANTOPEN;
  if (nome != nullptr) g.Disco().Segui(nome);
  int rc = g.Reale()->xOpen(g.Reale(), nome, p->reale, flags, out_flags);
  if (rc != SQLITE_OK) {
    p->reale->pMethods = nullptr;
    return rc;
  }
  if (nome != nullptr) p->percorso = new std::string(nome);
  p->base.pMethods = &kMetodi;
  return SQLITE_OK;
}

int Delete(sqlite3_vfs* vfs, const char* nome, int sincronizza) {
  VfsGuasto& g = *static_cast<VfsGuasto*>(vfs->pAppData);
  if (g.Caduto()) return SQLITE_IOERR_DELETE;
  g.Disco().Segui(nome);
  int rc = g.Reale()->xDelete(g.Reale(), nome, sincronizza);
  // A deletion not synced with its folder is undone by a power loss.
  if (rc == SQLITE_OK && sincronizza != 0) g.Disco().Fissa(nome, std::nullopt);
  return rc;
}

#define MLX_INOLTRA(nome, firma, argomenti)                         \
  auto nome firma {                                                   \
    sqlite3_vfs* r = static_cast<VfsGuasto*>(vfs->pAppData)->Reale(); \
    return r->nome argomenti;                                         \
  }

MLX_INOLTRA(xAccess, (sqlite3_vfs * vfs, const char* n, int f, int* o), (r, n, f, o))
MLX_INOLTRA(xFullPathname, (sqlite3_vfs * vfs, const char* n, int k, char* o), (r, n, k, o))
MLX_INOLTRA(xDlOpen, (sqlite3_vfs * vfs, const char* n), (r, n))
MLX_INOLTRA(xDlError, (sqlite3_vfs * vfs, int n, char* m), (r, n, m))
MLX_INOLTRA(xDlSym, (sqlite3_vfs * vfs, void* h, const char* s), (r, h, s))
MLX_INOLTRA(xDlClose, (sqlite3_vfs * vfs, void* h), (r, h))
MLX_INOLTRA(xRandomness, (sqlite3_vfs * vfs, int n, char* o), (r, n, o))
MLX_INOLTRA(xSleep, (sqlite3_vfs * vfs, int us), (r, us))
MLX_INOLTRA(xCurrentTime, (sqlite3_vfs * vfs, double* t), (r, t))
MLX_INOLTRA(xGetLastError, (sqlite3_vfs * vfs, int n, char* m), (r, n, m))
MLX_INOLTRA(xCurrentTimeInt64, (sqlite3_vfs * vfs, sqlite3_int64* t), (r, t))
#undef MLX_INOLTRA

}  // namespace

VfsGuasto& VfsGuasto::Installa() {
  if (g_vfs != nullptr) return *g_vfs;
  g_vfs = new VfsGuasto();
  sqlite3_initialize();
  g_vfs->reale_ = sqlite3_vfs_find(nullptr);
  const sqlite3_vfs& r = *g_vfs->reale_;
  g_vfs->vfs_ = {2, static_cast<int>(sizeof(File)) + r.szOsFile, r.mxPathname, nullptr,
                 "mlx-guasto", g_vfs, Open, Delete, xAccess, xFullPathname, xDlOpen, xDlError,
                 xDlSym, xDlClose, xRandomness, xSleep, xCurrentTime, xGetLastError,
                 xCurrentTimeInt64, nullptr, nullptr, nullptr};
  sqlite3_vfs_register(&g_vfs->vfs_, 1);
  return *g_vfs;
}

void VfsGuasto::Arma(Modo modo, long n) {
  modo_ = modo;
  bersaglio_ = n;
  punti_ = 0;
  scattato_ = false;
  guasto_.clear();
  durevoli_.Dimentica();
}

void VfsGuasto::Disarma() { Arma(Modo::kConta, 0); }

int VfsGuasto::Punto(int codice_errore, const char* cosa, const char* file) {
  if (Caduto()) return codice_errore;
  ++punti_;
  if (modo_ == Modo::kConta || punti_ != bersaglio_) return SQLITE_OK;
  scattato_ = true;
  guasto_ = std::string(cosa) + " di " + file;
  return codice_errore;
}

void VfsGuasto::Ripristina() {
  durevoli_.Ripristina();
  Disarma();
}

}  // namespace mlx::guasti
