// SqliteDatabase: the SQL engine under every file repository.
//
// Owns one SQLite connection and runs statements on it as written: one
// statement per text, positional "?" parameters bound as parameters, rows in
// the engine's order. It sets no limit of its own on the length of a
// statement. Engine failures become result codes of the platform
// (ResultFromSqlite) with the engine's message as their description.
//
// Invariants: the connection is open for the object's whole life; a
// transaction left open when the object ends is rolled back.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com/hresult.h"
#include "oleaut/variant.h"
#include "provider/provider.h"

struct sqlite3;
struct sqlite3_stmt;

namespace platform::provider {

// How long a statement waits for another process's lock before it fails.
inline constexpr int kLockWaitMilliseconds = 5000;

// The durability of a commit, as SQLite's synchronous setting spells it.
enum class CommitDurability {
  kNormal,   // synced at the critical moments, may lose the last commit on power loss
  kDurable,  // data, journal and the journal's removal are on disk before COMMIT returns
};

// Lets the owner of a database take part in each statement's life: make
// what a statement names before it is prepared again, load what it reads
// before it runs, and look at what it changed once it has run.
class StatementObserver {
 public:
  virtual ~StatementObserver() = default;
  // Preparing failed with `code`. S_OK: the observer made what was missing,
  // prepare again. S_FALSE: let the engine's failure stand. A failure code:
  // report that instead.
  virtual HRESULT OnPrepareFailed(int code, std::string_view message) = 0;
  // The statement is prepared and its parameters bound; it has not run.
  virtual HRESULT BeforeRun(sqlite3_stmt* statement) = 0;
  // The statement's first step ended with `outcome` (a statement that yields
  // no rows has then run to its end). A failure returned here replaces the
  // outcome.
  virtual HRESULT AfterRun(sqlite3_stmt* statement, HRESULT outcome) = 0;
};

class SqliteDatabase {
 public:
  // Opens an existing database file for reading and writing (reading only
  // when the file is write-protected). Never creates a file.
  static HRESULT OpenFile(const std::string& path, std::unique_ptr<SqliteDatabase>* database);
  // Opens a new, empty database in memory.
  static HRESULT OpenInMemory(std::unique_ptr<SqliteDatabase>* database);

  ~SqliteDatabase();
  SqliteDatabase(const SqliteDatabase&) = delete;
  SqliteDatabase& operator=(const SqliteDatabase&) = delete;

  HRESULT Execute(std::string_view statement, const std::vector<Variant>& parameters,
                  std::unique_ptr<Rowset>* rows);
  // Runs a statement that yields no rows and takes no parameters.
  HRESULT ExecuteSimple(std::string_view statement);

  HRESULT SetDurability(CommitDurability durability);
  HRESULT Begin();
  HRESULT Commit();
  HRESULT Rollback();
  bool InTransaction() const;

  sqlite3* Handle() const { return handle_; }
  // The observer of every statement Execute runs from now on, or none.
  void SetObserver(StatementObserver* observer) { observer_ = observer; }

 private:
  explicit SqliteDatabase(sqlite3* handle) : handle_(handle) {}
  static HRESULT Configure(sqlite3* handle);

  sqlite3* handle_;
  StatementObserver* observer_ = nullptr;
};

// The platform's result code for a SQLite result code, recording the
// engine's message as the description.
HRESULT ResultFromSqlite(sqlite3* handle, int code);

}  // namespace platform::provider
