// The recordset: rows streamed from one SQLite statement, fields with the ADO types of their
// columns, values with their Jet meaning, and row insertion and change through the one table the
// rows come from.
#include "platform/db/recordset.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/text/text.h"

namespace mlx::db::internal {

namespace {

std::string RawText(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
    case SQLITE_INTEGER: return std::to_string(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return NumberText(sqlite3_value_double(v));
    case SQLITE_NULL: return "";
    case SQLITE_BLOB: {
      const void* p = sqlite3_value_blob(v);
      return p ? std::string(static_cast<const char*>(p),
                             static_cast<std::size_t>(sqlite3_value_bytes(v)))
               : "";
    }
    default: {
      const unsigned char* p = sqlite3_value_text(v);
      return p ? std::string(reinterpret_cast<const char*>(p),
                             static_cast<std::size_t>(sqlite3_value_bytes(v)))
               : "";
    }
  }
}

bool ParseNumber(const std::string& s, double* d) {
  if (s.empty()) return false;
  char* end = nullptr;
  *d = std::strtod(s.c_str(), &end);
  return end && *end == '\0';
}

Status NotAllowed(const std::string& what) {
  return ErrDb("Operation is not allowed: " + what);
}

}  // namespace

Value ValueFromSqlite(sqlite3_value* v, int ado) {
  int type = sqlite3_value_type(v);
  if (type == SQLITE_NULL) return Value::Null();
  bool numeric = type == SQLITE_INTEGER || type == SQLITE_FLOAT;
  switch (ado) {
    case kAdBoolean:
      if (numeric) return Value::Boolean(sqlite3_value_double(v) != 0);
      {
        std::string u = Upper(RawText(v));
        if (u == "TRUE" || u == "VERO" || u == "-1" || u == "1") return Value::Boolean(true);
        if (u == "FALSE" || u == "FALSO" || u == "0") return Value::Boolean(false);
      }
      return Value::Text(RawText(v));
    case kAdCurrency: {
      double d = 0;
      if (numeric || ParseNumber(RawText(v), &d)) {
        if (numeric) d = sqlite3_value_double(v);
        return Value::Currency(std::llround(d * 10000.0));
      }
      return Value::Text(RawText(v));
    }
    case kAdDate: {
      // A number outside the calendar (another tool wrote it) is read as the number it is.
      if (numeric && !clock::IsDayNumberInRange(sqlite3_value_double(v))) {
        return Value::Double(sqlite3_value_double(v));
      }
      if (numeric) return Value::Date(sqlite3_value_double(v));
      double days = 0;
      if (type == SQLITE_TEXT && ParseStoredDate(RawText(v), &days)) return Value::Date(days);
      return Value::Text(RawText(v));
    }
    case kAdSmallInt:
    case kAdInteger:
    case kAdUnsignedTinyInt:
    case kAdBigInt:
      if (type == SQLITE_INTEGER) return Value::Integer(sqlite3_value_int64(v));
      if (type == SQLITE_FLOAT) {
        double d = sqlite3_value_double(v);
        if (d == std::trunc(d) && std::fabs(d) < 9e18) {
          return Value::Integer(static_cast<std::int64_t>(d));
        }
        return Value::Double(d);
      }
      break;
    case kAdSingle:
    case kAdDouble:
      if (numeric) return Value::Double(sqlite3_value_double(v));
      break;
    case kAdNumeric:
      if (type == SQLITE_INTEGER) return Value::Integer(sqlite3_value_int64(v));
      if (type == SQLITE_FLOAT) return Value::Double(sqlite3_value_double(v));
      break;
    case kAdVarWChar:
    case kAdLongVarWChar:
    case kAdWChar:
    case kAdGuid:
      return Value::Text(RawText(v));
    case kAdBinary:
    case kAdVarBinary:
    case kAdLongVarBinary:
      return Value::Binary(RawText(v));
    default:
      break;
  }
  switch (type) {
    case SQLITE_INTEGER: return Value::Integer(sqlite3_value_int64(v));
    case SQLITE_FLOAT: return Value::Double(sqlite3_value_double(v));
    case SQLITE_BLOB: return Value::Binary(RawText(v));
    default: return Value::Text(RawText(v));
  }
}

Status SqliteRecordset::Open(const std::string& sql, const std::string& table, bool with_rowid) {
  Close();
  if (!core_ || !core_->db) return ErrDb("Operation is not allowed when the object is closed.");
  int rc = sqlite3_prepare_v2(core_->db, sql.c_str(), static_cast<int>(sql.size()), &stmt_,
                              nullptr);
  if (rc != SQLITE_OK) {
    Status st = SqliteStatus(core_->db, rc);
    if (stmt_) sqlite3_finalize(stmt_);
    stmt_ = nullptr;
    return st;
  }
  if (!stmt_) return ErrInvalid("(empty statement)");
  table_ = table;
  rowid_col_ = with_rowid ? 0 : -1;
  int n = sqlite3_column_count(stmt_);
  for (int i = 0; i < n; ++i) {
    if (i == rowid_col_) continue;
    const char* name = sqlite3_column_name(stmt_, i);
    const char* origin = sqlite3_column_origin_name(stmt_, i);
    const char* origin_table = sqlite3_column_table_name(stmt_, i);
    std::string col_name = name ? name : "";
    if (col_name == kPlaceholderColumn || (origin && origin == kPlaceholderColumn)) continue;
    FieldInfo f;
    f.name = col_name;
    const char* decl = sqlite3_column_decltype(stmt_, i);
    declared_.push_back(decl != nullptr);
    if (decl) {
      JetType t = TypeFromDecl(decl);
      f.type = t.ado;
      f.defined_size = t.size;
    }
    bool mine = origin && origin_table && SameName(origin_table, table_);
    origins_.push_back(mine ? origin : "");
    cols_.push_back(i);
    fields_.push_back(f);
  }
  open_ = true;
  done_ = false;
  core_->recordsets.insert(this);
  Status st = Step();
  if (!st.ok()) {
    Close();
    return st;
  }
  return Status::OK();
}

void SqliteRecordset::InferTypes() {
  if (types_known_) return;
  types_known_ = true;
  for (std::size_t f = 0; f < fields_.size(); ++f) {
    if (declared_[f]) continue;
    int type = eof_ ? SQLITE_NULL : sqlite3_column_type(stmt_, cols_[f]);
    switch (type) {
      case SQLITE_INTEGER: {
        std::int64_t v = sqlite3_column_int64(stmt_, cols_[f]);
        bool small = v >= -2147483648LL && v <= 2147483647LL;
        fields_[f].type = small ? kAdInteger : kAdBigInt;
        fields_[f].defined_size = small ? 4 : 8;
        break;
      }
      case SQLITE_FLOAT:
        fields_[f].type = kAdDouble;
        fields_[f].defined_size = 8;
        break;
      case SQLITE_BLOB:
        fields_[f].type = kAdLongVarBinary;
        fields_[f].defined_size = 1073741823;
        break;
      default:
        fields_[f].type = kAdVarWChar;
        fields_[f].defined_size = 255;
    }
  }
}

Status SqliteRecordset::Step() {
  mode_ = Mode::kNone;
  pending_.clear();
  if (done_) {
    eof_ = true;
    return Status::OK();
  }
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_DONE) {
    done_ = eof_ = true;
    InferTypes();
    return Status::OK();
  }
  if (rc != SQLITE_ROW) {
    done_ = eof_ = true;
    Status st = SqliteStatus(core_ ? core_->db : nullptr, rc);
    sqlite3_reset(stmt_);
    return st;
  }
  eof_ = false;
  InferTypes();
  row_.clear();
  for (std::size_t f = 0; f < fields_.size(); ++f) {
    row_.push_back(ValueFromSqlite(sqlite3_column_value(stmt_, cols_[f]), fields_[f].type));
  }
  if (rowid_col_ >= 0) {
    rowid_ = sqlite3_column_int64(stmt_, rowid_col_);
  } else {
    rowid_.reset();
  }
  return Status::OK();
}

