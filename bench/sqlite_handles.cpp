// The SQLite owners. A handle is released exactly once: by Close or the
// destructor for the database, by the destructor for a statement.
#include "sqlite_handles.h"

#include <stdexcept>

namespace bench {
namespace {

[[noreturn]] void Fail(sqlite3* database, const std::string& what) {
  throw std::runtime_error(what + ": " + (database != nullptr ? sqlite3_errmsg(database) : "out of memory"));
}

}  // namespace

Database::Database(const std::string& path) {
  const int code = sqlite3_open_v2(path.c_str(), &handle_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (code != SQLITE_OK) {
    const std::string message = handle_ != nullptr ? sqlite3_errmsg(handle_) : sqlite3_errstr(code);
    sqlite3_close_v2(handle_);
    handle_ = nullptr;
    throw std::runtime_error(message);
  }
}

Database::~Database() {
  if (handle_ != nullptr) sqlite3_close_v2(handle_);
}

void Database::Execute(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(handle_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message != nullptr ? message : sqlite3_errmsg(handle_);
    sqlite3_free(message);
    throw std::runtime_error(text);
  }
}

void Database::Close() {
  sqlite3* const closing = handle_;
  handle_ = nullptr;
  if (sqlite3_close(closing) != SQLITE_OK) {
    // sqlite3_close refuses only while statements are open; let the destructor
    // of the last one finish the job.
    sqlite3_close_v2(closing);
    throw std::runtime_error("cannot close the database");
  }
}

Statement::Statement(Database& database, const char* sql) : database_(database.Handle()) {
  if (sqlite3_prepare_v2(database_, sql, -1, &statement_, nullptr) != SQLITE_OK) {
    Fail(database_, std::string("cannot prepare ") + sql);
  }
}

Statement::~Statement() { sqlite3_finalize(statement_); }

void Statement::Bind(int parameter, std::int64_t value) {
  Check(sqlite3_bind_int64(statement_, parameter, value));
}

void Statement::Bind(int parameter, std::string_view text) {
  Check(sqlite3_bind_text(statement_, parameter, text.data(), static_cast<int>(text.size()), SQLITE_STATIC));
}

void Statement::BindNull(int parameter) { Check(sqlite3_bind_null(statement_, parameter)); }

void Statement::Run() {
  const int stepped = sqlite3_step(statement_);
  // Reset reports the step's error again; the step's code is the one to keep.
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
  if (stepped != SQLITE_DONE) Fail(database_, "cannot insert a row");
}

void Statement::Check(int code) const {
  if (code != SQLITE_OK) Fail(database_, "cannot bind a value");
}

}  // namespace bench
