#include "provider/sqlite_database.h"

#include <sqlite3.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <string>

#include "com/error_info.h"
#include "oleaut/ole_date.h"

namespace platform::provider {
namespace {

struct StatementFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

// What a column's declared type adds to SQLite's storage classes: SQLite
// stores booleans as integers and dates as texts, but the platform hands
// them out as VT_BOOL and VT_DATE.
enum class DeclaredKind { kPlain, kBoolean, kDate };

DeclaredKind KindOf(const char* declared_type) {
  if (declared_type == nullptr) return DeclaredKind::kPlain;
  std::string upper(declared_type);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  if (upper.find("BOOL") != std::string::npos || upper == "BIT") return DeclaredKind::kBoolean;
  if (upper.find("DATE") != std::string::npos || upper.find("TIME") != std::string::npos) {
    return DeclaredKind::kDate;
  }
  return DeclaredKind::kPlain;
}

class SqliteRowset final : public Rowset {
 public:
  SqliteRowset(sqlite3* handle, StatementHandle statement, bool on_row)
      : handle_(handle), statement_(std::move(statement)), on_row_(on_row) {
    const int count = sqlite3_column_count(statement_.get());
    kinds_.reserve(static_cast<std::size_t>(count));
    for (int column = 0; column < count; ++column) {
      kinds_.push_back(KindOf(sqlite3_column_decltype(statement_.get(), column)));
    }
  }

  bool OnRow() const override { return on_row_; }

  HRESULT MoveNext() override {
    if (!on_row_) return ReportError(adErrNoCurrentRecord, "the rowset is at its end");
    const int code = sqlite3_step(statement_.get());
    if (code == SQLITE_ROW) return S_OK;
    on_row_ = false;
    if (code == SQLITE_DONE) return S_OK;
    return ResultFromSqlite(handle_, code);
  }

  int ColumnCount() const override { return static_cast<int>(kinds_.size()); }

  std::string_view ColumnName(int column) const override {
    const char* name = sqlite3_column_name(statement_.get(), column);
    return name == nullptr ? std::string_view() : std::string_view(name);
  }

  HRESULT GetValue(int column, VARIANT* value) override {
    if (!on_row_) return ReportError(adErrNoCurrentRecord, "the rowset is at its end");
    if (column < 0 || column >= ColumnCount()) return ReportError(adErrItemNotFound, "no such column");
    sqlite3_stmt* statement = statement_.get();
    const DeclaredKind kind = kinds_[static_cast<std::size_t>(column)];
    switch (sqlite3_column_type(statement, column)) {
      case SQLITE_NULL:
        value->vt = VT_NULL;
        return S_OK;
      case SQLITE_INTEGER: {
        const sqlite3_int64 number = sqlite3_column_int64(statement, column);
        if (kind == DeclaredKind::kBoolean) {
          value->vt = VT_BOOL;
          value->boolVal = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
        } else if (number >= std::numeric_limits<std::int32_t>::min() &&
                   number <= std::numeric_limits<std::int32_t>::max()) {
          value->vt = VT_I4;
          value->lVal = static_cast<std::int32_t>(number);
        } else {
          value->vt = VT_I8;
          value->llVal = number;
        }
        return S_OK;
      }
      case SQLITE_FLOAT: {
        const double number = sqlite3_column_double(statement, column);
        value->vt = kind == DeclaredKind::kDate && IsDateInRange(number) ? VT_DATE : VT_R8;
        value->dblVal = number;
        return S_OK;
      }
      default: {
        // Texts are asked for as UTF-8, whatever encoding the file keeps them
        // in; blobs come as the bytes they are.
        const bool is_text = sqlite3_column_type(statement, column) == SQLITE_TEXT;
        const auto* bytes =
            is_text ? reinterpret_cast<const char*>(sqlite3_column_text(statement, column))
                    : static_cast<const char*>(sqlite3_column_blob(statement, column));
        const int length = sqlite3_column_bytes(statement, column);
        if (kind == DeclaredKind::kDate) {
          if (const std::optional<DATE> date =
                  ParseDateText(std::string_view(bytes == nullptr ? "" : bytes,
                                                 static_cast<std::size_t>(length)))) {
            value->vt = VT_DATE;
            value->date = *date;
            return S_OK;
          }
        }
        if (bytes == nullptr && sqlite3_errcode(handle_) == SQLITE_NOMEM) {
          return ReportError(E_OUTOFMEMORY, "reading a column value");
        }
        BSTR text = SysAllocStringLen(bytes, static_cast<std::uint32_t>(length));
        if (text == nullptr) return ReportError(E_OUTOFMEMORY, "reading a column value");
        value->vt = VT_BSTR;
        value->bstrVal = text;
        return S_OK;
      }
    }
  }

