// The start at the next logon: the run-once value "MLX", the batch file "MLXBatch.bat" in the
// program's folder and, where the system does not run RunOnce values itself (a registry file,
// on POSIX), an autostart entry for desktop sessions that runs `marlovex --run-once`, which
// takes the run-once value and runs what the batch file names.
#pragma once

#include <string>

#include "engine/processo.h"

namespace mlx {

inline constexpr char kChiaveRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
inline constexpr char kValoreRunOnce[] = "MLX";
inline constexpr char kFileBatch[] = "MLXBatch.bat";

// Writes the run-once value, the batch file for the script and, where the registry needs it,
// the autostart entry. Errors writing the files are script errors.
void PredisponiAvvio(StatoProcesso& stato, const std::string& TxtFile);

// Writes "MLXBatch.bat": cd "<program folder>", then "<COMSPEC>" /c <program> <script name>,
// each line ended by CR LF.
void CreaBatchAvvio(StatoProcesso& stato, const std::string& TxtFile);

// The autostart entry's path: marlovex-mlx.desktop in the platform's autostart folder
// ($XDG_CONFIG_HOME/autostart or ~/.config/autostart); "" where there is none.
std::string FileAutostart(StatoProcesso& stato);

// What a logon start runs, taken once: the run-once value is deleted and the autostart entry
// removed before anything runs, so a run that fails is not repeated at every logon. False when
// no start was prepared; otherwise the folder to run in and the argument text of the batch
// file's second line. A batch file that cannot be read or is not of the form written above is
// an error in *errore.
bool PrendiAvvio(StatoProcesso& stato, std::string* cartella, std::string* argomenti,
                 std::string* errore);

}  // namespace mlx
