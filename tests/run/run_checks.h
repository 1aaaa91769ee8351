// Helpers for the end-to-end runs: building small repositories row by row,
// comparing printed lines where the engine decides the order of ids, and
// checking what a run left in the repository file.
#pragma once

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/jet_file.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace run_checks {

using testing_support::ProcessResult;
using testing_support::Rows;

// The sample model's run.
inline const std::string kSampleGuid = "{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}";
inline const std::vector<std::string> kSampleLines = {kSampleGuid, "2|3,6|4,5,7|9", "110,111",
                                                      "200,205,201,200"};

// In an expected line list: any "Err :: " line with a message after it.
inline const std::string kErrorLine = "Err :: ";

// ---------------------------------------------------------------------------
// Rows for hand-built repositories on the shared schema.

inline std::string SqlText(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

inline std::string SqlTextOrNull(const char* text) { return text == nullptr ? "NULL" : SqlText(text); }

// A package; an empty `guid` leaves ov_guid NULL.
inline std::string Package(std::int64_t id, std::int64_t parent, const std::string& guid = "") {
  return "insert into t_package (package_id, name, parent_id, ov_guid) values (" + std::to_string(id) +
         ", 'Package " + std::to_string(id) + "', " + std::to_string(parent) + ", " +
         (guid.empty() ? std::string("NULL") : SqlText(guid)) + ");\n";
}

// An element of `type` (NULL for nullptr) in `package`.
inline std::string Element(std::int64_t id, const char* type, std::int64_t package,
                           const std::string& tagged = "0", const std::string& name = "") {
  return "insert into t_object (object_id, object_type, name, package_id, tagged) values (" +
         std::to_string(id) + ", " + SqlTextOrNull(type) + ", " +
         SqlText(name.empty() ? "Element " + std::to_string(id) : name) + ", " + std::to_string(package) +
         ", " + tagged + ");\n";
}

inline std::string Requirement(std::int64_t id, std::int64_t package) {
  return Element(id, "Requirement", package);
}

inline std::string Class(std::int64_t id, std::int64_t package) { return Element(id, "Class", package); }

inline std::string TaggedValue(std::int64_t object, const std::string& property, const char* value) {
  return "insert into t_objectproperties (object_id, property, value) values (" + std::to_string(object) +
         ", " + SqlText(property) + ", " + SqlTextOrNull(value) + ");\n";
}

inline std::string Flag(std::int64_t object) { return TaggedValue(object, "IsReconsider", "True"); }

// The marker element (id 1, in no package of the model) naming the root.
inline std::string Marker(const std::string& root_guid) {
  return Element(1, "Text", 0, "0", "##MorlaneInfo##") + TaggedValue(1, "RootPackageID", root_guid.c_str());
}

inline std::string Connector(std::int64_t from, std::int64_t to, const char* type = "Realisation",
                             const char* direction = "Source -> Destination") {
  return "insert into t_connector (connector_type, direction, start_object_id, end_object_id) values (" +
         SqlTextOrNull(type) + ", " + SqlTextOrNull(direction) + ", " + std::to_string(from) + ", " +
         std::to_string(to) + ");\n";
}

inline std::string Realises(std::int64_t from, std::int64_t to) { return Connector(from, to); }

// ---------------------------------------------------------------------------
// Printed lines.

inline std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

inline std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : separator) + parts[i];
  return text;
}

inline bool IsErrorLine(const std::string& line) {
  return line.size() > kErrorLine.size() && line.compare(0, kErrorLine.size(), kErrorLine) == 0;
}

// The number of result lines (not error lines) in an expected run.
inline std::size_t ResultLineCount(const std::vector<std::string>& lines) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [](const std::string& line) { return line != kErrorLine; }));
}

namespace detail {

inline std::string SortedIds(const std::vector<std::string>& ids) {
  std::vector<std::string> sorted = ids;
  std::sort(sorted.begin(), sorted.end());
  return Join(sorted, ",");
}

// `actual`'s package list cut into levels of the sizes `expected` gives
// ("2|3,6|4,5,7|9"), each level sorted; `expected` itself the same way.
inline std::string PackageLevels(const std::string& line, const std::vector<std::size_t>& sizes) {
  const std::vector<std::string> ids = Split(line, ',');
  std::size_t total = 0;
  for (std::size_t size : sizes) total += size;
  if (total != ids.size()) return line;  // left as printed: the comparison fails
  std::vector<std::string> levels;
  std::size_t start = 0;
  for (std::size_t size : sizes) {
    levels.push_back(SortedIds(std::vector<std::string>(ids.begin() + static_cast<std::ptrdiff_t>(start),
                                                        ids.begin() + static_cast<std::ptrdiff_t>(start + size))));
    start += size;
  }
  return Join(levels, "|");
}

}  // namespace detail

// Compares printed lines with expected ones. In `expected`, the package list
// (second line) marks its levels with '|' and may list each level in any
// order; the third and fourth lines compare as multisets; kErrorLine stands
// for any "Err :: " line.
inline ::testing::AssertionResult LinesMatch(const std::vector<std::string>& expected,
                                             const std::vector<std::string>& actual) {
  bool same = expected.size() == actual.size();
  for (std::size_t i = 0; same && i < expected.size(); ++i) {
    if (expected[i] == kErrorLine) {
      same = IsErrorLine(actual[i]);
    } else if (IsErrorLine(actual[i])) {
      same = false;
    } else if (i == 1) {
      std::vector<std::size_t> sizes;
      std::vector<std::string> expected_levels;
      for (const std::string& level : Split(expected[i], '|')) {
        sizes.push_back(Split(level, ',').size());
        expected_levels.push_back(detail::SortedIds(Split(level, ',')));
      }
      same = detail::PackageLevels(actual[i], sizes) == Join(expected_levels, "|");
    } else if (i == 2 || i == 3) {
      same = detail::SortedIds(Split(actual[i], ',')) == detail::SortedIds(Split(expected[i], ','));
    } else {
      same = actual[i] == expected[i];
    }
  }
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "expected lines\n  " << Join(expected, "\n  ") << "\nprinted\n  "
                                       << Join(actual, "\n  ");
}

