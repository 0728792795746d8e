#include "platform/process/start_error_win32.h"

namespace mlx::process {

namespace {

// The answer of CreateProcessW for a program whose manifest asks for an administrator.
constexpr DWORD kElevationRequired = 740;

std::string SystemMessage(DWORD error) {
  std::string message = text::SystemErrorText(error);
  return message.empty() ? "errore " + std::to_string(error) : message;
}

}  // namespace

Status StartError(DWORD error, const std::string& program, const std::string& folder) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return Status::Error(err::kFileNotFound, "File non trovato: " + program);
    case ERROR_ACCESS_DENIED:
      return Status::Error(err::kPermissionDenied, "Autorizzazione negata: " + program);
    case kElevationRequired:
      return Status::Error(
          err::kPermissionDenied,
          "Autorizzazione negata: " + program + " (il programma va avviato come amministratore)");
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
      return Status::Error(err::kPathFileAccess, "Errore di accesso al percorso/file: " + program +
                                                     " (non è un programma)");
    case ERROR_NO_ASSOCIATION:
      return Status::Error(err::kPathFileAccess, "Errore di accesso al percorso/file: " + program +
                                                     " (nessun programma per aprirlo)");
    default:
      return Status::Error(err::kPathFileAccess, "Errore di accesso al percorso/file: " + program +
                                                     " (" + SystemMessage(error) + ", cartella " +
                                                     folder + ")");
  }
}

}  // namespace mlx::process
