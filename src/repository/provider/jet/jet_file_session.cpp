#include "provider/jet/jet_file_session.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>

#include "com/ascii.h"
#include "com/error_info.h"
#include "provider/jet/jet_row_loader.h"
#include "provider/jet/jet_values.h"
#include "provider/jet/text_collation.h"
#include "provider/property_names.h"

namespace platform::provider::jet {
namespace {

constexpr std::chrono::milliseconds kLockWait{kLockWaitMilliseconds};
constexpr std::string_view kNoSuchTable = "no such table: ";
constexpr std::string_view kMainSchema = "main.";
constexpr int kPrimaryResult = 0xFF;  // the primary code of an extended SQLite result code
constexpr std::string_view kLockFileSuffix = ".ldb";

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

std::string Quote(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

// The lock file another program keeps beside a Jet file it has open.
std::string LockFilePath(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  const bool has_extension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (has_extension ? path.substr(0, dot) : path) + std::string(kLockFileSuffix);
}

}  // namespace

struct JetFileSession::Table {
  CatalogTable entry;
  TableDefinition definition;
  std::string quoted_name;
  std::string rowid_name;  // a name for the rowid that no column of the table takes
  std::map<std::string, std::size_t> columns_by_name;  // lower-case name to column index
  std::vector<bool> loaded;
  std::vector<bool> needed;   // by the statement being prepared
  std::vector<bool> updated;  // set by the statement being prepared
  bool rows_loaded = false;
  bool rows_needed = false;
  std::set<std::uint16_t> checked_long_values;
  TableStorage storage;

