// Jet repository files for tests: made from SQLite files with the shared
// converter, and read back with mdbtools' own commands, a reader independent
// of the tool's.
#pragma once

#include <string>
#include <vector>

#include "support/sqlite_file.h"

namespace testing_support {

enum class RepositoryFormat { kSqlite, kJet4, kJet3 };

const char* FormatName(RepositoryFormat format);
// The file name extension a repository of `format` gets.
const char* FormatExtension(RepositoryFormat format);

// Whether the file at `path` starts as a Jet database does.
bool IsJetFile(const std::string& path);

// Writes the SQLite repository `sqlite_path` as a Jet file `jet_path`
// (Jet 4, or Jet 3 for kJet3) with the converter's further `options`
// (--move-rows, --late-column, ...). Fails the test when it fails.
void ConvertToJet(const std::string& sqlite_path, const std::string& jet_path, RepositoryFormat format,
                  const std::vector<std::string>& options = {});

// The user tables of a Jet file, and the columns of one, as mdbtools reads them.
std::vector<std::string> JetTables(const std::string& path);
std::vector<std::string> JetColumns(const std::string& path, const std::string& table);

// Every row of every user table as mdb-export reads it, the table name
// first; within a table the rows are sorted (their order in a Jet file is
// the order of its pages). NULL and empty texts both read as "".
Rows DumpJetDatabase(const std::string& path);

}  // namespace testing_support