// ---------------------------------------------------------------------------
// The repository file after a run.

inline std::size_t ColumnIndex(const std::string& path, const std::string& table, const std::string& column) {
  if (testing_support::IsJetFile(path)) {
    const std::vector<std::string> columns = testing_support::JetColumns(path, table);
    const auto found = std::find(columns.begin(), columns.end(), column);
    if (found == columns.end()) throw std::runtime_error(table + "." + column + " is missing");
    return static_cast<std::size_t>(found - columns.begin());
  }
  const Rows found = testing_support::QueryRows(
      path, "select cid from pragma_table_info(" + SqlText(table) + ") where name = " + SqlText(column));
  if (found.size() != 1) throw std::runtime_error(table + "." + column + " is missing");
  return static_cast<std::size_t>(std::stoul(found[0][0]));
}

// `before` (a DumpDatabase of `path`) as it should read once the elements
// `ids` are tagged: `tagged` = 1 on their t_object rows, nothing else changed.
inline Rows DumpWithTagged(const Rows& before, const std::string& path, const std::vector<std::string>& ids) {
  // DumpDatabase puts the table name before the columns.
  const std::size_t id_column = ColumnIndex(path, "t_object", "object_id") + 1;
  const std::size_t tagged_column = ColumnIndex(path, "t_object", "tagged") + 1;
  const std::set<std::string> wanted(ids.begin(), ids.end());
  Rows after = before;
  for (std::vector<std::string>& row : after) {
    if (row[0] == "t_object" && wanted.count(row[id_column]) != 0) row[tagged_column] = "1";
  }
  return after;
}

inline std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// What one run on a repository should give.
struct Expectation {
  std::vector<std::string> lines;
  int status;
};

// Runs the tool with `arguments` (the repository `path` first) and checks the
// lines, the status, an empty standard error, and the file afterwards: after a
// successful run `tagged` = 1 on the realisers of the fourth line and nothing
// else changed; after any other run no data changed; a run that ended before
// the update left the file byte for byte as it was; and no file beside the
// repository appeared or stayed behind (a journal, say).
inline void ExpectRun(const std::string& path, const Expectation& expected,
                      std::vector<std::string> arguments = {}) {
  const std::string folder = std::filesystem::path(path).parent_path().string();
  const Rows before = testing_support::DumpDatabase(path);
  const std::string bytes_before = testing_support::ReadFileBytes(path);
  const std::set<std::string> entries_before = FolderEntries(folder);

  if (arguments.empty()) arguments.push_back(path);
  const ProcessResult result = testing_support::RunTool(arguments);

  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, expected.status);
  EXPECT_TRUE(LinesMatch(expected.lines, result.Lines()));
  if (!result.standard_output.empty()) {
    EXPECT_EQ(result.standard_output.back(), '\n') << "the last line is cut off";
  }
  EXPECT_EQ(FolderEntries(folder), entries_before);

  const bool succeeded = expected.status == 0 && expected.lines.size() == 4;
  Rows after = testing_support::DumpDatabase(path);
  if (succeeded) {
    Rows tagged = DumpWithTagged(before, path, Split(expected.lines[3], ','));
    if (testing_support::IsJetFile(path)) {
      // A Jet file's rows have no order of their own to compare.
      std::sort(tagged.begin(), tagged.end());
      std::sort(after.begin(), after.end());
    }
    EXPECT_EQ(after, tagged);
  } else {
    EXPECT_EQ(after, before);
  }
  if (ResultLineCount(expected.lines) < 4) {
    EXPECT_TRUE(testing_support::ReadFileBytes(path) == bytes_before) << "a run that wrote nothing changed the file";
  }
}

// ---------------------------------------------------------------------------
// Surroundings of a run.

// Changes the working folder for the life of the object.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& folder) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
  }
  ~WorkingFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

// Another connection holding a lock on the repository until destroyed:
// "begin immediate" lets others read but not write, "begin exclusive" shuts
// them out. Nothing is written; the transaction is rolled back at the end.
// While it is held, nothing else in this process may open and close the file
// (ReadFileBytes, say): closing any descriptor of a file drops every lock the
// process holds on it.
class HeldLock {
 public:
  HeldLock(const std::string& path, const char* begin_statement) {
    if (sqlite3_open_v2(path.c_str(), &handle_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
        sqlite3_exec(handle_, begin_statement, nullptr, nullptr, nullptr) != SQLITE_OK) {
      const std::string message = sqlite3_errmsg(handle_);
      sqlite3_close_v2(handle_);
      throw std::runtime_error("cannot lock " + path + ": " + message);
    }
  }
  ~HeldLock() {
    sqlite3_exec(handle_, "rollback", nullptr, nullptr, nullptr);
    sqlite3_close_v2(handle_);
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;

 private:
  sqlite3* handle_ = nullptr;
};

inline bool RunningAsRoot() { return ::geteuid() == 0; }

// gtest names for parameterised cases: the case's name field.
struct CaseName {
  template <typename Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
    return info.param.name;
  }
};

}  // namespace run_checks
