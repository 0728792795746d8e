// The dispatch table: every command code of the script language and its handler. Codes are
// compared whole and case-sensitively. A code whose family this build does not contain has no
// handler and, like a code that matches nothing, does nothing.
#include <unordered_map>

#include "engine/clsMarlovex.h"

namespace mlx {

const std::vector<clsMarlovex::VoceComando>& clsMarlovex::TabellaComandi() {
  using C = clsMarlovex;
  // {code, handler, builds the statement executed at the end of the line}
  static const std::vector<VoceComando> tabella = {
      // Columns, rows, table, import, index and relation commands on the current table.
      {"+", &C::CmdAggiungiCampo, true},
      {"-", &C::CmdEliminaCampo, true},
      {"!", &C::CmdModificaTipo, true},
      {"0", &C::CmdSvuotaCampo, true},
      {"M", &C::CmdModificaValore, true},
      {"D", &C::CmdDefaultCampo, false},
      {"$", &C::CmdRinominaCampo, false},
      {"X", &C::CmdEliminaTabella, true},
      {">", &C::CmdCreaTabella, true},
      {"/", &C::CmdSvuotaTabella, true},
      {"<", &C::CmdImportaDati, false},
      {"#", &C::CmdCreaIndice, false},
      {"-#", &C::CmdEliminaIndice, true},
      {"@", &C::CmdCreaRelazione, false},
      {"M@", &C::CmdModificaRelazione, false},
      {"-@", &C::CmdEliminaRelazione, false},
      // Run a statement.
      {"SQL", &C::CmdSql, false},
      // Message switches and the wait window.
      {"MSGY", &C::CmdMessaggioFinaleSi, false},
      {"MSGN", &C::CmdMessaggioFinaleNo, false},
      {"ASKY", &C::CmdRichiestaSi, false},
      {"ASKN", &C::CmdRichiestaNo, false},
      {"WAITY", nullptr, false},
      // Loop over databases.
      {"LOOP", nullptr, false},
      // Variable assignment.
      {"=", &C::CmdAssegna, false},
      {"GET", &C::CmdGet, false},
      {"REG", &C::CmdVariabileDaRegistro, false},
      {"ENV", nullptr, false},
      {"PATHONLY", nullptr, false},
      {"FILEONLY", nullptr, false},
      {"ASK", nullptr, false},
      // Registry, files, message, log and error switches.
      {"X\xC2\xA7", &C::CmdEliminaChiave, false},
      {"-\xC2\xA7", &C::CmdEliminaValore, false},
      {"+\xC2\xA7", &C::CmdScriviValore, false},
      {"K", nullptr, false},
      {"CP", nullptr, false},
      {"MSG", nullptr, false},
      {"LOGY", &C::CmdLogAttivo, false},
      {"LOGN", &C::CmdLogDisattivo, false},
      {"ERRY", &C::CmdErroriAttivi, false},
      {"ERRN", &C::CmdErroriSilenziosi, false},
      // Compact the database.
      {"DBZ", &C::CmdCompatta, false},
      // Jumps, subroutines, end.
      {"GOTO", nullptr, false},
      {"GOSUB", nullptr, false},
      {"RET", nullptr, false},
      {"END", &C::CmdFine, false},
      // Automatic restart, folders, programs.
      {"BOOT", nullptr, false},
      {"MD", nullptr, false},
      {"EXEC", nullptr, false},
      // Create a database, schedule an update, saved queries.
      {"+DB", &C::CmdCreaDatabase, false},
      {"+TASK", &C::CmdProgramma, false},
      {"+Q", &C::CmdAggiungiQuery, false},
      {"-Q", &C::CmdEliminaQuery, false},
      // Variable assignment.
      {"PREPATH", nullptr, false},
      {"LEFTOF", nullptr, false},
      {"RIGHTOF", nullptr, false},
      // Zero-length rule of a column.
      {"Z", &C::CmdLunghezzaZero, false},
      // Variable assignment.
      {"UCASE", nullptr, false},
      {"LCASE", nullptr, false},
      {"LEFT", nullptr, false},
      {"RIGHT", nullptr, false},
      // Counter realignment.
      {"DBFC", &C::CmdRiallinea, false},
      // Variable assignment.
      {"FILEVER", nullptr, false},
      {"OR", nullptr, false},
      {"AND", nullptr, false},
      {"COND", nullptr, false},
      // Rename a table, import from a table.
      {"$T", &C::CmdRinominaTabella, false},
      {"<T", &C::CmdImportaTabella, false},
      // Component registration.
      {"DLLREG", nullptr, false},
  };
  return tabella;
}

const clsMarlovex::VoceComando* clsMarlovex::TrovaComando(std::string_view codice) {
  static const std::unordered_map<std::string_view, const VoceComando*> indice = [] {
    std::unordered_map<std::string_view, const VoceComando*> mappa;
    for (const VoceComando& voce : TabellaComandi()) mappa.emplace(voce.codice, &voce);
    return mappa;
  }();
  auto it = indice.find(codice);
  return it == indice.end() ? nullptr : it->second;
}

std::vector<std::string> clsMarlovex::CodiciComandi() {
  std::vector<std::string> codici;
  for (const VoceComando& voce : TabellaComandi()) codici.emplace_back(voce.codice);
  return codici;
}

}  // namespace mlx
