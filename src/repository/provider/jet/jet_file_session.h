// A session on a Jet 3 or Jet 4 repository file.
//
// Statements run on the same SQL engine as for SQLite files, over copies of
// the Jet tables kept in memory. A table is copied when a statement first
// names it, with the columns statements read (and, at the first load, its
// fixed-width columns). The rows are read straight from the pages in the
// same pass that checks them (jet_row_loader.h); memos and numerics through
// libmdb once the storage, long values included, has been checked
// (jet_structure.h). Each copied row keeps its place in the file (page and
// slot of its data) as its rowid.
//
// Writes: an UPDATE changes the copy; what it changed becomes byte patches
// of the file (the changed values and their null-mask bits, nothing else),
// written all or nothing at the commit (rollback_journal.h), or at once
// outside a transaction. Whatever cannot be written in place safely (an
// indexed or variable-width column, a row older than the column, rows added
// or removed) is refused when the statement is prepared or run, before any
// byte is written, and the statement leaves no trace in the copy.
//
// Invariants:
// - The session holds the file's lock from Open to its end, and a journal
//   left by an interrupted commit is played back before anything is read.
// - The copy holds exactly the file's values plus the changes of the open
//   transaction, which `pending_` records cell by cell as patches against
//   the file; aborting the transaction reads those cells back from the file.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "provider/jet/commit_io.h"
#include "provider/jet/file_lock.h"
#include "provider/jet/jet_file.h"
#include "provider/jet/jet_structure.h"
#include "provider/jet/mdb_database.h"
#include "provider/jet/rollback_journal.h"
#include "provider/provider.h"
#include "provider/sqlite_database.h"

#include <sqlite3.h>

namespace platform::provider::jet {

class JetFileSession final : public Session, private StatementObserver {
 public:
  static HRESULT Open(const std::string& path, std::unique_ptr<Session>* session,
                      CommitIo& io = SystemCommitIo());
  ~JetFileSession() override;

  const std::vector<std::string>& PropertyNames() const override;
  HRESULT GetProperty(std::string_view name, VARIANT* value) override;
  HRESULT SetProperty(std::string_view name, const VARIANT& value) override;
  HRESULT Execute(std::string_view statement, const std::vector<Variant>& parameters,
                  std::unique_ptr<Rowset>* rows) override;
  HRESULT BeginTransaction() override;
  HRESULT CommitTransaction() override;
  HRESULT AbortTransaction() override;
  bool InTransaction() const override { return in_transaction_; }

 private:
  struct Table;
  // A changed cell: table, rowid (page << 8 | slot), column.
  using CellKey = std::tuple<Table*, std::int64_t, std::size_t>;

  JetFileSession(std::unique_ptr<JetFile> file, CommitIo& io);

  HRESULT OnPrepareFailed(int code, std::string_view message) override;
  HRESULT BeforeRun(sqlite3_stmt* statement) override;
  HRESULT AfterRun(sqlite3_stmt* statement, HRESULT outcome) override;

  static int Authorize(void* context, int action, const char* first, const char* second,
                       const char* database, const char* trigger);
  static void OnUpdate(void* context, int operation, const char* database, const char* table,
                       sqlite3_int64 rowid);
  int AuthorizeStatement(int action, const char* first, const char* second);
  int Refuse(HRESULT code, std::string reason);

  Table* FindTable(std::string_view name);
  HRESULT CreateTable(const CatalogTable& entry);
  struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
  };
  using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

  HRESULT LoadNeededColumns(Table* table);
  HRESULT PrepareLoad(const Table& table, const std::vector<std::size_t>& wanted, StatementHandle* statement);
  HRESULT LoadThroughLibrary(Table* table, const std::vector<std::size_t>& wanted, sqlite3_stmt* statement);
  HRESULT ReadPageCached(std::uint32_t page, const std::uint8_t** bytes);
  HRESULT ReadRow(std::int64_t rowid, const TableDefinition& definition, const std::uint8_t** page,
                  RowLayout* row);
  HRESULT StageChanges();
  HRESULT StageTableChanges(Table* table, const std::vector<std::int64_t>& rowids, bool* any_patch);
  HRESULT WritePending();
  HRESULT RestorePendingCells();
  HRESULT RunInternal(const std::string& sql);
  void ForgetReadState();

  std::unique_ptr<JetFile> file_;
  CommitIo& io_;
  FileLock lock_;
  std::vector<CatalogTable> catalog_;
  std::unique_ptr<SqliteDatabase> memory_;
  std::unique_ptr<MdbDatabase> mdb_;
  std::vector<std::unique_ptr<Table>> tables_;

  std::vector<std::uint8_t> page_buffer_;
  std::optional<std::uint32_t> cached_page_;

  std::int32_t commit_mode_ = kCommitModeDefault;
  bool in_transaction_ = false;
  bool internal_ = false;  // the session runs its own SQL: no checks, no change tracking
  bool writing_ = false;   // a statement that may change rows is running
  std::optional<std::pair<HRESULT, std::string>> refusal_;
  std::vector<std::pair<Table*, std::int64_t>> touched_;
  std::map<CellKey, std::vector<BytePatch>> pending_;
};

}  // namespace platform::provider::jet