  std::optional<std::size_t> FindColumn(std::string_view name) const {
    const auto found = columns_by_name.find(Lower(name));
    if (found == columns_by_name.end()) return std::nullopt;
    return found->second;
  }
};

JetFileSession::JetFileSession(std::unique_ptr<JetFile> file, CommitIo& io)
    : file_(std::move(file)), io_(io) {}

JetFileSession::~JetFileSession() {
  // An open transaction simply ends: none of it reached the file.
  if (memory_) {
    memory_->SetObserver(nullptr);
    sqlite3_set_authorizer(memory_->Handle(), nullptr, nullptr);
    sqlite3_update_hook(memory_->Handle(), nullptr, nullptr);
  }
}

HRESULT JetFileSession::Open(const std::string& path, std::unique_ptr<Session>* session, CommitIo& io) {
  std::unique_ptr<JetFile> file;
  HRESULT result = JetFile::Open(path, &file);
  if (Failed(result)) return result;
  std::unique_ptr<JetFileSession> opened(new JetFileSession(std::move(file), io));
  JetFile& jet = *opened->file_;
  result = opened->lock_.Acquire(jet.Descriptor(), path, kLockWait);
  if (Failed(result)) return result;
  result = RecoverJournal(jet, io);
  if (Failed(result)) return result;
  result = ReadCatalog(jet, &opened->catalog_);
  if (Failed(result)) return result;
  result = SqliteDatabase::OpenInMemory(&opened->memory_);
  if (Failed(result)) return result;
  sqlite3* handle = opened->memory_->Handle();
  if (RegisterJetTextCollation(handle) != SQLITE_OK) return ResultFromSqlite(handle, SQLITE_NOMEM);
  sqlite3_set_authorizer(handle, &JetFileSession::Authorize, opened.get());
  sqlite3_update_hook(handle, &JetFileSession::OnUpdate, opened.get());
  opened->memory_->SetObserver(opened.get());
  *session = std::move(opened);
  return S_OK;
}

const std::vector<std::string>& JetFileSession::PropertyNames() const {
  return CommitModePropertyNames();
}

HRESULT JetFileSession::GetProperty(std::string_view name, VARIANT* value) {
  return GetCommitModeProperty(name, commit_mode_, value);
}

HRESULT JetFileSession::SetProperty(std::string_view name, const VARIANT& value) {
  return ReadCommitModeProperty(name, value, &commit_mode_);
}

HRESULT JetFileSession::Execute(std::string_view statement, const std::vector<Variant>& parameters,
                                std::unique_ptr<Rowset>* rows) {
  refusal_.reset();
  touched_.clear();
  writing_ = false;
  for (const auto& table : tables_) {
    std::fill(table->needed.begin(), table->needed.end(), false);
    std::fill(table->updated.begin(), table->updated.end(), false);
    table->rows_needed = false;
  }
  return memory_->Execute(statement, parameters, rows);
}

// ---- Preparing: the tables a statement names, the columns it reads. ----

int JetFileSession::Authorize(void* context, int action, const char* first, const char* second,
                              const char*, const char*) {
  return static_cast<JetFileSession*>(context)->AuthorizeStatement(action, first, second);
}

int JetFileSession::Refuse(HRESULT code, std::string reason) {
  refusal_.emplace(code, std::move(reason));
  return SQLITE_DENY;
}

int JetFileSession::AuthorizeStatement(int action, const char* first, const char* second) {
  if (internal_) return SQLITE_OK;
  const std::string_view table_name = first == nullptr ? std::string_view() : first;
  const std::string_view column_name = second == nullptr ? std::string_view() : second;
  switch (action) {
    case SQLITE_SELECT:
    case SQLITE_FUNCTION:
    case SQLITE_RECURSIVE:
      return SQLITE_OK;
    case SQLITE_READ: {
      Table* table = FindTable(table_name);
      if (table == nullptr) return SQLITE_OK;
      table->rows_needed = true;
      if (const auto column = table->FindColumn(column_name)) {
        if (!IsReadable(table->definition.columns[*column])) {
          return Refuse(E_NOTIMPL, "column " + std::string(column_name) +
                                       " holds OLE objects, which the provider does not read");
        }
        table->needed[*column] = true;
      }
      return SQLITE_OK;
    }
    case SQLITE_UPDATE: {
      Table* table = FindTable(table_name);
      const auto column = table == nullptr ? std::nullopt : table->FindColumn(column_name);
      if (!column) return Refuse(E_CHANGE_NOT_SUPPORTED, "only the columns of Jet tables can be changed");
      if (auto why = WhyNotWritable(table->definition.columns[*column])) {
        return Refuse(E_CHANGE_NOT_SUPPORTED, std::move(*why));
      }
      // Loaded first, so that the copy holds the file's values for every row
      // the statement leaves alone.
      table->rows_needed = true;
      table->needed[*column] = true;
      table->updated[*column] = true;
      return SQLITE_OK;
    }
    case SQLITE_INSERT:
      return Refuse(E_CHANGE_NOT_SUPPORTED, "rows cannot be added to a Jet file in place");
    case SQLITE_DELETE:
      return Refuse(E_CHANGE_NOT_SUPPORTED, "rows cannot be removed from a Jet file in place");
    case SQLITE_TRANSACTION:
    case SQLITE_SAVEPOINT:
      return Refuse(E_CHANGE_NOT_SUPPORTED, "transactions are the connection's: use BeginTrans");
    default:
      return Refuse(E_CHANGE_NOT_SUPPORTED, "the design of a Jet file cannot be changed");
  }
}

JetFileSession::Table* JetFileSession::FindTable(std::string_view name) {
  for (const auto& table : tables_) {
    if (EqualsIgnoringCase(table->entry.name, name)) return table.get();
  }
  return nullptr;
}

HRESULT JetFileSession::OnPrepareFailed(int code, std::string_view message) {
  if ((code & kPrimaryResult) == SQLITE_AUTH && refusal_) {
    return ReportError(refusal_->first, refusal_->second);
  }
  if (message.substr(0, kNoSuchTable.size()) != kNoSuchTable) return S_FALSE;
  std::string_view name = message.substr(kNoSuchTable.size());
  if (name.substr(0, kMainSchema.size()) == kMainSchema) name.remove_prefix(kMainSchema.size());
  for (const CatalogTable& entry : catalog_) {
    if (EqualsIgnoringCase(entry.name, name) && FindTable(entry.name) == nullptr) {
      return CreateTable(entry);
    }
  }
  return S_FALSE;
}

HRESULT JetFileSession::CreateTable(const CatalogTable& entry) {
  auto table = std::make_unique<Table>();
  table->entry = entry;
  const HRESULT read = ReadTableDefinition(*file_, entry.first_page, &table->definition);
  if (Failed(read)) return read;
  const std::vector<ColumnDefinition>& columns = table->definition.columns;
  table->quoted_name = Quote(entry.name);
  std::string sql = "create table " + table->quoted_name + " (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += Quote(columns[i].name) + " " + DeclaredTypeOf(columns[i]);
    table->columns_by_name.emplace(Lower(columns[i].name), i);
  }
  sql += ")";
  for (const char* candidate : {"rowid", "_rowid_", "oid"}) {
    if (!table->FindColumn(candidate)) {
      table->rowid_name = candidate;
      break;
    }
  }
  if (table->rowid_name.empty()) {
    return ReportError(E_CHANGE_NOT_SUPPORTED,
                       "table " + entry.name + " has columns named rowid, _rowid_ and oid");
  }
  table->loaded.assign(columns.size(), false);
  table->needed.assign(columns.size(), false);
  table->updated.assign(columns.size(), false);
  const HRESULT created = RunInternal(sql);
  if (Failed(created)) return created;
  tables_.push_back(std::move(table));
  return S_OK;
}

HRESULT JetFileSession::RunInternal(const std::string& sql) {
  internal_ = true;
  char* message = nullptr;
  const int code = sqlite3_exec(memory_->Handle(), sql.c_str(), nullptr, nullptr, &message);
  sqlite3_free(message);
  internal_ = false;
  return code == SQLITE_OK ? S_OK : ResultFromSqlite(memory_->Handle(), code);
}

// ---- Loading: the rows and columns a statement reads. ----

HRESULT JetFileSession::ReadPageCached(std::uint32_t page, const std::uint8_t** bytes) {
  if (!cached_page_ || *cached_page_ != page) {
    page_buffer_.resize(file_->PageSize());
    cached_page_.reset();
    const HRESULT read = file_->ReadPage(page, page_buffer_.data());
    if (Failed(read)) return read;
    cached_page_ = page;
  }
  *bytes = page_buffer_.data();
  return S_OK;
}

HRESULT JetFileSession::ReadRow(std::int64_t rowid, const TableDefinition& definition,
                                const std::uint8_t** page, RowLayout* row) {
  const auto page_number = static_cast<std::uint32_t>(rowid >> kRowShift);
  const auto slot = static_cast<std::uint16_t>(rowid & kSlotMask);
  const HRESULT read = ReadPageCached(page_number, page);
  if (Failed(read)) return read;
  return ParseRow(*file_, *page, slot, definition, row);
}

HRESULT JetFileSession::LoadNeededColumns(Table* table) {
  const std::vector<ColumnDefinition>& columns = table->definition.columns;
  std::vector<std::size_t> wanted;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (table->needed[i] && !table->loaded[i]) wanted.push_back(i);
  }
  if (table->rows_loaded && wanted.empty()) return S_OK;
  if (!table->rows_loaded) {
    // The fixed-width columns come along with the first load: a few bytes a
    // row, read from bytes the scan parses anyway, they spare a further pass
    // over the table (an update of every row) for each one a later
    // statement reads.
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (!table->needed[i] && IsFixedWidthNumber(columns[i])) wanted.push_back(i);
    }
    std::sort(wanted.begin(), wanted.end());
  }

  StatementHandle statement;
  HRESULT result = PrepareLoad(*table, wanted, &statement);
  if (Failed(result)) return result;
  result = RunInternal("begin");
  if (Failed(result)) return result;
  const bool direct = std::all_of(wanted.begin(), wanted.end(),
                                  [&](std::size_t i) { return IsReadDirectly(columns[i]); });
  DirectLoad outcome = DirectLoad::kNeedsLibrary;
  if (direct) {
    std::vector<const ColumnDefinition*> loaded;
    for (const std::size_t i : wanted) loaded.push_back(&columns[i]);
    TableStorage storage;
    internal_ = true;
    outcome = LoadRowsDirectly(*file_, table->definition, loaded, statement.get(), &storage, &result);
    internal_ = false;
    if (outcome == DirectLoad::kLoaded) {
      // This scan checked no long values; those checked before still hold.
      storage.longest_long_value = table->storage.longest_long_value;
      table->storage = std::move(storage);
    } else if (outcome == DirectLoad::kNeedsLibrary) {
      // Rows loaded before the text that needs the library go again.
      result = RunInternal("rollback");
      if (Succeeded(result)) result = RunInternal("begin");
    }
  }
  if (outcome == DirectLoad::kNeedsLibrary && Succeeded(result)) {
    result = LoadThroughLibrary(table, wanted, statement.get());
  }
  if (Failed(result)) {
    RunInternal("rollback");
    return result;
  }
  result = RunInternal("commit");
  if (Failed(result)) return result;
  table->rows_loaded = true;
  for (const std::size_t i : wanted) table->loaded[i] = true;
  return S_OK;
}

