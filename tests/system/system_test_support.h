// Helpers shared by the in-process tests of RepositoryDatabase and
// ReconsiderTagger: a fixture with a scratch folder, the lines the operations
// print, and the heap texts and IdLists they hand back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "com/com_error.h"
#include "repository/repository_database.h"
#include "support/com_test.h"
#include "support/sqlite_file.h"
#include "support/stdout_capture.h"
#include "support/temp_dir.h"

namespace system_testing {

using platform::HRESULT;

// The line Open prints for a failure: the bare message text.
inline std::string BareLine(HRESULT code) {
  return std::string(platform::ComError(code).ErrorMessage()) + "\n";
}

// The line every other operation prints for a failure.
inline std::string ErrLine(HRESULT code) {
  return "Err :: " + std::string(platform::ComError(code).ErrorMessage()) + "\n";
}

// Takes over a heap text handed back by the code under test.
inline std::optional<std::string> TakeText(char* text) {
  if (text == nullptr) return std::nullopt;
  std::string copy(text);
  std::free(text);
  return copy;
}

// What a call handed back, and what it printed meanwhile.
template <class Value>
struct Outcome {
  Value value;
  std::string printed;
};

// Runs `call` with standard output captured.
template <class Call>
auto Capture(Call&& call) {
  testing_support::StdoutCapture capture;
  auto value = call();
  return Outcome<decltype(value)>{std::move(value), capture.Finish()};
}

// The same for a call that hands back a heap text.
template <class Call>
Outcome<std::optional<std::string>> CaptureText(Call&& call) {
  testing_support::StdoutCapture capture;
  char* text = call();
  std::string printed = capture.Finish();
  return {TakeText(text), std::move(printed)};
}

// What a call that hands back nothing printed.
template <class Call>
std::string PrintedBy(Call&& call) {
  testing_support::StdoutCapture capture;
  call();
  return capture.Finish();
}

inline std::vector<std::string> SplitIds(const std::string& list) {
  std::vector<std::string> ids;
  std::stringstream stream(list);
  std::string id;
  while (std::getline(stream, id, ',')) ids.push_back(id);
  return ids;
}

// True for a well-formed IdList: one or more base-10 ids, each with an
// optional minus sign, joined by single commas.
inline bool IsIdList(const std::string& text) {
  if (text.empty()) return false;
  // The added comma keeps a trailing empty id from being dropped.
  for (const std::string& id : SplitIds(text + ",")) {
    std::size_t digits = id.size() > 0 && id[0] == '-' ? 1 : 0;
    if (digits == id.size()) return false;
    for (; digits < id.size(); ++digits) {
      if (id[digits] < '0' || id[digits] > '9') return false;
    }
  }
  return true;
}

// The ids of a list as a sorted multiset, for results whose row order is the
// engine's.
inline std::vector<std::string> IdMultiset(const std::optional<std::string>& list) {
  if (!list) return {};
  std::vector<std::string> ids = SplitIds(*list);
  std::sort(ids.begin(), ids.end());
  return ids;
}

inline std::vector<std::string> Sorted(std::vector<std::string> ids) {
  std::sort(ids.begin(), ids.end());
  return ids;
}

// Checks a breadth-first package list: the ids come in `levels`, in order,
// each level in any order.
inline ::testing::AssertionResult HoldsLevels(const std::optional<std::string>& list,
                                              const std::vector<std::vector<std::string>>& levels) {
  if (!list) return ::testing::AssertionFailure() << "the list is null";
  const std::vector<std::string> ids = SplitIds(*list);
  std::size_t size = 0;
  for (const auto& level : levels) size += level.size();
  if (ids.size() != size) {
    return ::testing::AssertionFailure() << "\"" << *list << "\" holds " << ids.size()
                                         << " ids, expected " << size;
  }
  auto next = ids.begin();
  for (std::size_t depth = 0; depth < levels.size(); ++depth) {
    const auto level_end = next + static_cast<std::ptrdiff_t>(levels[depth].size());
    if (Sorted(std::vector<std::string>(next, level_end)) != Sorted(levels[depth])) {
      return ::testing::AssertionFailure() << "\"" << *list << "\" differs at level " << depth;
    }
    next = level_end;
  }
  return ::testing::AssertionSuccess();
}

// Names a parameterised case after its `name` field.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& case_info) const {
    return case_info.param.name;
  }
};

// A test between CoInitialize and CoUninitialize, with a scratch folder for
// its repository files.
class RepositoryTest : public testing_support::ComTest {
 protected:
  // A repository of the shared schema holding `rows_sql`.
  std::string MakeRepository(const std::string& rows_sql, const std::string& name = "repo.sqlite") {
    const std::string path = dir_.File(name);
    testing_support::CopyFile(EmptyRepository(), path);
    ApplyInOneTransaction(path, rows_sql);
    return path;
  }
  // A SQLite file holding only what `sql` makes.
  std::string MakeDatabase(const std::string& sql, const std::string& name = "plain.sqlite") {
    const std::string path = dir_.File(name);
    ApplyInOneTransaction(path, sql);
    return path;
  }
  // A copy of the sample model with `changes_sql` applied.
  std::string MakeSample(const std::string& changes_sql = "", const std::string& name = "sample.sqlite") {
    const std::string path = dir_.File(name);
    testing_support::CopyFile(testing_support::FixturePath("repositories/sample.sqlite"), path);
    ApplyInOneTransaction(path, changes_sql);
    return path;
  }

  // Opens `database` on `path`; the open must succeed without a line.
  template <class Database>
  void OpenQuietly(Database& database, const std::string& path) {
    const auto opened = Capture([&] { return database.Open(path.c_str()); });
    ASSERT_EQ(opened.value, reconsider::kOpenSucceeded) << opened.printed;
    ASSERT_EQ(opened.printed, "");
  }

  testing_support::TempDir dir_;

 private:
  // The shared schema without rows, made once per test program: making it
  // afresh for every test costs a sync per statement.
  static const std::string& EmptyRepository() {
    static testing_support::TempDir folder;
    static const std::string path = [] {
      const std::string made = folder.File("empty.sqlite");
      testing_support::CreateRepository(made);
      return made;
    }();
    return path;
  }
  static void ApplyInOneTransaction(const std::string& path, const std::string& sql) {
    if (!sql.empty()) testing_support::ExecuteSql(path, "begin;\n" + sql + "\ncommit;");
  }
};

}  // namespace system_testing
