// The files family. Copies go through the file system's CopyFile, which writes beside the
// target and renames into place, so a failed copy leaves the old target whole.
#include "files/comandi_file.h"

#include "engine/contesto.h"
#include "files/cartelle.h"
#include "platform/fs/fs.h"

namespace mlx {

namespace {

fs::FileSystem& FileSystem(const ContestoEsecuzione& c) {
  return *c.plat().fs;
}

// "K,file": deletes the file, or every file that the wildcards * and ? match (without regard to
// case). A file that is missing, or wildcards that match nothing, fail the line.
Lavoro CmdElimina(ContestoEsecuzione& c) {
  const std::string file = c.Parte(1);
  c.Azione = "Eliminazione file " + file;
  return [&c, file] { Verifica(FileSystem(c).DeleteFile(file)); };
}

// "CP,source,target[,overwrite[,move]]": copies the file, or moves it (copy first, then the
// source is deleted). A target that is a folder receives the file under the source name as
// written; an existing target is replaced only with the overwrite flag, else the line does
// nothing and logs nothing.
Lavoro CmdCopia(ContestoEsecuzione& c) {
  const std::string origine = c.Parte(1);
  std::string destinazione = c.Parte(2);
  const bool sovrascrivi = c.Flag(3);
  const bool sposta = c.Flag(4);
  fs::FileSystem& fs = FileSystem(c);
  if (fs.IsDirectory(destinazione)) destinazione = UnisciPercorso(destinazione, origine);
  if (fs.IsFile(destinazione) && !sovrascrivi) {
    c.Azione.clear();
    return {};
  }
  c.Azione = std::string(sposta ? "Spostato" : "Copiato") + " file " + origine + " in " +
             destinazione;
  c.Crea = destinazione;
  return [&c, origine, destinazione, sovrascrivi, sposta] {
    fs::FileSystem& f = FileSystem(c);
    // A failed copy goes to the line's error trap and the source stays where it was.
    // A move deletes the source next, so its copy is made durable first.
    Verifica(f.CopyFile(origine, destinazione, sovrascrivi, sposta));
    // The source is deleted only once its copy is complete; a failure here is passed over, so
    // the worst a move can leave is the file in both places.
    if (sposta) static_cast<void>(f.DeleteFile(origine));
  };
}

// "MD,folder": creates the folder and any missing folder above it. A failure (the folder exists
// already, access denied) only marks the line failed.
Lavoro CmdCreaCartella(ContestoEsecuzione& c) {
  const std::string cartella = c.Parte(1);
  c.Azione = "Creazione cartella " + cartella;
  c.Crea = cartella;
  return [&c, cartella] { c.ErroreRiga = !CreaCartella(FileSystem(c), cartella); };
}

}  // namespace

const Famiglia<>& FamigliaFile() {
  using enum InProva;
  static constexpr Voce<> comandi[] = {
      {"K", CmdElimina, false, Rispetta},
      {"CP", CmdCopia, false, Rispetta},
      {"MD", CmdCreaCartella, false, Rispetta},
  };
  static const Famiglia<> famiglia{comandi};
  return famiglia;
}

}  // namespace mlx
