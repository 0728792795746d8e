#include "database/importa.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

#include "database/transazione.h"
#include "platform/clock/clock.h"
#include "engine/errore.h"
#include "engine/utilita.h"
#include "engine/processo.h"
#include "platform/fs/fs.h"
#include "platform/progress.h"
#include "platform/text/text.h"

namespace mlx::importazione {

namespace {

// Rows imported between two reports of the progress (and two looks at an interruption).
constexpr long kRigheTraAvanzamenti = 256;

bool Virgolette(char c) {
  return c == '\'' || c == '"' || c == '#';
}
bool Spazio(char c) {
  return c == ' ' || c == '\t';
}
bool Cifra(char c) {
  return c >= '0' && c <= '9';
}

void SaltaSpazi(std::string_view s, std::size_t* i) {
  while (*i < s.size() && Spazio(s[*i])) ++*i;
}

// A word of letters at *i, in upper case; "" when none.
std::string Parola(std::string_view s, std::size_t* i) {
  std::string parola;
  while (*i < s.size() && std::isalpha(static_cast<unsigned char>(s[*i]))) {
    parola += static_cast<char>(std::toupper(static_cast<unsigned char>(s[(*i)++])));
  }
  return parola;
}

// A quoted text at *i (which holds the quote): its content with doubled quotes made single.
bool Testo(std::string_view s, std::size_t* i, std::string* contenuto) {
  const char q = s[*i];
  contenuto->clear();
  for (std::size_t j = *i + 1;;) {
    const std::size_t k = s.find(q, j);
    if (k == std::string_view::npos) return false;
    contenuto->append(s.data() + j, k - j);
    if (k + 1 < s.size() && s[k + 1] == q) {
      contenuto->push_back(q);
      j = k + 2;
    } else {
      *i = k + 1;
      return true;
    }
  }
}

// True when the separator begins at position i of the line.
bool SeparatoreIn(std::string_view riga, std::size_t i, std::string_view separatore) {
  return !separatore.empty() && riga[i] == separatore[0] &&
         (separatore.size() == 1 || riga.compare(i, separatore.size(), separatore) == 0);
}

// A number at *i with an optional sign, as the statement would read it: digits without point
// or exponent give an integer, the others a real. Reals with more significant digits than a
// double carries, zeros with a sign and values out of range are left to the statement.
bool Numero(std::string_view s, std::size_t* i, db::Value* valore) {
  std::size_t j = *i;
  bool negativo = false, segno = false;
  if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
    negativo = s[j] == '-';
    segno = true;
    ++j;
    SaltaSpazi(s, &j);
  }
  const std::size_t inizio = j;
  int cifre = 0;
  bool significative = false, reale = false;
  auto conta = [&](char c) {
    if (c != '0') significative = true;
    if (significative) ++cifre;
  };
  while (j < s.size() && Cifra(s[j])) conta(s[j++]);
  const bool intere = j > inizio;
  if (j < s.size() && s[j] == '.') {
    reale = true;
    ++j;
    const std::size_t decimali = j;
    while (j < s.size() && Cifra(s[j])) conta(s[j++]);
    if (!intere && j == decimali) return false;
  } else if (!intere) {
    return false;
  }
  if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
    std::size_t k = j + 1;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
    if (k >= s.size() || !Cifra(s[k])) return false;
    while (k < s.size() && Cifra(s[k])) ++k;
    reale = true;
    j = k;
  }
  const char* primo = s.data() + inizio;
  const char* ultimo = s.data() + j;
  if (!reale) {
    long long n = 0;
    auto [fine, errore] = std::from_chars(primo, ultimo, n);
    if (errore != std::errc() || fine != ultimo) return false;
    *valore = db::Value::Integer(negativo ? -n : n);
  } else {
    if (cifre > 15) return false;
    // A leading "." is the only form the reader of reals does not take as written.
    std::string conPunto;
    if (*primo == '.') {
      conPunto = "0" + std::string(primo, ultimo);
      primo = conPunto.data();
      ultimo = primo + conPunto.size();
    }
    double d = 0;
    auto [fine, errore] = std::from_chars(primo, ultimo, d);
    if (errore != std::errc() || fine != ultimo || !std::isfinite(d)) return false;
    if (d == 0 && segno) return false;
    *valore = db::Value::Double(negativo ? -d : d);
  }
  *i = j;
  return true;
}

// A date in the range dates may have: the years 100 to 9999.
bool DataValida(int anno, int mese, int giorno) {
  return anno >= 100 && anno <= 9999 && clock::IsValidDate(anno, mese, giorno);
}

// Digits at *i, at most `massimo` of them; -1 when there are none.
int Intero(std::string_view s, std::size_t* i, std::size_t massimo) {
  std::size_t j = *i;
  int n = 0;
  while (j < s.size() && Cifra(s[j]) && j - *i < massimo) n = n * 10 + (s[j++] - '0');
  if (j == *i) return -1;
  *i = j;
  return n;
}

