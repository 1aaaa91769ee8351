// SQLite repository files for tests: made from the shared schema and SQL, and
// read back to check what a run left in them.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

// The shared fixtures folder (../shared/fixtures beside the project).
std::string FixturesDir();
// A file of the shared fixtures, e.g. "repositories/schema.sql".
std::string FixturePath(const std::string& relative);

// Runs the SQL text (any number of statements) on the database at `path`,
// creating it when missing. Fails the test on an error.
void ExecuteSql(const std::string& path, const std::string& sql);
void ExecuteSqlFile(const std::string& path, const std::string& sql_file);

// A new repository at `path`: the shared schema, then `rows_sql`.
void CreateRepository(const std::string& path, const std::string& rows_sql = "");
// A new repository at `path` holding the sample model, then `changes_sql`.
void CreateSampleRepository(const std::string& path, const std::string& changes_sql = "");

using Rows = std::vector<std::vector<std::string>>;
// Every row of the query, each value as text ("NULL" for NULL).
Rows QueryRows(const std::string& path, const std::string& sql);
// Every row of every table, ordered by rowid, for before/after comparisons
// (of a Jet file: as DumpJetDatabase reads it).
Rows DumpDatabase(const std::string& path);

}  // namespace testing_support
