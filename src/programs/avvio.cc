#include "programs/avvio.h"

#include "engine/errore.h"
#include "engine/utilita.h"
#include "platform/fs/fs.h"
#include "platform/process/process.h"
#include "platform/sysinfo/sysinfo.h"
#include "system/registro.h"

namespace mlx {

namespace {

// One argument of a desktop entry's Exec line: quoted, with the characters that are special
// inside quotes escaped; then the escapes of the entry's string values.
std::string ArgomentoDesktop(const std::string& testo) {
  std::string quotato = "\"";
  for (char ch : testo) {
    if (ch == '"' || ch == '`' || ch == '$' || ch == '\\') quotato.push_back('\\');
    quotato.push_back(ch);
  }
  quotato.push_back('"');
  std::string uscita;
  for (char ch : quotato) {
    if (ch == '\\') uscita.push_back('\\');
    if (ch == '%') uscita.push_back('%');
    uscita.push_back(ch == '\n' || ch == '\r' ? ' ' : ch);
  }
  return uscita;
}

void ScriviAutostart(StatoProcesso& stato) {
  fs::FileSystem& fs = *stato.plat.fs;
  std::string exec = ArgomentoDesktop(stato.plat.process->SelfPath()) + " --app-dir " +
                     ArgomentoDesktop(fs.ProgramDirectory());
  if (!stato.FileRegistro.empty()) exec += " --registry " + ArgomentoDesktop(stato.FileRegistro);
  exec += " --run-once";
  const std::string file = FileAutostart(stato);
  const std::string cartella = SoloPercorso(file);
  // The autostart folder and the one above it may be missing on a fresh account.
  if (!fs.IsDirectory(cartella)) {
    if (!fs.IsDirectory(SoloPercorso(cartella))) Verifica(fs.MakeDirectory(SoloPercorso(cartella)));
    Verifica(fs.MakeDirectory(cartella));
  }
  Verifica(fs.WriteFile(file,
                        "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Marlovex\n"
                        "Comment=Aggiornamento predisposto per il prossimo accesso\n"
                        "Exec=" + exec + "\n"
                        "Terminal=false\n"
                        "NoDisplay=true\n"
                        "X-GNOME-Autostart-enabled=true\n"));
}

}  // namespace

std::string FileAutostart(StatoProcesso& stato) {
  const std::string cartella = stato.plat.sysinfo->AutostartDirectory();
  return cartella.empty() ? "" : cartella + "/marlovex-mlx.desktop";
}

void CreaBatchAvvio(StatoProcesso& stato, const std::string& TxtFile) {
  fs::FileSystem& fs = *stato.plat.fs;
  const std::string testo = "cd \"" + fs.ProgramDirectory() + "\"\r\n\"" +
                            stato.plat.sysinfo->Environment("COMSPEC") + "\" /c " +
                            fs.ProgramName() + " " + SoloFile(TxtFile) + "\r\n";
  Verifica(fs.WriteFile(stato.PercorsoApp(kFileBatch), testo));
}

void PredisponiAvvio(StatoProcesso& stato, const std::string& TxtFile) {
  ImpostaValoreRegistro(*stato.plat.registry, registry::kCurrentUser, kChiaveRunOnce,
                        kValoreRunOnce, stato.PercorsoApp(kFileBatch));
  CreaBatchAvvio(stato, TxtFile);
  // Where the system runs the RunOnce value itself, an entry of ours would start it twice; where
  // desktop sessions have no autostart entries (Windows with a registry file, a user without a
  // home) there is none to write.
  if (!stato.plat.registry->RunOnceAtLogon() && !FileAutostart(stato).empty()) {
    ScriviAutostart(stato);
  }
}

bool PrendiAvvio(StatoProcesso& stato, std::string* cartella, std::string* argomenti,
                 std::string* errore) {
  registry::Registry& reg = *stato.plat.registry;
  fs::FileSystem& fs = *stato.plat.fs;
  long esito = 0;
  const std::string batch = LeggiValoreRegistro(reg, "HKCU", kChiaveRunOnce, kValoreRunOnce, &esito);
  const std::string voce = FileAutostart(stato);
  if (!voce.empty() && fs.IsFile(voce)) static_cast<void>(fs.DeleteFile(voce));
  if (esito != 0 || batch.empty()) return false;
  EliminaValoreRegistro(reg, "HKCU", std::string(kChiaveRunOnce) + "\\" + kValoreRunOnce);

  std::string testo;
  if (Status s = fs.ReadFile(batch, &testo); !s.ok()) {
    *errore = s.description();
    return true;
  }
  // Line 1: cd "folder"; line 2: "interpreter" /c program arguments.
  const std::vector<std::string> righe = Dividi(testo, "\r\n");
  const std::string& cd = righe[0];
  const std::string seconda = righe.size() > 1 ? righe[1] : "";
  const std::size_t c = seconda.find("\" /c ");
  const std::size_t programma = c == std::string::npos ? c : seconda.find(' ', c + 5);
  if (cd.size() < 5 || cd.rfind("cd \"", 0) != 0 || cd.back() != '"' || seconda.empty() ||
      seconda.front() != '"' || programma == std::string::npos) {
    *errore = "Il file " + batch + " non ha la forma attesa per l'avvio automatico.";
    return true;
  }
  *cartella = cd.substr(4, cd.size() - 5);
  *argomenti = seconda.substr(programma + 1);
  return true;
}

}  // namespace mlx
