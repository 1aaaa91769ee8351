#include "support/sqlite_file.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <stdexcept>

#include "support/jet_file.h"
#include "support/temp_dir.h"

namespace testing_support {
namespace {

struct Closer {
  void operator()(sqlite3* handle) const { sqlite3_close_v2(handle); }
};
using Handle = std::unique_ptr<sqlite3, Closer>;

Handle OpenDatabase(const std::string& path) {
  sqlite3* raw = nullptr;
  const int code = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  Handle handle(raw);
  if (code != SQLITE_OK) throw std::runtime_error("cannot open " + path);
  return handle;
}

}  // namespace

std::string FixturesDir() { return std::string(RECONSIDER_SHARED_DIR) + "/fixtures"; }

std::string FixturePath(const std::string& relative) { return FixturesDir() + "/" + relative; }

void ExecuteSql(const std::string& path, const std::string& sql) {
  const Handle handle = OpenDatabase(path);
  char* message = nullptr;
  if (sqlite3_exec(handle.get(), sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
    const std::string text = message != nullptr ? message : "unknown error";
    sqlite3_free(message);
    throw std::runtime_error("SQL failed on " + path + ": " + text);
  }
}

void ExecuteSqlFile(const std::string& path, const std::string& sql_file) {
  ExecuteSql(path, ReadFileBytes(sql_file));
}

void CreateRepository(const std::string& path, const std::string& rows_sql) {
  ExecuteSqlFile(path, FixturePath("repositories/schema.sql"));
  if (!rows_sql.empty()) ExecuteSql(path, rows_sql);
}

void CreateSampleRepository(const std::string& path, const std::string& changes_sql) {
  CreateRepository(path);
  ExecuteSqlFile(path, FixturePath("repositories/sample.sql"));
  if (!changes_sql.empty()) ExecuteSql(path, changes_sql);
}

Rows QueryRows(const std::string& path, const std::string& sql) {
  const Handle handle = OpenDatabase(path);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(handle.get(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    throw std::runtime_error(std::string("cannot prepare: ") + sqlite3_errmsg(handle.get()));
  }
  Rows rows;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
      row.emplace_back(text == nullptr ? "NULL" : text);
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  return rows;
}

Rows DumpDatabase(const std::string& path) {
  if (IsJetFile(path)) return DumpJetDatabase(path);
  Rows dump;
  for (const std::vector<std::string>& table :
       QueryRows(path, "select name from sqlite_schema where type = 'table' order by name")) {
    for (std::vector<std::string>& row : QueryRows(path, "select * from \"" + table[0] + "\" order by rowid")) {
      row.insert(row.begin(), table[0]);
      dump.push_back(std::move(row));
    }
  }
  return dump;
}

}  // namespace testing_support
