// Owners of the SQLite handles the generator writes through. Every failure
// becomes a std::runtime_error carrying SQLite's message, so the writer reads
// as a straight sequence of steps and the caller decides what a failure means.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace bench {

class Database {
 public:
  // Opens (creating it when missing) the database file at `path`; the
  // error names only the cause, the caller knows the file.
  explicit Database(const std::string& path);
  ~Database();
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Runs any number of statements that return no rows.
  void Execute(const char* sql);
  // Closes the file, reporting what closing it found; the destructor only
  // closes when this was not called.
  void Close();

  sqlite3* Handle() const { return handle_; }

 private:
  sqlite3* handle_ = nullptr;
};

// A prepared insert, run once per row with fresh bindings. Texts are bound
// without copying: a bound text must stay unchanged until Run returns.
class Statement {
 public:
  Statement(Database& database, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters are numbered from 1, as SQLite numbers them.
  void Bind(int parameter, std::int64_t value);
  void Bind(int parameter, std::string_view text);
  void BindNull(int parameter);
  // Steps the statement to its end, then clears it and its bindings for the
  // next row.
  void Run();

 private:
  void Check(int code) const;

  sqlite3* database_;
  sqlite3_stmt* statement_ = nullptr;
};

}  // namespace bench