// A date literal without time of day, in one of the two forms that read the same everywhere:
// #yyyy-mm-dd# and #m/d/yyyy# with the month first. Anything else is left to the statement.
bool Data(std::string_view contenuto, db::Value* valore) {
  std::size_t i = 0;
  int anno = 0, mese = 0, giorno = 0;
  const int a = Intero(contenuto, &i, 4);
  if (a < 0 || i >= contenuto.size()) return false;
  if (i == 4 && contenuto[i] == '-') {
    ++i;
    mese = Intero(contenuto, &i, 2);
    if (mese < 0 || i >= contenuto.size() || contenuto[i] != '-') return false;
    ++i;
    giorno = Intero(contenuto, &i, 2);
    anno = a;
  } else if (i <= 2 && contenuto[i] == '/') {
    ++i;
    giorno = Intero(contenuto, &i, 2);
    if (giorno < 0 || i >= contenuto.size() || contenuto[i] != '/') return false;
    ++i;
    const std::size_t primaAnno = i;
    anno = Intero(contenuto, &i, 4);
    if (i - primaAnno != 4) return false;
    mese = a;
  } else {
    return false;
  }
  if (i != contenuto.size() || !DataValida(anno, mese, giorno)) return false;
  const long long giorni = clock::DayNumber(anno, mese, giorno);
  if (giorni < 0) return false;
  *valore = db::Value::Integer(giorni);
  return true;
}

// One plain literal at *i; the text of a quoted one is built in *testo.
bool Valore(std::string_view s, std::size_t* i, std::string* testo, db::Value* valore) {
  const char c = s[*i];
  if (c == '\'' || c == '"') {
    if (!Testo(s, i, testo)) return false;
    *valore = db::Value::Text(std::move(*testo));  // the buffer goes with the value
  } else if (c == '#') {
    const std::size_t chiusa = s.find('#', *i + 1);
    if (chiusa == std::string_view::npos) return false;
    if (!Data(s.substr(*i + 1, chiusa - *i - 1), valore)) return false;
    *i = chiusa + 1;
  } else if (std::isalpha(static_cast<unsigned char>(c))) {
    const std::string parola = Parola(s, i);
    if (parola == "NULL") {
      *valore = db::Value::Null();
    } else if (parola == "TRUE" || parola == "FALSE") {
      *valore = db::Value::Integer(parola == "TRUE" ? -1 : 0);
    } else {
      return false;
    }
    if (*i < s.size() && (std::isalnum(static_cast<unsigned char>(s[*i])) || s[*i] == '_')) {
      return false;
    }
  } else if (!Numero(s, i, valore)) {
    return false;
  }
  return true;
}

// One value of a line from index i: up to the next separator or comma outside quoted literals
// (a doubled quote inside a literal stands for itself). *fine is where the value ends, *dopo
// where the next one begins; both are the line's length when the value is the last.
void ScandisciValore(std::string_view riga, std::size_t i, std::string_view separatore,
                     std::size_t* fine, std::size_t* dopo) {
  for (char chiusura = 0; i < riga.size();) {
    const char c = riga[i];
    if (chiusura != 0) {
      ++i;
      if (c == chiusura) {
        if (c != '#' && i < riga.size() && riga[i] == c) {
          ++i;
        } else {
          chiusura = 0;
        }
      }
    } else if (SeparatoreIn(riga, i, separatore)) {
      *fine = i;
      *dopo = i + separatore.size();
      return;
    } else if (c == ',') {
      *fine = i;
      *dopo = i + 1;
      return;
    } else {
      if (Virgolette(c)) chiusura = c;
      ++i;
    }
  }
  *fine = *dopo = riga.size();
}

}  // namespace

std::string ApplicaRegole(std::string_view riga, std::string_view separatore) {
  std::string esito;
  esito.reserve(riga.size() + 16);
  for (std::size_t i = 0;;) {
    std::size_t fine = 0, dopo = 0;
    ScandisciValore(riga, i, separatore, &fine, &dopo);
    // An empty value is NULL, but not the first one of the line.
    if (fine == i && i != 0) {
      esito += "NULL";
    } else {
      esito.append(riga, i, fine - i);
    }
    if (fine == riga.size()) return esito;
    esito += ',';
    i = dopo;
  }
}

bool LeggiLetterali(std::string_view lista, std::vector<db::Value>* valori) {
  valori->clear();
  std::size_t i = 0;
  std::string testo;
  for (;;) {
    SaltaSpazi(lista, &i);
    if (i >= lista.size()) return false;
    valori->emplace_back();
    if (!Valore(lista, &i, &testo, &valori->back())) return false;
    SaltaSpazi(lista, &i);
    if (i == lista.size()) return true;
    if (lista[i] != ',') return false;
    ++i;
  }
}

