#include "launch/rapporto.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

#include "engine/utilita.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"
#include "platform/text/text.h"
#include "platform/ui/ui.h"

namespace mlx {

namespace {

// The type of a column as a script declares it.
std::string TipoJet(const db::ColumnInfo& c) {
  switch (c.type) {
    case db::kAdVarWChar:
    case db::kAdWChar:
      return "TEXT(" + std::to_string(c.defined_size) + ")";
    case db::kAdLongVarWChar:
      return "MEMO";
    case db::kAdInteger:
      return c.auto_increment ? "COUNTER" : "LONG";
    case db::kAdSmallInt:
      return "SHORT";
    case db::kAdUnsignedTinyInt:
      return "BYTE";
    case db::kAdBigInt:
      return "BIGINT";
    case db::kAdSingle:
      return "SINGLE";
    case db::kAdDouble:
      return "DOUBLE";
    case db::kAdCurrency:
      return "CURRENCY";
    case db::kAdNumeric:
      return "DECIMAL";
    case db::kAdDate:
      return "DATETIME";
    case db::kAdBoolean:
      return "BIT";
    case db::kAdGuid:
      return "GUID";
    case db::kAdBinary:
    case db::kAdVarBinary:
      return "BINARY(" + std::to_string(c.defined_size) + ")";
    case db::kAdLongVarBinary:
      return "LONGBINARY";
    default:
      return "TIPO " + std::to_string(c.type);
  }
}

std::string DescriviCampo(const db::ColumnInfo& c) {
  std::string d = TipoJet(c);
  if (!c.nullable) d += " NOT NULL";
  if (!c.default_value.empty()) d += " DEFAULT " + c.default_value;
  return d;
}

std::string Elenco(const std::vector<std::string>& nomi) {
  return UnisciDa(nomi, ", ", 0);
}

std::string DescriviIndice(const db::IndexInfo& i) {
  std::string d = "(" + Elenco(i.columns) + ")";
  if (i.primary_key)
    d += " PRIMARY KEY";
  else if (i.unique)
    d += " UNIQUE";
  if (i.index_nulls == db::kIndexNullsDisallow) d += " DISALLOW NULL";
  if (i.index_nulls == db::kIndexNullsIgnore) d += " IGNORE NULL";
  return d;
}

std::string Regola(int regola) {
  return regola == db::kRuleCascade   ? "CASCADE"
         : regola == db::kRuleSetNull ? "SET NULL"
                                      : "NO ACTION";
}

std::string DescriviRelazione(const db::KeyInfo& k) {
  std::vector<std::string> propri, altrui;
  for (const auto& [mio, suo] : k.columns) {
    propri.push_back(mio);
    altrui.push_back(suo);
  }
  return "(" + Elenco(propri) + ") -> " + k.related_table + " (" + Elenco(altrui) + ") ON UPDATE " +
         Regola(k.update_rule) + " ON DELETE " + Regola(k.delete_rule);
}

std::string Chiave(const std::string& nome) {
  return text::FoldKey(nome);
}

// A database's catalogue as the comparison needs it; an empty path is an empty database.
struct Catalogo {
  std::unique_ptr<db::Connection> conn;
  std::map<std::string, std::string> tabelle;                        // folded name -> name
  std::map<std::string, std::pair<std::string, std::string>> query;  // folded name -> name, SQL

