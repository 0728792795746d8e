// The script language's errors of the file system, with Italian descriptions that name the
// path as the script wrote it.
#include "platform/fs/errors.h"

#include <cerrno>

#include "platform/fs/regular.h"

namespace mlx::fs {

Status FileNotFound(std::string_view path) {
  return Status::Error(err::kFileNotFound, "File non trovato: " + std::string(path));
}
Status PathNotFound(std::string_view path) {
  return Status::Error(err::kPathNotFound, "Impossibile trovare il percorso: " + std::string(path));
}
Status FileExists(std::string_view path) {
  return Status::Error(err::kFileExists, "Il file esiste già: " + std::string(path));
}
Status PermissionDenied(std::string_view path) {
  return Status::Error(err::kPermissionDenied, "Autorizzazione negata: " + std::string(path));
}
Status AccessError(std::string_view path, std::string_view reason) {
  std::string text = "Errore di accesso al percorso/file: " + std::string(path);
  if (!reason.empty()) text += " (" + std::string(reason) + ")";
  return Status::Error(err::kPathFileAccess, text);
}

Status FromErrorCode(int error, std::string_view path,
                     const std::function<bool()>& parent_is_folder) {
  switch (error) {
    case ENOENT:
      // A missing entry in an existing folder is a missing file; otherwise the folder is
      // what is missing.
      return parent_is_folder() ? FileNotFound(path) : PathNotFound(path);
    case ENOTDIR:
      return PathNotFound(path);
    case EACCES:
    case EPERM:
      return PermissionDenied(path);
    case EROFS:
      return PermissionDenied(path);
    case EEXIST:
      return FileExists(path);
    case EISDIR:
      return AccessError(path, "è una cartella");
    case kNotRegularFile:
      return AccessError(path, "non è un file ordinario (FIFO, dispositivo o socket)");
    case ENOSPC:
#ifdef EDQUOT  // a quota: not on every system
    case EDQUOT:
#endif
      return AccessError(path, "spazio su disco esaurito");
    case ENOTEMPTY:
      return AccessError(path, "la cartella non è vuota");
    case ENAMETOOLONG:
      return AccessError(path, "nome troppo lungo");
    case EBUSY:
    case ETXTBSY:
      return AccessError(path, "in uso");
    case EXDEV:
      return AccessError(path, "su un altro volume");
    default:
      return AccessError(path, "errore di sistema " + std::to_string(error));
  }
}

}  // namespace mlx::fs