// The statement that copies the wanted columns: an insert for the first
// load of the table, an update by rowid for columns added later.
HRESULT JetFileSession::PrepareLoad(const Table& table, const std::vector<std::size_t>& wanted,
                                    StatementHandle* statement) {
  const std::vector<ColumnDefinition>& columns = table.definition.columns;
  std::string sql;
  if (!table.rows_loaded) {
    sql = "insert into " + table.quoted_name + " (" + table.rowid_name;
    for (const std::size_t i : wanted) sql += ", " + Quote(columns[i].name);
    sql += ") values (?1";
    for (std::size_t k = 0; k < wanted.size(); ++k) sql += ", ?" + std::to_string(k + 2);
    sql += ")";
  } else {
    sql = "update " + table.quoted_name + " set ";
    for (std::size_t k = 0; k < wanted.size(); ++k) {
      if (k > 0) sql += ", ";
      sql += Quote(columns[wanted[k]].name) + " = ?" + std::to_string(k + 2);
    }
    sql += " where " + table.rowid_name + " = ?1";
  }
  sqlite3* handle = memory_->Handle();
  internal_ = true;
  sqlite3_stmt* raw = nullptr;
  const int code = sqlite3_prepare_v3(handle, sql.c_str(), static_cast<int>(sql.size()),
                                      SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
  statement->reset(raw);
  internal_ = false;
  return code == SQLITE_OK ? S_OK : ResultFromSqlite(handle, code);
}

// Loads through libmdb, which converts memos, numerics and texts in code
// pages the direct reader does not know. The storage is checked first, with
// the long values of memo columns not read before.
HRESULT JetFileSession::LoadThroughLibrary(Table* table, const std::vector<std::size_t>& wanted,
                                           sqlite3_stmt* statement) {
  const std::vector<ColumnDefinition>& columns = table->definition.columns;
  std::vector<std::uint16_t> long_values(table->checked_long_values.begin(),
                                         table->checked_long_values.end());
  bool new_long_values = false;
  for (const std::size_t i : wanted) {
    if (IsLongValue(columns[i]) && table->checked_long_values.count(columns[i].number) == 0) {
      long_values.push_back(columns[i].number);
      new_long_values = true;
    }
  }
  if (!table->rows_loaded || new_long_values) {
    const HRESULT checked = CheckTableStorage(*file_, table->definition, long_values, &table->storage);
    if (Failed(checked)) return checked;
    table->checked_long_values.insert(long_values.begin(), long_values.end());
  }
  if (!mdb_) {
    const HRESULT opened = MdbDatabase::Open(file_->Path(), &mdb_);
    if (Failed(opened)) return opened;
  }
  std::vector<std::string> text_columns;
  std::vector<int> text_slot(wanted.size(), -1);
  for (std::size_t k = 0; k < wanted.size(); ++k) {
    if (IsReadAsText(columns[wanted[k]])) {
      text_slot[k] = static_cast<int>(text_columns.size());
      text_columns.push_back(columns[wanted[k]].name);
    }
  }

  sqlite3* handle = memory_->Handle();
  internal_ = true;
  const HRESULT result = mdb_->ScanTable(
      table->entry.name, table->entry.first_page, text_columns, table->storage.longest_long_value,
      table->storage.rows,
      [&](std::uint32_t page_number, std::uint16_t slot,
          const std::vector<std::string_view>& texts) -> HRESULT {
        const std::int64_t rowid = RowIdOf(page_number, slot);
        const std::uint8_t* page = nullptr;
        RowLayout row;
        const HRESULT located = ReadRow(rowid, table->definition, &page, &row);
        if (Failed(located)) return located;
        int bound = sqlite3_bind_int64(statement, 1, rowid);
        for (std::size_t k = 0; k < wanted.size() && bound == SQLITE_OK; ++k) {
          const std::string_view text =
              text_slot[k] >= 0 ? texts[static_cast<std::size_t>(text_slot[k])] : std::string_view();
          bound = BindColumnValue(statement, static_cast<int>(k + 2), page, row, columns[wanted[k]], text);
        }
        if (bound == SQLITE_CORRUPT) {
          return ReportError(E_FILE_CORRUPT, file_->Path() + " is damaged: a row of " +
                                                 table->entry.name + " is cut short");
        }
        if (bound != SQLITE_OK) return ResultFromSqlite(handle, bound);
        const int stepped = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (stepped != SQLITE_DONE) return ResultFromSqlite(handle, stepped);
        return S_OK;
      });
  internal_ = false;
  return result;
}

// ---- Running: loading before, turning changes into patches after. ----

HRESULT JetFileSession::BeforeRun(sqlite3_stmt* statement) {
  for (const auto& table : tables_) {
    if (!table->rows_needed) continue;
    const HRESULT loaded = LoadNeededColumns(table.get());
    if (Failed(loaded)) return loaded;
  }
  if (sqlite3_stmt_readonly(statement) != 0) return S_OK;
  const HRESULT begun = RunInternal("savepoint jet_statement");
  if (Failed(begun)) return begun;
  writing_ = true;
  touched_.clear();
  return S_OK;
}

void JetFileSession::OnUpdate(void* context, int operation, const char*, const char* table_name,
                              sqlite3_int64 rowid) {
  auto* session = static_cast<JetFileSession*>(context);
  if (!session->writing_ || session->internal_ || operation != SQLITE_UPDATE) return;
  if (Table* table = session->FindTable(table_name)) session->touched_.emplace_back(table, rowid);
}

HRESULT JetFileSession::AfterRun(sqlite3_stmt*, HRESULT outcome) {
  if (!writing_) return outcome;
  writing_ = false;
  HRESULT result = outcome;
  std::map<CellKey, std::vector<BytePatch>> saved;
  if (Succeeded(result)) {
    saved = pending_;
    result = StageChanges();
  }
  if (Succeeded(result) && !in_transaction_) {
    result = WritePending();
    pending_.clear();
  }
  if (Failed(result)) {
    pending_ = std::move(saved);
    RunInternal("rollback to jet_statement");
    RunInternal("release jet_statement");
    return result;
  }
  return RunInternal("release jet_statement");
}

// Turns the rows the statement changed into patches of the file, cell by
// cell, each against the file's own bytes, so that a cell set back to its
// stored value needs no patch at all.
HRESULT JetFileSession::StageChanges() {
  std::sort(touched_.begin(), touched_.end());
  touched_.erase(std::unique(touched_.begin(), touched_.end()), touched_.end());
  bool any_patch = false;
  std::vector<std::int64_t> rowids;
  for (std::size_t first = 0; first < touched_.size();) {
    Table* table = touched_[first].first;
    rowids.clear();
    std::size_t next = first;
    for (; next < touched_.size() && touched_[next].first == table; ++next) rowids.push_back(touched_[next].second);
    const HRESULT staged = StageTableChanges(table, rowids, &any_patch);
    if (Failed(staged)) return staged;
    first = next;
  }
  if (!any_patch) return S_OK;
  if (!file_->Writable()) {
    return ReportError(DB_SEC_E_PERMISSIONDENIED, file_->Path() + " is write-protected");
  }
  struct stat status {};
  if (::stat(LockFilePath(file_->Path()).c_str(), &status) == 0) {
    return ReportError(E_LOCK_VIOLATION, file_->Path() + " is open in another program (" +
                                             LockFilePath(file_->Path()) + " exists)");
  }
  return S_OK;
}

HRESULT JetFileSession::StageTableChanges(Table* table, const std::vector<std::int64_t>& rowids,
                                          bool* any_patch) {
  const std::vector<ColumnDefinition>& columns = table->definition.columns;
  std::vector<std::size_t> changed;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (table->updated[i]) changed.push_back(i);
  }
  if (changed.empty()) return S_OK;
  std::string sql = "select ";
  for (std::size_t k = 0; k < changed.size(); ++k) {
    sql += (k > 0 ? ", " : "") + Quote(columns[changed[k]].name);
  }
  sql += " from " + table->quoted_name + " where " + table->rowid_name + " = ?1";
  sqlite3* handle = memory_->Handle();
  internal_ = true;
  sqlite3_stmt* raw = nullptr;
  const int prepared = sqlite3_prepare_v2(handle, sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
  internal_ = false;
  StatementHandle statement(raw);
  if (prepared != SQLITE_OK) return ResultFromSqlite(handle, prepared);

  for (const std::int64_t rowid : rowids) {
    sqlite3_reset(statement.get());
    int code = sqlite3_bind_int64(statement.get(), 1, rowid);
    if (code == SQLITE_OK) code = sqlite3_step(statement.get());
    if (code != SQLITE_ROW) return ResultFromSqlite(handle, code == SQLITE_DONE ? SQLITE_INTERNAL : code);
    const std::uint8_t* page = nullptr;
    RowLayout row;
    const HRESULT located = ReadRow(rowid, table->definition, &page, &row);
    if (Failed(located)) return located;
    for (std::size_t k = 0; k < changed.size(); ++k) {
      std::vector<BytePatch> patches;
      const HRESULT patched =
          PatchColumnValue(static_cast<std::uint32_t>(rowid >> kRowShift), page, row, columns[changed[k]],
                           sqlite3_column_value(statement.get(), static_cast<int>(k)), &patches);
      if (Failed(patched)) return patched;
      *any_patch = *any_patch || !patches.empty();
      const CellKey key{table, rowid, changed[k]};
      if (patches.empty()) {
        pending_.erase(key);
      } else {
        pending_[key] = std::move(patches);
      }
    }
  }
  return S_OK;
}

HRESULT JetFileSession::WritePending() {
  std::vector<BytePatch> patches;
  for (const auto& cell : pending_) patches.insert(patches.end(), cell.second.begin(), cell.second.end());
  if (patches.empty()) return S_OK;
  const HRESULT written = CommitPatches(*file_, patches, commit_mode_ == kCommitModeDurable, io_);
  ForgetReadState();
  return written;
}

// libmdb keeps pages it read, and so does the page cache here: after the file
// changed, both read afresh.
void JetFileSession::ForgetReadState() {
  mdb_.reset();
  cached_page_.reset();
}

HRESULT JetFileSession::RestorePendingCells() {
  HRESULT result = S_OK;
  for (const auto& cell : pending_) {
    Table* table = std::get<0>(cell.first);
    const std::int64_t rowid = std::get<1>(cell.first);
    const ColumnDefinition& column = table->definition.columns[std::get<2>(cell.first)];
    const std::uint8_t* page = nullptr;
    RowLayout row;
    HRESULT restored = ReadRow(rowid, table->definition, &page, &row);
    if (Succeeded(restored)) {
      const std::string sql = "update " + table->quoted_name + " set " + Quote(column.name) +
                              " = ?2 where " + table->rowid_name + " = ?1";
      internal_ = true;
      sqlite3_stmt* raw = nullptr;
      int code = sqlite3_prepare_v2(memory_->Handle(), sql.c_str(), static_cast<int>(sql.size()), &raw, nullptr);
      StatementHandle statement(raw);
      if (code == SQLITE_OK) code = sqlite3_bind_int64(statement.get(), 1, rowid);
      if (code == SQLITE_OK) code = BindColumnValue(statement.get(), 2, page, row, column, {});
      if (code == SQLITE_OK) code = sqlite3_step(statement.get());
      internal_ = false;
      if (code != SQLITE_DONE) restored = ResultFromSqlite(memory_->Handle(), code);
    }
    if (Failed(restored) && Succeeded(result)) result = restored;
  }
  pending_.clear();
  return result;
}

// ---- Transactions ----

HRESULT JetFileSession::BeginTransaction() {
  if (in_transaction_) return ReportError(XACT_E_XTIONEXISTS, "a transaction is already open");
  in_transaction_ = true;
  return S_OK;
}

HRESULT JetFileSession::CommitTransaction() {
  if (!in_transaction_) return ReportError(XACT_E_NOTRANSACTION, "no transaction is open");
  const HRESULT written = WritePending();
  if (Failed(written)) {
    // Nothing of the transaction reached the file: the copy follows suit.
    RestorePendingCells();
    in_transaction_ = false;
    return written;
  }
  pending_.clear();
  in_transaction_ = false;
  return S_OK;
}

HRESULT JetFileSession::AbortTransaction() {
  if (!in_transaction_) return ReportError(XACT_E_NOTRANSACTION, "no transaction is open");
  in_transaction_ = false;
  return RestorePendingCells();
}

}  // namespace platform::provider::jet