 private:
  sqlite3* handle_;
  StatementHandle statement_;
  bool on_row_;
  std::vector<DeclaredKind> kinds_;
};

HRESULT BindParameter(sqlite3* handle, sqlite3_stmt* statement, int index, const VARIANT& value) {
  int code = SQLITE_OK;
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      code = sqlite3_bind_null(statement, index);
      break;
    case VT_I4:
      code = sqlite3_bind_int64(statement, index, value.lVal);
      break;
    case VT_I8:
      code = sqlite3_bind_int64(statement, index, value.llVal);
      break;
    case VT_BOOL:
      code = sqlite3_bind_int(statement, index, value.boolVal != 0 ? 1 : 0);
      break;
    case VT_R8:
      code = sqlite3_bind_double(statement, index, value.dblVal);
      break;
    case VT_DATE: {
      const std::optional<std::string> text = FormatDateText(value.date);
      if (!text) return ReportError(DISP_E_OVERFLOW, "a date parameter is out of range");
      code = sqlite3_bind_text64(statement, index, text->data(), text->size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
      break;
    }
    case VT_BSTR: {
      const std::string_view text = BstrView(value.bstrVal);
      code = sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
      break;
    }
    default:
      return ReportError(DISP_E_TYPEMISMATCH, "a parameter value has a type no column can take");
  }
  return code == SQLITE_OK ? S_OK : ResultFromSqlite(handle, code);
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

// Fails unless the text after the first statement holds nothing but white
// space, comments and semicolons: one command text, one statement.
HRESULT CheckNothingFollows(sqlite3* handle, const char* tail, const char* end) {
  while (tail < end) {
    if (IsSpace(*tail) || *tail == ';') {
      ++tail;
      continue;
    }
    sqlite3_stmt* next = nullptr;
    const char* next_tail = nullptr;
    const int code = sqlite3_prepare_v3(handle, tail, static_cast<int>(end - tail), 0, &next,
                                        &next_tail);
    if (code != SQLITE_OK) return ResultFromSqlite(handle, code);
    if (next != nullptr) {
      sqlite3_finalize(next);
      return ReportError(E_MULTIPLE_STATEMENTS, "the command text holds a second statement");
    }
    if (next_tail == nullptr || next_tail <= tail) {
      return ReportError(E_MULTIPLE_STATEMENTS, "the command text continues after its statement");
    }
    tail = next_tail;
  }
  return S_OK;
}

}  // namespace

// At most 16 MB of a repository file's pages are kept in memory.
constexpr std::string_view kPageCacheSize = "pragma cache_size = -16384";

// A connection serves one session, and a session one thread: the engine's
// own mutex around every call would only cost time (a tenth of a load).
constexpr int kOneThread = SQLITE_OPEN_NOMUTEX;

HRESULT SqliteDatabase::Configure(sqlite3* handle) {
  sqlite3_extended_result_codes(handle, 1);
  sqlite3_busy_timeout(handle, kLockWaitMilliseconds);
  // No limit of our own: the engine's ceiling is the only one.
  sqlite3_limit(handle, SQLITE_LIMIT_SQL_LENGTH, INT_MAX);
  sqlite3_limit(handle, SQLITE_LIMIT_LENGTH, INT_MAX);
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  return S_OK;
}

HRESULT SqliteDatabase::OpenFile(const std::string& path, std::unique_ptr<SqliteDatabase>* database) {
  // A relative path gets "./" so that no file name is ever read as one of the
  // engine's special names (":memory:", an empty name, a "file:" address).
  const std::string engine_path = !path.empty() && path.front() == '/' ? path : "./" + path;
  sqlite3* handle = nullptr;
  const int code = sqlite3_open_v2(engine_path.c_str(), &handle,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_EXRESCODE | kOneThread, nullptr);
  if (code != SQLITE_OK) {
    const HRESULT result = ResultFromSqlite(handle, code);
    sqlite3_close_v2(handle);
    return result;
  }
  std::unique_ptr<SqliteDatabase> opened(new SqliteDatabase(handle));
  Configure(handle);
  // The engine's default cache of 2 MB is smaller than the pages a lookup
  // through the element and tagged-value indexes visits in a repository of
  // 100,000 elements, which then come from the system again and again.
  const HRESULT cached = opened->ExecuteSimple(kPageCacheSize);
  if (Failed(cached)) return cached;
  // Reading the schema proves the file is a whole database before any
  // statement of the caller runs.
  const HRESULT checked = opened->ExecuteSimple("select count(*) from sqlite_schema");
  if (Failed(checked)) return checked;
  *database = std::move(opened);
  return S_OK;
}

HRESULT SqliteDatabase::OpenInMemory(std::unique_ptr<SqliteDatabase>* database) {
  sqlite3* handle = nullptr;
  const int code = sqlite3_open_v2(":memory:", &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE |
                                                            SQLITE_OPEN_EXRESCODE | kOneThread,
                                   nullptr);
  if (code != SQLITE_OK) {
    const HRESULT result = ResultFromSqlite(handle, code);
    sqlite3_close_v2(handle);
    return result;
  }
  database->reset(new SqliteDatabase(handle));
  Configure(handle);
  return S_OK;
}

SqliteDatabase::~SqliteDatabase() {
  if (InTransaction()) sqlite3_exec(handle_, "rollback", nullptr, nullptr, nullptr);
  sqlite3_close_v2(handle_);
}

HRESULT SqliteDatabase::Execute(std::string_view statement, const std::vector<Variant>& parameters,
                                std::unique_ptr<Rowset>* rows) {
  rows->reset();
  if (statement.size() > static_cast<std::size_t>(INT_MAX)) {
    return ReportError(E_STATEMENT_TOO_LONG, "the statement is over 2 GB");
  }
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const char* end = statement.data() + statement.size();
  int code = SQLITE_OK;
  for (;;) {
    code = sqlite3_prepare_v3(handle_, statement.data(), static_cast<int>(statement.size()), 0,
                              &raw, &tail);
    if (code == SQLITE_OK || observer_ == nullptr) break;
    const HRESULT answer = observer_->OnPrepareFailed(code, sqlite3_errmsg(handle_));
    if (answer == S_FALSE) break;
    if (Failed(answer)) return answer;
  }
  StatementHandle prepared(raw);
  if (code != SQLITE_OK) return ResultFromSqlite(handle_, code);
  if (!prepared) return ReportError(DB_E_NOCOMMAND, "the command text holds no statement");
  const HRESULT alone = CheckNothingFollows(handle_, tail, end);
  if (Failed(alone)) return alone;

  const int expected = sqlite3_bind_parameter_count(prepared.get());
  if (static_cast<std::size_t>(expected) != parameters.size()) {
    return ReportError(DB_E_PARAMNOTOPTIONAL,
                       "the statement has " + std::to_string(expected) + " parameters, " +
                           std::to_string(parameters.size()) + " values were given");
  }
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const HRESULT bound =
        BindParameter(handle_, prepared.get(), static_cast<int>(i + 1), parameters[i]);
    if (Failed(bound)) return bound;
  }