Status SqliteRecordset::MoveNext() {
  if (!open_) return ErrDb("Operation is not allowed when the object is closed.");
  if (eof_) return ErrDb("Either BOF or EOF is True, or the current record has been deleted.");
  return Step();
}

FieldInfo SqliteRecordset::Field(int index) {
  if (index < 0 || index >= FieldCount()) return FieldInfo{};
  return fields_[static_cast<std::size_t>(index)];
}

int SqliteRecordset::FieldIndex(const std::string& name) {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (text::EqualsNoCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Status SqliteRecordset::GetValue(int index, Value* value) {
  if (!open_) return ErrDb("Operation is not allowed when the object is closed.");
  if (index < 0 || index >= FieldCount()) {
    return ErrDb("Item cannot be found in the collection corresponding to the requested name or "
                 "ordinal.");
  }
  std::size_t i = static_cast<std::size_t>(index);
  if (mode_ != Mode::kNone && i < pending_.size() && pending_[i]) {
    *value = *pending_[i];
    return Status::OK();
  }
  if (mode_ == Mode::kAdd) {
    *value = Value::Null();
    return Status::OK();
  }
  if (eof_) return ErrDb("Either BOF or EOF is True, or the current record has been deleted.");
  *value = row_[i];
  return Status::OK();
}

Status SqliteRecordset::CheckUpdatable() const {
  if (!open_) return ErrDb("Operation is not allowed when the object is closed.");
  if (lock_ == kReadOnly || lock_ == kLockUnspecified) {
    return NotAllowed("the recordset is read-only (open it with an updatable lock type).");
  }
  if (table_.empty()) return NotAllowed("the rows do not come from one table.");
  return Status::OK();
}

Status SqliteRecordset::AddNew() {
  Status st = CheckUpdatable();
  if (!st.ok()) return st;
  mode_ = Mode::kAdd;
  pending_.assign(fields_.size(), std::nullopt);
  return Status::OK();
}

Status SqliteRecordset::SetValue(int index, const Value& value) {
  Status st = CheckUpdatable();
  if (!st.ok()) return st;
  if (index < 0 || index >= FieldCount()) {
    return ErrDb("Item cannot be found in the collection corresponding to the requested name or "
                 "ordinal.");
  }
  std::size_t i = static_cast<std::size_t>(index);
  if (origins_[i].empty()) return NotAllowed("field '" + fields_[i].name + "' cannot be updated.");
  if (mode_ == Mode::kNone) {
    if (eof_ || !rowid_) {
      return ErrDb("Either BOF or EOF is True, or the current record has been deleted.");
    }
    mode_ = Mode::kEdit;
    pending_.assign(fields_.size(), std::nullopt);
  }
  Value v = value;
  if (v.kind() == Value::Kind::kText) {
    double d = 0;
    if (fields_[i].type == kAdDate &&
        (ParseStoredDate(v.text(), &d) || ParseJetDate(v.text(), false, &d))) {
      v = Value::Date(d);
    }
  }
  pending_[i] = std::move(v);
  return Status::OK();
}

Status SqliteRecordset::Reread(std::int64_t rowid) {
  std::string cols;
  std::vector<std::size_t> which;
  for (std::size_t f = 0; f < fields_.size(); ++f) {
    if (origins_[f].empty()) continue;
    cols += (cols.empty() ? "" : ", ") + QuoteId(origins_[f]);
    which.push_back(f);
  }
  if (cols.empty()) return Status::OK();
  Stmt s;
  Status st = s.Prepare(core_->db, "SELECT " + cols + " FROM " + QuoteId(table_) +
                                       " WHERE rowid = ?1");
  if (!st.ok()) return st;
  s.BindInt(1, rowid);
  if (s.Step() != SQLITE_ROW) return Status::OK();
  row_.resize(fields_.size());
  for (std::size_t k = 0; k < which.size(); ++k) {
    row_[which[k]] = ValueFromSqlite(sqlite3_column_value(s.get(), static_cast<int>(k)),
                                     fields_[which[k]].type);
  }
  return Status::OK();
}

Status SqliteRecordset::Update() {
  if (!open_) return ErrDb("Operation is not allowed when the object is closed.");
  if (mode_ == Mode::kNone) return Status::OK();
  std::vector<std::size_t> set;
  for (std::size_t f = 0; f < pending_.size(); ++f) {
    if (pending_[f]) set.push_back(f);
  }
  Stmt s;
  Status st;
  if (mode_ == Mode::kAdd) {
    std::string cols, marks;
    for (std::size_t k = 0; k < set.size(); ++k) {
      cols += (k ? ", " : "") + QuoteId(origins_[set[k]]);
      marks += (k ? ", " : "") + std::string("?");
    }
    std::string sql = set.empty() ? "INSERT INTO " + QuoteId(table_) + " DEFAULT VALUES"
                                  : "INSERT INTO " + QuoteId(table_) + " (" + cols + ") VALUES (" +
                                        marks + ")";
    st = s.Prepare(core_->db, sql);
  } else {
    if (set.empty()) {
      mode_ = Mode::kNone;
      return Status::OK();
    }
    std::string assign;
    for (std::size_t k = 0; k < set.size(); ++k) {
      assign += (k ? ", " : "") + QuoteId(origins_[set[k]]) + " = ?";
    }
    st = s.Prepare(core_->db, "UPDATE " + QuoteId(table_) + " SET " + assign + " WHERE rowid = ?");
  }
  if (!st.ok()) return st;
  for (std::size_t k = 0; k < set.size(); ++k) {
    s.BindValue(static_cast<int>(k + 1), *pending_[set[k]]);
  }
  if (mode_ == Mode::kEdit) s.BindInt(static_cast<int>(set.size() + 1), *rowid_);
  st = s.Run();
  if (!st.ok()) return st;  // the edit stays pending, as it does on a failed update
  std::int64_t rowid = mode_ == Mode::kAdd ? sqlite3_last_insert_rowid(core_->db) : *rowid_;
  mode_ = Mode::kNone;
  pending_.clear();
  // The written row becomes the current one, with the values the table gave it.
  rowid_ = rowid;
  eof_ = false;
  if (row_.size() != fields_.size()) row_.assign(fields_.size(), Value::Null());
  return Reread(rowid);
}

void SqliteRecordset::Close() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  if (core_) core_->recordsets.erase(this);
  if (!open_) return;
  open_ = false;
  eof_ = done_ = true;
  cols_.clear();
  fields_.clear();
  declared_.clear();
  origins_.clear();
  row_.clear();
  pending_.clear();
  mode_ = Mode::kNone;
  types_known_ = false;
}

void SqliteStatement::Detach() {
  if (stmt_) sqlite3_finalize(stmt_);
  stmt_ = nullptr;
  if (core_) core_->statements.erase(this);
  core_ = nullptr;
}

Status SqliteStatement::Execute(const std::vector<Value>& values) {
  if (!stmt_ || !core_) return ErrDb("Operation is not allowed when the object is closed.");
  int markers = sqlite3_bind_parameter_count(stmt_);
  if (static_cast<int>(values.size()) != markers) {
    return ErrDb("The statement has " + std::to_string(markers) + " values to fill, " +
                 std::to_string(values.size()) + " were given.");
  }
  // Every marker is bound again on each call, so the bindings are not cleared; texts are bound
  // without a copy, as the values outlive the step (the statement is reset before returning).
  for (std::size_t i = 0; i < values.size(); ++i) {
    const Value& v = values[i];
    int at = static_cast<int>(i + 1);
    switch (v.kind()) {
      case Value::Kind::kNull: sqlite3_bind_null(stmt_, at); break;
      case Value::Kind::kBoolean: sqlite3_bind_int64(stmt_, at, v.boolean() ? -1 : 0); break;
      case Value::Kind::kInteger: sqlite3_bind_int64(stmt_, at, v.integer()); break;
      case Value::Kind::kDouble:
      case Value::Kind::kDate: sqlite3_bind_double(stmt_, at, v.real()); break;
      case Value::Kind::kCurrency:
        sqlite3_bind_double(stmt_, at, static_cast<double>(v.integer()) / 10000.0);
        break;
      case Value::Kind::kText:
        // Bound with its terminating NUL known (a length of -1), a text is read in place by
        // SQLite's text functions, such as the length() of a size check, instead of being
        // copied; a text holding a NUL keeps its length.
        if (std::memchr(v.text().data(), 0, v.text().size()) == nullptr) {
          sqlite3_bind_text(stmt_, at, v.text().c_str(), -1, SQLITE_STATIC);
        } else {
          sqlite3_bind_text(stmt_, at, v.text().data(), static_cast<int>(v.text().size()),
                            SQLITE_STATIC);
        }
        break;
      case Value::Kind::kBinary:
        sqlite3_bind_blob(stmt_, at, v.text().data(), static_cast<int>(v.text().size()),
                          SQLITE_STATIC);
        break;
    }
  }
  for (;;) {
    int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) continue;
    Status st = rc == SQLITE_DONE ? Status::OK() : SqliteStatus(core_->db, rc);
    sqlite3_reset(stmt_);
    return st;
  }
}

}  // namespace mlx::db::internal
