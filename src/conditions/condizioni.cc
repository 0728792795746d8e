#include "conditions/condizioni.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "conditions/mdlFileVersion.h"
#include "database/connessione.h"
#include "database/schema.h"
#include "engine/contesto.h"
#include "engine/errore.h"
#include "engine/utilita.h"
#include "platform/db/db.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"
#include "variables/espansione.h"

namespace mlx {

namespace {

constexpr auto npos = std::string::npos;

[[noreturn]] void Malformata(std::string_view condizione) {
  Solleva(err::kInvalidCall, "Condizione non valida: " + std::string(condizione));
}

// ---- Versions ---------------------------------------------------------------------------------

// The newer of two version texts, compared component by component; one of the two, unchanged.
std::string VersionePiuRecente(const std::string& a, const std::string& b) {
  return GreaterVersion(a, b, ".");
}

enum class Ordine { Antecedente, Successiva, AntecedenteOUguale, SuccessivaOUguale };

// Whether the version `attuale` stands in that order to `riferimento`. Two texts that are
// equal are equal versions; two that differ only in the writing of equal numbers (2 and 02)
// are neither equal nor one older than the other.
bool InOrdine(Ordine ordine, std::string_view attuale, std::string_view riferimento) {
  const std::string piuRecente = VersionePiuRecente(std::string(attuale), std::string(riferimento));
  const bool uguali = riferimento == attuale;
  switch (ordine) {
    case Ordine::Antecedente:
      return piuRecente == riferimento && !uguali;
    case Ordine::Successiva:
      return piuRecente == attuale && !uguali;
    case Ordine::AntecedenteOUguale:
      return piuRecente == riferimento || uguali;
    case Ordine::SuccessivaOUguale:
      return piuRecente == attuale || uguali;
  }
  return false;
}

// ---- Tests recognised by their prefix -------------------------------------------------------

enum class Forma {
  EsisteFile,
  MancaFile,
  LunghezzaZero,
  NoLunghezzaZero,
  VersioneUguale,
  VersioneAntecedente,
  VersioneSuccessiva,
  VersioneDiversa,
  VersioneAntecedenteOUguale,
  VersioneSuccessivaOUguale,
  Vera,
  Falsa,
};

struct Prefisso {
  std::string_view testo;
  Forma forma;
};

// In the order they are tried; the first prefix that begins the test decides.
constexpr Prefisso kPrefissi[] = {
    {"F,", Forma::EsisteFile},
    {"!F,", Forma::MancaFile},
    {"Z,", Forma::LunghezzaZero},
    {"!Z,", Forma::NoLunghezzaZero},
    {"VF=,", Forma::VersioneUguale},
    {"VF<,", Forma::VersioneAntecedente},
    {"VF>,", Forma::VersioneSuccessiva},
    {"VF<>,", Forma::VersioneDiversa},
    {"VF<=,", Forma::VersioneAntecedenteOUguale},
    {"VF>=,", Forma::VersioneSuccessivaOUguale},
    {"TRUE,", Forma::Vera},
    {"FALSE,", Forma::Falsa},
};

// Whether a search for the path (the wildcards "*" and "?" allowed) finds an ordinary file:
// folders and hidden files never match. A path the file system cannot reach finds nothing.
bool TrovaFile(ContestoEsecuzione& c, const std::string& percorso) {
  for (const std::string& nome : c.plat().fs->List(percorso, false)) {
    if (!fs::IsHiddenName(nome)) return true;
  }
  if (Rendiconto* r = c.processo.rendiconto; r != nullptr) {
    r->FileMancante(c.TxtFile, c.processo.RigaInCorso, percorso);
  }
  return false;
}

// Whether the column "table.field" accepts zero-length text, on the database open now.
bool LunghezzaZeroAmmessa(ContestoEsecuzione& c, const std::string& campo) {
  return schema::LeggiLunghezzaZero(c.ConnessioneAperta(), SinistraDi(campo, "."),
                                    DestraDi(campo, "."));
}

// A file-version test: the argument is the file and, after its first ",", the version written
// (not trimmed). "=" and "<>" compare the texts exactly; the others order the versions. A missing
// file, or one without a version, has the version "", older than any other.
bool TestVersione(ContestoEsecuzione& c, Forma forma, const std::string& argomento) {
  const std::size_t virgola = argomento.find(',');
  const std::string file = argomento.substr(0, virgola);
  const std::string scritta = virgola == std::string::npos ? "" : argomento.substr(virgola + 1);
  const std::string delFile = FileVersionText(*c.plat().fs, file);
  const char* segno = "";
  bool esito = false;
  switch (forma) {
    case Forma::VersioneUguale:
      segno = " = ";
      esito = scritta == delFile;
      break;
    case Forma::VersioneDiversa:
      segno = " <> ";
      esito = scritta != delFile;
      break;
    case Forma::VersioneAntecedente:
      segno = " < ";
      esito = InOrdine(Ordine::Antecedente, delFile, scritta);
      break;
    case Forma::VersioneSuccessiva:
      segno = " > ";
      esito = InOrdine(Ordine::Successiva, delFile, scritta);
      break;
    case Forma::VersioneAntecedenteOUguale:
      segno = " <= ";
      esito = InOrdine(Ordine::AntecedenteOUguale, delFile, scritta);
      break;
    case Forma::VersioneSuccessivaOUguale:
      segno = " >= ";
      esito = InOrdine(Ordine::SuccessivaOUguale, delFile, scritta);
      break;
    default:
      break;
  }
  c.Azione += "versione file " + file + segno + scritta;
  return esito;
}

bool TestPrefisso(ContestoEsecuzione& c, Forma forma, std::string_view scritto) {
  const std::string argomento = c.Espandi(scritto);
  switch (forma) {
    case Forma::VersioneUguale:
    case Forma::VersioneDiversa:
    case Forma::VersioneAntecedente:
    case Forma::VersioneSuccessiva:
    case Forma::VersioneAntecedenteOUguale:
    case Forma::VersioneSuccessivaOUguale:
      return TestVersione(c, forma, argomento);
    case Forma::EsisteFile:
      c.Azione += "esistenza file " + argomento;
      return TrovaFile(c, argomento);
    case Forma::MancaFile:
      c.Azione += "assenza file " + argomento;
      return !TrovaFile(c, argomento);
    case Forma::LunghezzaZero:
      c.Azione += "lungh. zero ammessa su campo " + argomento;
      return LunghezzaZeroAmmessa(c, argomento);
    case Forma::NoLunghezzaZero:
      c.Azione += "lungh. zero non ammessa su campo " + argomento;
      return !LunghezzaZeroAmmessa(c, argomento);
    case Forma::Vera:
      // The description shows the text as written, the placeholder rather than its value.
      c.Azione.append("verit\xC3\xA0 variabile ").append(scritto);
      return IsVero(argomento);
    case Forma::Falsa:
      c.Azione.append("falsit\xC3\xA0 variabile ").append(scritto);
      return !IsVero(argomento);
  }
  return false;
}

// ---- Variable comparisons -------------------------------------------------------------------

// The order of two values: as numbers when both are numbers, otherwise character by
// character (case counts).
int Confronta(std::string_view a, std::string_view b) {
  if (IsNumeric(a) && IsNumeric(b)) {
    const double x = ValoreNumerico(a), y = ValoreNumerico(b);
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  const int ordine = a.compare(b);
  return ordine < 0 ? -1 : (ordine > 0 ? 1 : 0);
}

// The value as a pattern that matches it literally, as far as "*" goes: "?", "#" and "[" keep
// their meaning, so a value can still carry a pattern of its own.
std::string Letterale(std::string_view valore) {
  return Sostituisci(valore, "*", "[*]");
}

struct Operatore {
  std::string_view codice;  // the two characters after ">}"
  std::string_view frase;   // between the name and the value in the description
  bool (*vale)(std::string_view variabile, std::string_view valore);
};

using Testo = std::string_view;

const Operatore kOperatori[] = {
    {"==", " == ", [](Testo v, Testo x) { return v == x; }},
    {"<>", " <> ", [](Testo v, Testo x) { return v != x; }},
    {"<<", " << ", [](Testo v, Testo x) { return Confronta(v, x) < 0; }},
    {"<=", " <= ", [](Testo v, Testo x) { return Confronta(v, x) <= 0; }},
    {">=", " >= ", [](Testo v, Testo x) { return Confronta(v, x) >= 0; }},
    {">>", " >> ", [](Testo v, Testo x) { return Confronta(v, x) > 0; }},
    {"[*", " inizia per ", [](Testo v, Testo x) { return text::Like(v, Letterale(x) + "*"); }},
    {"*]", " finisce per ", [](Testo v, Testo x) { return text::Like(v, "*" + Letterale(x)); }},
    {"**", " contiene ", [](Testo v, Testo x) { return text::Like(v, "*" + Letterale(x) + "*"); }},
    {"sv", " versione uguale a ", [](Testo v, Testo x) { return v == x; }},
    {"dv", " versione diversa da ", [](Testo v, Testo x) { return v != x; }},
    {"ov", " versione antecedente a ",
     [](Testo v, Testo x) { return InOrdine(Ordine::Antecedente, v, x); }},
    {"nv", " versione successiva a ",
     [](Testo v, Testo x) { return InOrdine(Ordine::Successiva, v, x); }},
    {"os", " versione uguale o antecedente a ",
     [](Testo v, Testo x) { return InOrdine(Ordine::AntecedenteOUguale, v, x); }},
    {"ns", " versione uguale o successiva a ",
     [](Testo v, Testo x) { return InOrdine(Ordine::SuccessivaOUguale, v, x); }},
};

// "{<name>}" operator value: the variable's value (a missing variable is "") against the value
// written, whose placeholders are expanded. An operator not in the table is false and adds
// nothing to the description.
bool TestVariabile(ContestoEsecuzione& c, std::string_view szExec) {
  const PartiTestVariabile parti = DividiTestVariabile(szExec);
  // The value compared is expanded; one without placeholders is used as written.
  std::string espanso;
  std::string_view valore = parti.valore;
  if (HaSegnaposti(valore)) {
    espanso = c.Espandi(valore);
    valore = espanso;
  }
  const std::string_view nome = parti.nome;
  for (const Operatore& o : kOperatori) {
    if (!UgualeBreve{}(o.codice, parti.operatore)) continue;
    const std::string_view variabile = VoceDestra(c.ExecVars.get(), nome, " = ");
    c.Azione.append(nome).append(o.frase).append(valore);
    return o.vale(variabile, valore);
  }
  return false;
}

// ---- Database tests -------------------------------------------------------------------------

// Field types by the keywords a field test may write in their place.
constexpr std::pair<std::string_view, std::int32_t> kTipiCampo[] = {
    {"TEXT", db::kAdVarWChar}, {"MEMO", db::kAdLongVarWChar}, {"BYTE", db::kAdUnsignedTinyInt},
    {"INT", db::kAdSmallInt},  {"LONG", db::kAdInteger},      {"SINGLE", db::kAdSingle},
    {"DOUBLE", db::kAdDouble}, {"DECIMAL", db::kAdNumeric},   {"MONEY", db::kAdCurrency},
    {"DATE", db::kAdDate},     {"BOOL", db::kAdBoolean},
};

// The type code a field test names: a number, or a keyword of the table (in any case).
std::int32_t CodiceTipo(const std::string& tipo) {
  if (IsNumeric(tipo)) return ValoreIntero(tipo);
  const std::string maiuscolo = text::ToUpper(tipo);
  for (const auto& [parola, codice] : kTipiCampo) {
    if (parola == maiuscolo) return codice;
  }
  Solleva(err::kTypeMismatch, "Tipo non corrispondente: " + tipo);
}

// Puts the connection on the database to test. The connection stays on the database it is open
// on while the test names the database the previous test named (or no test has opened one
// yet): a script that opened a database with a database line tests that one.
void SelezionaDatabase(ContestoEsecuzione& c, const std::string& database) {
  const Platform& plat = c.plat();
  db::Connection& conn = OggettoConnessione(plat, c.Connessione);
  if (!c.DbCiclo.empty() && c.DbCiclo != database && conn.State() != 0) conn.Close();
  if (conn.State() == 0) ApriDatabase(plat, conn, database);
  c.DbCiclo = database;
}

// database,name,kind or database,table,field,kind[,type[,size]].
bool TestDatabase(ContestoEsecuzione& c, std::string_view szExec) {
  const std::string argomento = c.Espandi(szExec);
  const std::vector<std::string> parti = Dividi(argomento, ",");
  const auto Parte = [&](std::size_t i) -> const std::string& {
    if (i >= parti.size()) {
      Solleva(err::kSubscript, "Indice non compreso nell'intervallo: la condizione " + argomento +
                                   " non ha la parte " + std::to_string(i) + ".");
    }
    return parti[i];
  };
  // The database and the name become current at once, and stay so when a later step fails.
  std::string database = Parte(0);
  c.DbCorrente = database;
  const std::string nome = Parte(1);
  c.TabellaCorrente = nome;

  std::string campo, genere, tipo = "-1";
  std::int32_t dimensione = -1;
  const bool conDimensione = parti.size() > 5;
  if (parti.size() >= 4) {
    campo = parti[2];
    genere = parti[3];
    if (parti.size() > 4) tipo = TogliSpazi(parti[4]);
    if (conDimensione) dimensione = ValoreIntero(TogliSpazi(parti[5]));
  } else {
    genere = Parte(2);
  }

  if (database == "MAIN") {
    database = !c.processo.DbAlternativo.empty()
                   ? c.processo.DbAlternativo
                   : c.impostazioni.PercorsoDatabase(c.plat().registry);
    c.DbCorrente = database;
  }
  SelezionaDatabase(c, database);
  db::Connection& conn = *c.Connessione;
  c.Azione += "(" + database + ") ";

  if (genere == "X" || genere == "Y") {
    c.Azione += "Tabella " + nome + (genere == "X" ? " assente " : " presente ");
    return schema::EsisteTabella(conn, nome) == (genere == "Y");
  }
  if (genere == "XQ" || genere == "YQ") {
    c.Azione += "Query " + nome + (genere == "XQ" ? " assente " : " presente ");
    return schema::EsisteQuery(conn, nome) == (genere == "YQ");
  }
  if (genere != "#" && genere != "=") return false;

  // Field tests read the field from the table's recordset, released afterwards whatever
  // happens. A table that does not exist is an error.
  struct Chiusura {
    std::unique_ptr<db::Recordset>& rs;
    ~Chiusura() { ChiudiOggetto(rs); }
  } chiusura{c.RecordsetGet};
  Verifica(conn.OpenRecordset("[" + nome + "]", db::kCursorUnspecified, db::kLockUnspecified,
                              &c.RecordsetGet));
  const std::int32_t trovato = TipoCampo(c.RecordsetGet.get(), campo);
  constexpr std::int32_t kManca = -4;
  if (genere == "#") {
    c.Azione += "Campo " + nome + "." + campo + " assente ";
    return trovato == kManca;
  }
  // "=": whether the field must be made or changed: it is missing, of another type, or (when a
  // size is given) of another size. Without a type nothing is of type -1, so the answer is yes.
  c.Azione += "Campo " + nome + "." + campo + " diverso da " + tipo;
  if (conDimensione) c.Azione += "(" + std::to_string(dimensione) + ") ";
  const std::int32_t codice = CodiceTipo(tipo);
  if (trovato == kManca) return trovato != codice;
  const long definita = c.RecordsetGet->Field(c.RecordsetGet->FieldIndex(campo)).defined_size;
  return trovato != codice || (dimensione != -1 && dimensione != definita);
}

// The description of a pair: the first test's, the operator and the second test's, leaving out
// what is empty.
std::string DescrizioneCoppia(const std::string& d1, const std::string& operatore,
                              const std::string& d2) {
  if (d2.empty()) return d1;
  if (d1.empty()) return d2;
  return d1 + " " + operatore + " " + d2;
}

}  // namespace

bool EvalCondizione(ContestoEsecuzione& c, std::string_view szExec) {
  if (szExec == "ERR") {
    c.Azione += "su errore ";
    return c.ErroreRiga;
  }
  // The results of groups already evaluated, and the truth words written by hand.
  if (szExec == "False" || szExec == "True" || szExec == "Vero" || szExec == "Falso") {
    return IsVero(szExec);
  }
  // A variable test first: no prefix begins with "{<", so the order decides nothing.
  if (szExec.starts_with("{<")) return TestVariabile(c, szExec);
  for (const Prefisso& p : kPrefissi) {
    if (szExec.starts_with(p.testo)) return TestPrefisso(c, p.forma, szExec.substr(p.testo.size()));
  }
  // Anything else, a prefix in lower case too, is a database test.
  return TestDatabase(c, szExec);
}

bool EvalBiCondizione(ContestoEsecuzione& c, std::string_view szExec) {
  const std::string_view s = SenzaSpazi(szExec);
  if (s.empty() || s[0] != '^') return false;
  const std::size_t p = Cerca(s, "^", 1);
  if (p == npos) Malformata(szExec);
  const std::string_view primo = s.substr(1, p - 1);
  if (p == s.size() - 1) {
    c.Azione.clear();
    return EvalCondizione(c, primo);
  }

  // Two tests: the operator lies between the first test's closing caret and the second's
  // opening one; the second test runs to the character before the last.
  const std::string_view resto = s.substr(p + 1);
  const std::size_t q = resto.find('^');
  if (q == npos || q + 1 == resto.size()) Malformata(szExec);
  const std::string operatore = text::ToUpper(SenzaSpazi(resto.substr(0, q)));
  const std::string_view secondo = resto.substr(q + 1, resto.size() - q - 2);

  c.Azione.clear();
  const bool r1 = EvalCondizione(c, primo);
  const std::string d1 = std::exchange(c.Azione, std::string());
  bool esito = false;
  std::string d2;
  // Both tests run whatever the first answers; another operator leaves the second unasked.
  if (operatore == "AND" || operatore == "OR" || operatore == "XOR") {
    const bool r2 = EvalCondizione(c, secondo);
    d2 = c.Azione;
    esito = operatore == "AND" ? (r1 && r2) : operatore == "OR" ? (r1 || r2) : (r1 != r2);
  }
  c.Azione = DescrizioneCoppia(d1, operatore, d2);
  return esito;
}

bool EvalMultiCondizione(ContestoEsecuzione& c, std::string_view szExec) {
  const std::string_view t = SenzaSpazi(szExec);
  if (t.empty() || (t[0] != '(' && t[0] != '^')) return false;
  c.Azione.clear();
  // The line as the log shows it: each group in turn gives way to its description. A line
  // without groups is shown as written, and needs no copy.
  std::string_view mostra = szExec;
  std::string conGruppi;
  bool esito;
  if (Cerca(t, "^)") == npos) {
    esito = EvalBiCondizione(c, t);
  } else {
    std::string s(t);
    conGruppi = szExec;
    // Each round takes the group that the first "^)" closes and puts its result in its place
    // as a test "^True^" or "^False^". A round removes one "(", so the rounds end.
    for (std::size_t p = s.find("^)"); p != npos; p = s.find("^)")) {
      const std::size_t q = p == 0 ? npos : s.rfind("(^", p - 1);
      if (q == npos) {
        // A ")" that closes no group: what stands before it is still evaluated.
        EvalBiCondizione(c, std::string_view(s).substr(0, p + 1));
        Malformata(szExec);
      }
      const bool r = EvalBiCondizione(c, std::string_view(s).substr(q + 1, p - q));
      s = s.substr(0, q) + "^" + TestoBooleano(r) + "^" + s.substr(p + 2);

      const std::size_t p2 = conGruppi.find("^)");
      if (c.Azione.empty() || p2 == npos) continue;
      // The group's text, from its "(" (or, when the line shows none, from the caret before)
      // to its ")", becomes " description ".
      std::size_t tenuti = 0;
      if (p2 > 0) {
        std::size_t q2 = conGruppi.rfind("(^", p2 - 1);
        if (q2 == npos) q2 = conGruppi.rfind('^', p2 - 1);
        if (q2 != npos) tenuti = q2 + 1;
      }
      conGruppi = conGruppi.substr(0, tenuti) + " " + c.Azione + " " + conGruppi.substr(p2 + 1);
    }
    esito = EvalBiCondizione(c, s);
    mostra = conGruppi;
  }

  // The last pair's description takes the place of the outermost carets. It is composed in
  // Azione itself, which keeps its room from line to line.
  constexpr std::string_view kInizio = "Condizione   ";
  const std::size_t a = Cerca(mostra, "^");
  if (a == npos) {
    c.Azione.assign(kInizio).append(mostra).append(" : ");
  } else {
    c.Azione.insert(0, mostra.substr(0, a)).insert(0, kInizio);
    c.Azione.append(mostra.substr(mostra.rfind('^') + 1)).append(" : ");
  }
  return esito;
}

}  // namespace mlx