  if (observer_ != nullptr) {
    const HRESULT ready = observer_->BeforeRun(prepared.get());
    if (Failed(ready)) return ready;
  }
  code = sqlite3_step(prepared.get());
  HRESULT outcome = code == SQLITE_ROW || code == SQLITE_DONE ? S_OK : ResultFromSqlite(handle_, code);
  if (observer_ != nullptr) outcome = observer_->AfterRun(prepared.get(), outcome);
  if (Failed(outcome)) return outcome;
  if (sqlite3_column_count(prepared.get()) == 0) return S_OK;
  try {
    *rows = std::make_unique<SqliteRowset>(handle_, std::move(prepared), code == SQLITE_ROW);
  } catch (const std::bad_alloc&) {
    return ReportError(E_OUTOFMEMORY, "making a rowset");
  }
  return S_OK;
}

HRESULT SqliteDatabase::ExecuteSimple(std::string_view statement) {
  std::unique_ptr<Rowset> rows;
  return Execute(statement, {}, &rows);
}

HRESULT SqliteDatabase::SetDurability(CommitDurability durability) {
  return ExecuteSimple(durability == CommitDurability::kDurable ? "pragma synchronous = extra"
                                                                : "pragma synchronous = normal");
}

HRESULT SqliteDatabase::Begin() { return ExecuteSimple("begin"); }

HRESULT SqliteDatabase::Commit() { return ExecuteSimple("commit"); }

HRESULT SqliteDatabase::Rollback() { return ExecuteSimple("rollback"); }

bool SqliteDatabase::InTransaction() const { return sqlite3_get_autocommit(handle_) == 0; }

}  // namespace platform::provider
