// Indexes and relations made, changed and dropped through the table model: an index is made or
// dropped in place, a primary key or a relation by a table rebuild.
#include <algorithm>
#include <set>

#include "platform/db/catalog.h"
#include "platform/db/ddl_parser.h"

namespace mlx::db::internal {

namespace {

bool SameSet(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  if (a.size() != b.size()) return false;
  for (const auto& x : a) {
    if (std::none_of(b.begin(), b.end(), [&](const std::string& y) { return SameName(x, y); })) {
      return false;
    }
  }
  return true;
}

bool HasUniqueOn(const TableModel& m, const std::vector<std::string>& cols,
                 const std::string& except = "") {
  for (const auto& ix : m.indexes) {
    if ((ix.unique || ix.primary) && !SameName(ix.name, except) && SameSet(ix.columns, cols)) {
      return true;
    }
  }
  return false;
}

std::string FreshName(const std::string& base, const std::set<std::string>& taken) {
  std::string name = base;
  for (int n = 1; taken.count(Upper(name)) > 0; ++n) name = base + std::to_string(n);
  return name;
}

// A relation's name: one made from the tables' names when none is given, which no relation of
// the file has; a given one that no other relation has (but `replacing`, which it replaces).
Status NameKey(sqlite3* db, const TableModel& child, KeyDef* key, const std::string& replacing) {
  const bool kept = Schema(db).HasBookkeeping();
  if (key->name.empty()) {
    std::set<std::string> taken;
    for (const auto& k : child.keys) taken.insert(Upper(k.name));
    Stmt s;
    if (kept && s.Prepare(db, "SELECT name FROM __mlx_relations").ok()) {
      while (s.Step() == SQLITE_ROW) taken.insert(Upper(s.Text(0)));
    }
    key->name = FreshName(key->ref_table + child.name, taken);
    return Status::OK();
  }
  int same = 0;
  for (const auto& k : child.keys) same += SameName(k.name, key->name) ? 1 : 0;
  if (same > 1 || (same == 1 && replacing.empty())) {
    if (!(same == 1 && SameName(replacing, key->name))) {
      return ErrExists("Relationship '" + key->name + "'");
    }
  }
  if (!kept) return Status::OK();
  Stmt s;
  Status st = s.Prepare(db, "SELECT tbl FROM __mlx_relations WHERE name = ?1");
  if (!st.ok()) return st;
  s.BindText(1, key->name);
  if (s.Step() == SQLITE_ROW && !SameName(s.Text(0), child.name)) {
    return ErrExists("Relationship '" + key->name + "'");
  }
  return Status::OK();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Indexes.

Status Catalog::CreateIndex(StatementReader& p, bool unique) {
  IndexInfo info;
  std::string table;
  std::vector<bool> desc;
  Status st = ParseCreateIndex(p, unique, &table, &info, &desc);
  if (!st.ok()) return st;
  return AppendIndex(table, info, desc);
}

Status Catalog::AppendIndex(const std::string& table, const IndexInfo& index,
                            const std::vector<bool>& descending) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  IndexDef ix;
  ix.name = index.name;
  ix.columns = index.columns;
  ix.descending = descending;
  ix.primary = index.primary_key;
  ix.unique = index.unique || index.primary_key;
  ix.nulls = index.index_nulls == kIndexNullsDisallow ? kIndexNullsDisallow
             : (index.index_nulls == kIndexNullsIgnore || index.index_nulls == 4)
                 ? kIndexNullsIgnore
                 : kIndexNullsAllow;
  return AddIndexTo(m, ix);
}

Status Catalog::AddIndexTo(TableModel model, IndexDef ix) {
  if (ix.name.empty()) return ErrInvalid("(index name missing)");
  if (model.FindIndex(ix.name)) return ErrExists("Index '" + ix.name + "'");
  if (ix.columns.empty()) return ErrInvalid("(an index needs at least one column)");
  Status st = StoredColumnNames(model, &ix.columns);
  if (!st.ok()) return st;
  ix.descending.resize(ix.columns.size(), false);
  if (ix.primary) {
    if (model.Primary()) return ErrExists("Primary key");
    ix.unique = true;
    ix.nulls = kIndexNullsDisallow;
    ix.sqlite_name.clear();
    TableModel old = model;
    model.indexes.push_back(ix);
    return schema_.Rebuild(old, model);
  }
  if (ix.nulls == kIndexNullsDisallow) {
    std::string cond;
    for (const auto& c : ix.columns) cond += (cond.empty() ? "" : " OR ") + QuoteId(c) + " IS NULL";
    if (QueryInt(db_, "SELECT count(*) FROM " + QuoteId(model.name) + " WHERE " + cond)
            .value_or(0) > 0) {
      return ErrDb("Index or primary key cannot contain a Null value.");
    }
  }
  ix.sqlite_name = schema_.NewIndexName(model.name, ix.name);
  model.indexes.push_back(ix);
  return InTransaction(db_, [&]() -> Status {
    Status s = schema_.EnsureBookkeeping();
    if (!s.ok()) return s;
    s = Exec(db_, schema_.CreateIndexSql(model, ix));
    if (!s.ok()) return s;
    return schema_.SyncTable(model);
  });
}

Status Catalog::DeleteIndex(const std::string& table, const std::string& name) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  return RemoveIndexFrom(m, name);
}

Status Catalog::RemoveIndexFrom(TableModel model, const std::string& name) {
  IndexDef* ix = model.FindIndex(name);
  if (!ix) return ErrMissing("L'indice '" + name + "'");
  std::vector<std::pair<std::string, KeyDef>> children;
  Status st = schema_.Referencing(model.name, &children);
  if (!st.ok()) return st;
  for (const auto& [child, key] : children) {
    if (SameSet(key.ref_columns, ix->columns) && !HasUniqueOn(model, ix->columns, ix->name)) {
      return ErrDb("Cannot delete index '" + ix->name + "': it is used in a relationship.");
    }
  }
  std::string stored = ix->name;
  TableModel old = model;
  bool rebuild = ix->primary || ix->sqlite_name.empty();
  std::string sqlite_name = ix->sqlite_name;
  std::erase_if(model.indexes, [&](const IndexDef& x) { return x.name == stored; });
  if (rebuild) return schema_.Rebuild(old, model);
  return InTransaction(db_, [&]() -> Status {
    Status s = Exec(db_, "DROP INDEX " + QuoteId(sqlite_name));
    if (!s.ok()) return s;
    return schema_.SyncTable(model);
  });
}

// ---------------------------------------------------------------------------------------------
// Relations.

Status Catalog::ValidateKey(const TableModel& child, KeyDef* key, const std::string& replacing) {
  TableModel parent_storage;
  const TableModel* parent = &child;
  if (!SameName(key->ref_table, child.name)) {
    Status st = schema_.Load(key->ref_table, &parent_storage);
    if (!st.ok()) return st;
    parent = &parent_storage;
  }
  key->ref_table = parent->name;
  if (key->ref_columns.empty()) {
    if (const IndexDef* primary = parent->Primary()) key->ref_columns = primary->columns;
    if (key->ref_columns.empty()) {
      return ErrDb("No unique index found for the referenced field of the primary table.");
    }
  }
  if (key->columns.size() != key->ref_columns.size() || key->columns.empty()) {
    return ErrDb("Relationships must be on the same number of fields with the same data types.");
  }
  Status st = StoredColumnNames(child, &key->columns);
  if (!st.ok()) return st;
  st = StoredColumnNames(*parent, &key->ref_columns);
  if (!st.ok()) return st;
  if (!HasUniqueOn(*parent, key->ref_columns)) {
    return ErrDb("No unique index found for the referenced field of the primary table.");
  }
  return NameKey(db_, child, key, replacing);
}

Status Catalog::AppendKey(const std::string& table, const KeyInfo& key) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  KeyDef k = FromInfo(key);
  for (const auto& r : k.ref_columns) {
    if (r.empty()) return ErrDb("Every column of a relation needs its related column.");
  }
  if (!k.name.empty() && m.FindKey(k.name)) return ErrExists("Relationship '" + k.name + "'");
  st = ValidateKey(m, &k, "");
  if (!st.ok()) return st;
  TableModel old = m;
  m.keys.push_back(k);
  return schema_.Rebuild(old, m);
}

Status Catalog::DeleteKey(const std::string& table, const std::string& name) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  KeyDef* k = m.FindKey(name);
  if (!k) return ErrMissing("La relazione '" + name + "'");
  TableModel old = m;
  std::string stored = k->name;
  std::erase_if(m.keys, [&](const KeyDef& x) { return x.name == stored; });
  return schema_.Rebuild(old, m);
}

Status Catalog::ReplaceKey(const std::string& table, const KeyInfo& key) {
  TableModel m;
  Status st = schema_.Load(table, &m);
  if (!st.ok()) return st;
  KeyDef* existing = m.FindKey(key.name);
  if (!existing) return ErrMissing("La relazione '" + key.name + "'");
  KeyDef k = FromInfo(key);
  k.name = existing->name;
  st = ValidateKey(m, &k, existing->name);
  if (!st.ok()) return st;
  TableModel old = m;
  *m.FindKey(k.name) = k;
  return schema_.Rebuild(old, m);
}

}  // namespace mlx::db::internal