  Status Leggi(db::Provider& provider, const std::string& percorso) {
    if (percorso.empty()) return Status::OK();
    conn = provider.NewConnection();
    Status st = conn->Open(percorso, "", "");
    if (!st.ok()) return st;
    std::vector<db::TableInfo> elenco;
    st = conn->Tables(&elenco);
    if (!st.ok()) return st;
    for (const db::TableInfo& t : elenco) {
      if (t.type == "VIEW") {
        std::string sql;
        if (conn->ViewCommand(t.name, &sql).ok()) query[Chiave(t.name)] = {t.name, sql};
      } else {
        tabelle[Chiave(t.name)] = t.name;
      }
    }
    return Status::OK();
  }
};

// Walks two keyed lists: each item only before, only after, or in both.
template <typename T, typename Nome>
void Accoppia(const std::vector<T>& prima, const std::vector<T>& dopo, Nome nome,
              const std::function<void(const T*, const T*)>& f) {
  std::map<std::string, const T*> a, b;
  for (const T& x : prima) a[Chiave(nome(x))] = &x;
  for (const T& x : dopo) b[Chiave(nome(x))] = &x;
  for (const auto& [k, x] : a) f(x, b.count(k) ? b[k] : nullptr);
  for (const auto& [k, x] : b) {
    if (!a.count(k)) f(nullptr, x);
  }
}

void ConfrontaElementi(const std::string& oggetto, const std::string& tabella,
                       const std::vector<std::pair<std::string, std::string>>& prima,
                       const std::vector<std::pair<std::string, std::string>>& dopo,
                       std::vector<ModificaOggetto>* out) {
  using Coppia = std::pair<std::string, std::string>;
  Accoppia<Coppia>(
      prima, dopo, [](const Coppia& c) { return c.first; },
      [&](const Coppia* a, const Coppia* b) {
        if (a != nullptr && b != nullptr && a->second == b->second) return;
        ModificaOggetto m;
        m.oggetto = oggetto;
        m.tabella = tabella;
        m.azione = a == nullptr ? '+' : b == nullptr ? '-' : '~';
        m.nome = (b != nullptr ? b : a)->first;
        m.prima = a != nullptr ? a->second : "";
        m.dopo = b != nullptr ? b->second : "";
        out->push_back(std::move(m));
      });
}

// What a table has, as described for the comparison.
struct Tabella {
  std::vector<db::ColumnInfo> campi;
  std::vector<std::pair<std::string, std::string>> descrizioneCampi, indici, relazioni;
  std::vector<std::string> chiavePrimaria;
};

Status LeggiTabella(db::Connection& conn, const std::string& nome, Tabella* t) {
  Status st = conn.Columns(nome, &t->campi);
  if (!st.ok()) return st;
  for (const db::ColumnInfo& c : t->campi)
    t->descrizioneCampi.emplace_back(c.name, DescriviCampo(c));
  std::vector<db::IndexInfo> indici;
  st = conn.Indexes(nome, &indici);
  if (!st.ok()) return st;
  for (const db::IndexInfo& i : indici) {
    t->indici.emplace_back(i.name, DescriviIndice(i));
    if (i.primary_key) t->chiavePrimaria = i.columns;
  }
  std::vector<db::KeyInfo> chiavi;
  st = conn.Keys(nome, &chiavi);
  if (!st.ok()) return st;
  for (const db::KeyInfo& k : chiavi) t->relazioni.emplace_back(k.name, DescriviRelazione(k));
  return Status::OK();
}

std::string TestoValore(const db::Value& v) {
  char numero[40];
  switch (v.kind()) {
    case db::Value::Kind::kNull:
      return "N";
    case db::Value::Kind::kDouble:
    case db::Value::Kind::kDate:
      std::snprintf(numero, sizeof numero, "%.17g", v.real());
      return std::string(1, 'R') + numero;
    case db::Value::Kind::kText:
    case db::Value::Kind::kBinary:
      return "T" + std::to_string(v.text().size()) + ":" + v.text();
    default:
      return "I" + std::to_string(v.integer());
  }
}

// Reads every row of a table: for each, the text of its key (the primary key's columns, or the
// whole row when there is none) and a hash of the named columns' values.
Status LeggiRighe(db::Connection& conn, const std::string& tabella,
                  const std::vector<std::string>& chiave, const std::vector<std::string>& campi,
                  const std::function<void(std::string, std::size_t)>& riga) {
  std::unique_ptr<db::Recordset> rs;
  Status st = conn.OpenRecordset("[" + tabella + "]", db::kForwardOnly, db::kReadOnly, &rs);
  if (!st.ok()) return st;
  std::vector<int> posChiave, posCampi;
  for (const std::string& n : chiave) posChiave.push_back(rs->FieldIndex(n));
  for (const std::string& n : campi) posCampi.push_back(rs->FieldIndex(n));
  auto testo = [&rs](const std::vector<int>& pos, std::string* out) -> Status {
    for (int p : pos) {
      db::Value v;
      if (p >= 0) {
        Status s = rs->GetValue(p, &v);
        if (!s.ok()) return s;
      }
      *out += TestoValore(v);
      *out += '\x1f';
    }
    return Status::OK();
  };
  while (!rs->Eof()) {
    std::string k, valori;
    st = testo(posCampi, &valori);
    if (st.ok() && !chiave.empty()) st = testo(posChiave, &k);
    if (!st.ok()) return st;
    const std::size_t hash = std::hash<std::string>{}(valori);
    riga(chiave.empty() ? std::move(valori) : std::move(k), hash);
    st = rs->MoveNext();
    if (!st.ok()) return st;
  }
  return Status::OK();
}

// Counts the rows a table gained, lost and had changed. Rows are matched by the primary key
// both states share; a table without one is compared as a collection of whole rows, so a
// changed row counts as one removed and one added. Only the columns both states have are
// compared: a column added or removed is reported by itself, not as a change of every row.
Status ContaRighe(db::Connection* prima, const Tabella* tPrima, db::Connection* dopo,
                  const Tabella* tDopo, const std::string& nomePrima, const std::string& nomeDopo,
                  ConteggioRighe* conteggio) {
  std::vector<std::string> comuni;
  if (tPrima != nullptr && tDopo != nullptr) {
    for (const db::ColumnInfo& a : tPrima->campi) {
      for (const db::ColumnInfo& b : tDopo->campi) {
        if (Chiave(a.name) == Chiave(b.name)) comuni.push_back(a.name);
      }
    }
  } else {
    for (const db::ColumnInfo& c : (tPrima != nullptr ? tPrima : tDopo)->campi)
      comuni.push_back(c.name);
  }
  std::vector<std::string> chiave;
  if (tPrima != nullptr && tDopo != nullptr && !tPrima->chiavePrimaria.empty()) {
    auto stessa = [](const std::vector<std::string>& a, const std::vector<std::string>& b) {
      if (a.size() != b.size()) return false;
      for (std::size_t i = 0; i < a.size(); ++i) {
        if (Chiave(a[i]) != Chiave(b[i])) return false;
      }
      return true;
    };
    if (stessa(tPrima->chiavePrimaria, tDopo->chiavePrimaria)) chiave = tPrima->chiavePrimaria;
  }
  std::unordered_map<std::string, std::size_t> perChiave;
  std::unordered_map<std::string, std::int64_t> quante;
  if (prima != nullptr && tPrima != nullptr) {
    Status st = LeggiRighe(*prima, nomePrima, chiave, comuni, [&](std::string k, std::size_t h) {
      if (chiave.empty())
        ++quante[k];
      else
        perChiave.emplace(std::move(k), h);
    });
    if (!st.ok()) return st;
  }
  if (dopo != nullptr && tDopo != nullptr) {
    Status st = LeggiRighe(*dopo, nomeDopo, chiave, comuni, [&](std::string k, std::size_t h) {
      if (chiave.empty()) {
        auto it = quante.find(k);
        if (it != quante.end() && it->second > 0)
          --it->second;
        else
          ++conteggio->aggiunte;
        return;
      }
      auto it = perChiave.find(k);
      if (it == perChiave.end()) {
        ++conteggio->aggiunte;
        return;
      }
      if (it->second != h) ++conteggio->modificate;
      perChiave.erase(it);
    });
    if (!st.ok()) return st;
  }
  conteggio->eliminate += static_cast<std::int64_t>(perChiave.size());
  for (const auto& [k, n] : quante) conteggio->eliminate += n;
  return Status::OK();
}

Status Confronta(db::Provider& provider, const std::string& percorsoPrima,
                 const std::string& percorsoDopo, RapportoDatabase* r) {
  Catalogo prima, dopo;
  Status st = prima.Leggi(provider, percorsoPrima);
  if (st.ok()) st = dopo.Leggi(provider, percorsoDopo);
  if (!st.ok()) return st;
  std::vector<std::string> chiavi;
  for (const auto& [k, n] : prima.tabelle) chiavi.push_back(k);
  for (const auto& [k, n] : dopo.tabelle) {
    if (!prima.tabelle.count(k)) chiavi.push_back(k);
  }
  for (const std::string& k : chiavi) {
    const bool inPrima = prima.tabelle.count(k) != 0, inDopo = dopo.tabelle.count(k) != 0;
    Tabella a, b;
    if (inPrima && !(st = LeggiTabella(*prima.conn, prima.tabelle[k], &a)).ok()) return st;
    if (inDopo && !(st = LeggiTabella(*dopo.conn, dopo.tabelle[k], &b)).ok()) return st;
    const std::string nome = inDopo ? dopo.tabelle[k] : prima.tabelle[k];
    if (!inPrima || !inDopo) {
      const Tabella& t = inDopo ? b : a;
      std::vector<std::string> campi;
      for (const auto& [n, d] : t.descrizioneCampi) campi.push_back(n + " " + d);
      ModificaOggetto m{"tabella", inDopo ? '+' : '-', "", nome, "", ""};
      (inDopo ? m.dopo : m.prima) = "(" + Elenco(campi) + ")";
      r->oggetti.push_back(std::move(m));
    } else {
      ConfrontaElementi("campo", nome, a.descrizioneCampi, b.descrizioneCampi, &r->oggetti);
    }
    ConfrontaElementi("indice", nome, a.indici, b.indici, &r->oggetti);
    ConfrontaElementi("relazione", nome, a.relazioni, b.relazioni, &r->oggetti);
    ConteggioRighe conteggio;
    conteggio.tabella = nome;
    st = ContaRighe(inPrima ? prima.conn.get() : nullptr, inPrima ? &a : nullptr,
                    inDopo ? dopo.conn.get() : nullptr, inDopo ? &b : nullptr,
                    inPrima ? prima.tabelle[k] : "", inDopo ? dopo.tabelle[k] : "", &conteggio);
    if (!st.ok()) return st;
    if (conteggio.aggiunte + conteggio.eliminate + conteggio.modificate > 0) {
      r->righe.push_back(conteggio);
    }
  }
  std::vector<std::pair<std::string, std::string>> qa, qb;
  for (const auto& [k, q] : prima.query) qa.push_back(q);
  for (const auto& [k, q] : dopo.query) qb.push_back(q);
  ConfrontaElementi("query", "", qa, qb, &r->oggetti);
  return Status::OK();
}

void ScorriChiavi(const registry::regfile::Key* prima, const registry::regfile::Key* dopo,
                  const std::string& percorso, std::vector<ModificaRegistro>* out) {
  using registry::regfile::Key;
  using registry::regfile::Value;
  auto dati = [](const Value& v) {
    return registry::regfile::FormatValueData(v.type, v.data, 0, "\n");
  };
  auto nomeValore = [](const Value& v) { return v.name.empty() ? std::string("@") : v.name; };
  if (prima != nullptr && dopo == nullptr && !percorso.empty()) {
    out->push_back({'-', percorso, "", "", ""});
  }
  if (dopo != nullptr) {
    for (const Value& v : dopo->values()) {
      const Value* vecchio = prima != nullptr ? prima->FindValue(v.name) : nullptr;
      if (vecchio != nullptr && vecchio->type == v.type && vecchio->data == v.data) continue;
      out->push_back({'+', percorso, nomeValore(v), vecchio ? dati(*vecchio) : "", dati(v)});
    }
  }
  if (prima != nullptr && dopo != nullptr) {
    for (const Value& v : prima->values()) {
      if (dopo->FindValue(v.name) == nullptr) {
        out->push_back({'-', percorso, nomeValore(v), dati(v), ""});
      }
    }
  }
  auto sotto = [&](const Key& figlio) {
    return percorso.empty() ? figlio.name() : percorso + "\\" + figlio.name();
  };
  if (prima != nullptr) {
    for (const auto& figlio : prima->children()) {
      ScorriChiavi(figlio.get(), dopo ? dopo->FindChild(figlio->name()) : nullptr, sotto(*figlio),
                   out);
    }
  }
  if (dopo != nullptr) {
    for (const auto& figlio : dopo->children()) {
      if (prima != nullptr && prima->FindChild(figlio->name()) != nullptr) continue;
      if (figlio->values().empty() && figlio->children().empty()) {
        out->push_back({'+', sotto(*figlio), "", "", ""});
      }
      ScorriChiavi(nullptr, figlio.get(), sotto(*figlio), out);
    }
  }
}

std::string Righe(const VoceRiga& v) {
  return "riga " + std::to_string(v.riga) + (v.script.empty() ? "" : " di " + v.script);
}

std::string Stringa(const std::string& s) {
  return ui::JsonString(s);
}

}  // namespace

void ConfrontaDatabase(db::Provider& provider, const std::string& prima, const std::string& dopo,
                       RapportoDatabase* rapporto) {
  Status st = Confronta(provider, prima, dopo, rapporto);
  if (!st.ok()) rapporto->errore = st.description();
}

bool ConfrontaRegistro(const std::string& testoPrima, const std::string& testoDopo,
                       std::vector<ModificaRegistro>* modifiche, std::string* errore) {
  registry::regfile::Document prima, dopo;
  if (!prima.Parse(testoPrima, errore) || !dopo.Parse(testoDopo, errore)) return false;
  ConfrontaRegistro(prima, dopo, modifiche);
  return true;
}

void ConfrontaRegistro(const registry::regfile::Document& prima,
                       const registry::regfile::Document& dopo,
                       std::vector<ModificaRegistro>* modifiche) {
  for (std::uint32_t radice = registry::kClassesRoot; radice <= registry::kDynData; ++radice) {
    const std::string nome(registry::regfile::RootName(radice));
    const auto* a = prima.Find({nome});
    const auto* b = dopo.Find({nome});
    if (a != nullptr || b != nullptr) ScorriChiavi(a, b, nome, modifiche);
  }
}

std::string TestoRapporto(const Rapporto& r) {
  std::string t = "--- Prova: cosa cambierebbe l'aggiornamento ---\n";
  for (const RapportoDatabase& d : r.database) {
    char secondi[32];
    std::snprintf(secondi, sizeof secondi, "%.2f", d.copia.seconds);
    t += "Database " + d.percorso +
         (d.nuovo ? " (sarebbe creato)\n"
                  : " (copia di " + std::to_string(d.copia.bytes) + " byte in " + secondi + " s" +
                        (d.copia.waited ? ", in attesa di un altro programma che scriveva" : "") +
                        ")\n");
    if (!d.errore.empty()) t += "  confronto impossibile: " + d.errore + "\n";
    for (const ModificaOggetto& m : d.oggetti) {
      t += "  " + std::string(1, m.azione) + " " + m.oggetto + " " +
           (m.tabella.empty() ? "" : m.tabella + ".") + m.nome;
      if (m.azione == '~')
        t += ": " + m.prima + " -> " + m.dopo;
      else
        t += " " + (m.azione == '+' ? m.dopo : m.prima);
      t += "\n";
    }
    for (const ConteggioRighe& c : d.righe) {
      t += "  righe " + c.tabella + ": +" + std::to_string(c.aggiunte) + " -" +
           std::to_string(c.eliminate) + " ~" + std::to_string(c.modificate) + "\n";
    }
    if (d.oggetti.empty() && d.righe.empty() && d.errore.empty()) t += "  nessuna modifica\n";
  }
  if (!r.registro.empty() || !r.erroreRegistro.empty()) t += "Registro\n";
  if (!r.erroreRegistro.empty()) t += "  confronto impossibile: " + r.erroreRegistro + "\n";
  for (const ModificaRegistro& m : r.registro) {
    t += "  " + std::string(1, m.azione) + " " + m.chiave;
    if (!m.nome.empty()) t += " " + m.nome;
    if (m.azione == '+' && !m.nome.empty()) t += " = " + m.dopo;
    if (!m.prima.empty()) t += " (prima " + m.prima + ")";
    t += "\n";
  }
  if (!r.operazioni.empty()) t += "Non eseguito (solo descritto)\n";
  for (const VoceRiga& v : r.operazioni) t += "  " + Righe(v) + ": " + v.testo + "\n";
  if (!r.avvisi.empty()) t += "Avvisi\n";
  for (const VoceRiga& v : r.avvisi) t += "  " + Righe(v) + ": " + v.testo + "\n";
  if (!r.errori.empty()) t += "Errori\n";
  for (const VoceRiga& v : r.errori) {
    t += "  " + Righe(v) + ": " + Sostituisci(v.testo, "\r\n", " | ") + "\n";
  }
  t += "Esito: " + std::to_string(r.errori.size()) +
       (r.errori.size() == 1 ? " errore" : " errori") + "\n";
  if (!r.cartellaConservata.empty()) t += "Copie conservate in " + r.cartellaConservata + "\n";
  return t;
}

std::string JsonRapporto(const Rapporto& r) {
  std::string j;
  for (const RapportoDatabase& d : r.database) {
    char secondi[32];
    std::snprintf(secondi, sizeof secondi, "%.3f", d.copia.seconds);
    j += "{\"rehearsal\":\"database\",\"path\":" + Stringa(d.percorso) +
         ",\"created\":" + (d.nuovo ? "true" : "false") +
         ",\"copy_bytes\":" + std::to_string(d.copia.bytes) + ",\"copy_seconds\":" + secondi +
         ",\"copy_waited\":" + (d.copia.waited ? "true" : "false") + ",\"changes\":[";
    for (std::size_t i = 0; i < d.oggetti.size(); ++i) {
      const ModificaOggetto& m = d.oggetti[i];
      const char* azione = m.azione == '+' ? "added" : m.azione == '-' ? "removed" : "changed";
      j += std::string(i ? "," : "") + "{\"object\":" + Stringa(m.oggetto) + ",\"action\":\"" +
           azione + "\",\"table\":" + Stringa(m.tabella) + ",\"name\":" + Stringa(m.nome) +
           ",\"before\":" + Stringa(m.prima) + ",\"after\":" + Stringa(m.dopo) + "}";
    }
    j += "],\"rows\":[";
    for (std::size_t i = 0; i < d.righe.size(); ++i) {
      const ConteggioRighe& c = d.righe[i];
      j += std::string(i ? "," : "") + "{\"table\":" + Stringa(c.tabella) +
           ",\"added\":" + std::to_string(c.aggiunte) +
           ",\"removed\":" + std::to_string(c.eliminate) +
           ",\"changed\":" + std::to_string(c.modificate) + "}";
    }
    j += "],\"error\":" + Stringa(d.errore) + "}\n";
  }
  for (const ModificaRegistro& m : r.registro) {
    j += "{\"rehearsal\":\"registry\",\"action\":\"" +
         std::string(m.azione == '+' ? "written" : "deleted") + "\",\"key\":" + Stringa(m.chiave) +
         ",\"name\":" + Stringa(m.nome) + ",\"before\":" + Stringa(m.prima) +
         ",\"after\":" + Stringa(m.dopo) + "}\n";
  }
  auto voce = [&j](const char* tipo, const VoceRiga& v) {
    j += std::string("{\"rehearsal\":\"") + tipo + "\",\"script\":" + Stringa(v.script) +
         ",\"line\":" + std::to_string(v.riga) + ",\"text\":" + Stringa(v.testo) + "}\n";
  };
  for (const VoceRiga& v : r.operazioni) voce("not_run", v);
  for (const VoceRiga& v : r.errori) voce("error", v);
  for (const VoceRiga& v : r.avvisi) voce("warning", v);
  j += "{\"rehearsal\":\"summary\",\"errors\":" + std::to_string(r.errori.size()) +
       ",\"registry_error\":" + Stringa(r.erroreRegistro) +
       ",\"kept\":" + Stringa(r.cartellaConservata) + "}\n";
  return j;
}

}  // namespace mlx