bool LeggiRiga(std::string_view riga, std::string_view separatore, std::vector<db::Value>* valori) {
  valori->clear();
  std::string testo;
  std::size_t i = 0;
  for (;;) {
    const std::size_t inizio = i;
    std::size_t fine = 0, dopo = 0;
    ScandisciValore(riga, i, separatore, &fine, &dopo);
    const std::string_view valore = riga.substr(inizio, fine - inizio);
    valori->emplace_back();
    if (valore.empty()) {
      // An empty value is NULL, but not the first one of the line.
      if (valori->size() == 1) return false;
    } else {
      std::size_t k = 0;
      SaltaSpazi(valore, &k);
      if (k == valore.size() || !Valore(valore, &k, &testo, &valori->back())) return false;
      SaltaSpazi(valore, &k);
      if (k != valore.size()) return false;
    }
    if (fine == riga.size()) return true;
    i = dopo;
  }
}

Conteggio ImportaDati(StatoProcesso& stato, db::Connection& conn, const std::string& tabella,
                      const std::string& file, const std::string& separatore,
                      const std::string& colonne,
                      const std::function<std::string(std::string_view)>& espandi, bool preparate) {
  fs::FileSystem& fs = *stato.plat.fs;
  // A relative name is looked for in the program's folder; an absolute one is used as given.
  const std::string nome =
      text::ToUpper(fs.ProgramName()) == "MARLOVEX" && !PercorsoAssoluto(file)
          ? stato.PercorsoApp(file)
          : file;
  if (fs.List(nome, false).empty()) {
    stato.SegnalaErrore("File " + file + " non trovato, dati non importati.");
    return {};
  }
  const std::string testa =
      "INSERT INTO [" + tabella + "] " + Sostituisci(colonne, ";", ",") + " VALUES (";

  std::unique_ptr<fs::InputFile> ingresso;
  Verifica(fs.OpenLines(nome, &ingresso));

  // How far the import is: the bytes of the file read, or the rows when its size is unknown.
  const std::int64_t dimensione = static_cast<std::int64_t>(ingresso->Size());
  progress::Scope avanzamento(
      stato.plat.progress,
      {progress::Kind::kImport, file,
       dimensione > 0 ? progress::Unit::kBytes : progress::Unit::kRows, dimensione, true});

  Conteggio conteggio;
  const auto fatto = [&]() -> std::int64_t {
    return dimensione > 0 ? static_cast<std::int64_t>(ingresso->Position()) : conteggio.righe;
  };
  Transazione transazione(conn);
  // An import the user interrupts leaves the table as it was.
  const auto interrotta = [&] {
    transazione.Annulla();
    Solleva(err::kInterrupted,
            "Importazione dal file " + file + " interrotta, nessuna riga importata.");
  };
  // One prepared statement for each number of values met; once the connection refuses to
  // prepare one, every line goes as a whole statement.
  std::map<std::size_t, std::unique_ptr<db::Statement>> istruzioni;
  bool preparabili = preparate;
  std::vector<db::Value> valori;
  std::string riga;
  // A row the database refuses is reported with the data file and the number of its line.
  const auto verificaRiga = [&](const Status& esito) {
    if (esito.ok()) return;
    if (avanzamento.Interrupted()) interrotta();
    Solleva(esito.number(), esito.description() + " (file " + file + ", riga " +
                                std::to_string(conteggio.righe) + ")");
  };
  for (bool prima = true;; prima = false) {
    if (!ingresso->ReadLine(&riga)) {
      Verifica(ingresso->status());
      // The first line is read before the end of the file is tested: an empty file fails.
      if (prima) Solleva(62, "Input oltre la fine del file " + file + ".");
      break;
    }
    ++conteggio.righe;
    if (conteggio.righe % kRigheTraAvanzamenti == 0) {
      avanzamento.Advance(fatto());
      if (avanzamento.Interrupted()) interrotta();
    }
    // A line without placeholders is read straight into values; the others are expanded first.
    const bool segnaposto = riga.find("{<") != std::string::npos;
    const bool espansa = segnaposto || !preparabili;
    std::string lista;
    if (espansa) lista = espandi(ApplicaRegole(riga, separatore));
    const bool semplice = preparabili && (segnaposto ? LeggiLetterali(lista, &valori)
                                                     : LeggiRiga(riga, separatore, &valori));
    if (semplice) {
      std::unique_ptr<db::Statement>& istruzione = istruzioni[valori.size()];
      if (!istruzione) {
        std::string marcatori;
        for (std::size_t k = 0; k < valori.size(); ++k) marcatori += k == 0 ? "?" : ",?";
        if (!conn.Prepare(testa + marcatori + ")", &istruzione).ok()) {
          istruzione.reset();
          preparabili = false;
        }
      }
      if (istruzione) {
        verificaRiga(istruzione->Execute(valori));
        ++conteggio.preparate;
        continue;
      }
    }
    if (!espansa) lista = ApplicaRegole(riga, separatore);
    verificaRiga(conn.Execute(testa + lista + ")"));
  }
  avanzamento.Advance(fatto());
  Verifica(transazione.Conferma());
  return conteggio;
}

}  // namespace mlx::importazione
