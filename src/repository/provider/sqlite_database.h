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

namespace platform::provider {

// How long a statement waits for another process's lock before it fails.
inline constexpr int kLockWaitMilliseconds = 5000;

// The durability of a commit, as SQLite's synchronous setting spells it.
enum class CommitDurability {
  kNormal,   // synced at the critical moments, may lose the last commit on power loss
  kDurable,  // data, journal and the journal's removal are on disk before COMMIT returns
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

 private:
  explicit SqliteDatabase(sqlite3* handle) : handle_(handle) {}
  static HRESULT Configure(sqlite3* handle);

  sqlite3* handle_;
};

// The platform's result code for a SQLite result code, recording the
// engine's message as the description.
HRESULT ResultFromSqlite(sqlite3* handle, int code);

}  // namespace platform::provider
