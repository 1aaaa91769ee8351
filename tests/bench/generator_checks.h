// Helpers for the tests of make-bench-repository: running the built
// generator, and reading single figures out of the files it writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/sqlite_file.h"

namespace generator_checks {

// Large enough for the full package tree depth and stable shares, small
// enough to write in a fraction of a second.
inline constexpr std::int64_t kModelSize = 20000;

inline testing_support::ProcessResult RunGenerator(const std::vector<std::string>& arguments) {
  return testing_support::RunProcess(RECONSIDER_GENERATOR_PATH, arguments);
}

// Writes a model of `elements` elements at `path`; fails when the generator
// does not succeed quietly.
inline ::testing::AssertionResult Generate(std::int64_t elements, const std::string& path,
                                           const std::vector<std::string>& options = {}) {
  std::vector<std::string> arguments = {std::to_string(elements), path};
  arguments.insert(arguments.end(), options.begin(), options.end());
  const testing_support::ProcessResult result = RunGenerator(arguments);
  if (result.exit_status == 0 && result.standard_error.empty() && result.standard_output.empty()) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "make-bench-repository exited with " << result.exit_status
                                       << " (signal " << result.signal << "): " << result.standard_error;
}

// The one value the query returns, as text.
inline std::string QueryValue(const std::string& path, const std::string& sql) {
  const testing_support::Rows rows = testing_support::QueryRows(path, sql);
  if (rows.size() != 1 || rows[0].size() != 1) {
    ADD_FAILURE() << "expected one value from: " << sql;
    return "";
  }
  return rows[0][0];
}

inline double QueryNumber(const std::string& path, const std::string& sql) {
  return std::stod(QueryValue(path, sql));
}

inline std::set<std::string> FolderEntries(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// gtest names for parameterised cases: the case's name field.
struct CaseName {
  template <typename Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
    return info.param.name;
  }
};

}  // namespace generator_checks
