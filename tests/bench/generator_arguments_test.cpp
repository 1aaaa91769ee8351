// make-bench-repository's command line: the smallest model it accepts, and
// wrong command lines and unwritable outputs, which must fail with one line
// on standard error and leave no file behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "bench/generator_checks.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace generator_checks;

constexpr int kFailed = 1;
constexpr int kUsage = 2;

// In a case's arguments, these stand for paths in the test's folder.
const std::string kOut = "OUT";          // a new file
const std::string kMissing = "MISSING";  // a file in a folder that does not exist
const std::string kFolder = "FOLDER";    // an existing folder

struct ArgumentCase {
  std::string name;
  std::vector<std::string> arguments;
  int status;
  friend void PrintTo(const ArgumentCase& value, std::ostream* out) { *out << value.name; }
};

const ArgumentCase kArgumentCases[] = {
    {"NoArguments", {}, kUsage},
    {"OnlyTheCount", {"20"}, kUsage},
    {"CountNotANumber", {"many", kOut}, kUsage},
    {"CountWithTrailingText", {"20x", kOut}, kUsage},
    {"CountWithSign", {"+20", kOut}, kUsage},
    {"NegativeCount", {"-20", kOut}, kUsage},
    {"CountBelowTen", {"9", kOut}, kUsage},
    {"CountAboveTheLargest", {"1000000001", kOut}, kUsage},
    {"CountBeyond64Bits", {"99999999999999999999", kOut}, kUsage},
    {"EmptyOutput", {"20", ""}, kUsage},
    {"ExtraArgument", {"20", kOut, "more"}, kUsage},
    {"UnknownOption", {"20", kOut, "--fast"}, kUsage},
    {"ShortUnknownOption", {"-v", "20", kOut}, kUsage},
    {"SeedWithoutValue", {"20", kOut, "--seed"}, kUsage},
    {"SeedNotANumber", {"20", kOut, "--seed", "x"}, kUsage},
    {"NegativeSeed", {"20", kOut, "--seed", "-1"}, kUsage},
    {"SeedBeyond64Bits", {"20", kOut, "--seed", "18446744073709551616"}, kUsage},
    {"SeedTwice", {"20", kOut, "--seed", "1", "--seed", "2"}, kUsage},
    {"OutputInAMissingFolder", {"20", kMissing}, kFailed},
    {"OutputIsAFolder", {"20", kFolder}, kFailed},
};

class GeneratorArguments : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(GeneratorArguments, FailWithOneLineAndLeaveNoFile) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder"));
  std::vector<std::string> arguments;
  for (const std::string& argument : GetParam().arguments) {
    if (argument == kOut) {
      arguments.push_back(dir.File("out.sqlite"));
    } else if (argument == kMissing) {
      arguments.push_back(dir.File("missing/out.sqlite"));
    } else if (argument == kFolder) {
      arguments.push_back(dir.File("folder"));
    } else {
      arguments.push_back(argument);
    }
  }
  const ProcessResult result = RunGenerator(arguments);
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, GetParam().status);
  EXPECT_EQ(result.standard_output, "");
  ASSERT_FALSE(result.standard_error.empty());
  EXPECT_EQ(result.standard_error.find('\n'), result.standard_error.size() - 1) << result.standard_error;
  EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"folder"});
  EXPECT_TRUE(FolderEntries(dir.File("folder")).empty());
}

INSTANTIATE_TEST_SUITE_P(WrongCommandLines, GeneratorArguments, ::testing::ValuesIn(kArgumentCases), CaseName());

TEST(GeneratorArguments, SmallestModelWithTheOptionFirstAndTheLargestSeed) {
  TempDir dir;
  const std::string path = dir.File("small.sqlite");
  const ProcessResult result = RunGenerator({"--seed", "18446744073709551615", "10", path});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(FolderEntries(dir.Path()), std::set<std::string>{"small.sqlite"});
  EXPECT_EQ(QueryRows(path, "select package_id, name, parent_id from t_package order by package_id"),
            (Rows{{"1", "Model", "0"}, {"2", "System", "1"}, {"3", "Legacy", "1"}}));
  EXPECT_EQ(QueryRows(path, "select count(*), min(object_id), max(object_id) from t_object"),
            (Rows{{"10", "1", "10"}}));
  EXPECT_EQ(QueryRows(path, "select v.value = p.ov_guid from t_objectproperties v, t_package p "
                            "where v.object_id = 1 and v.property = 'RootPackageID' and p.package_id = 2"),
            (Rows{{"1"}}));
}

}  // namespace
