// Repository paths as the user types them: characters that mean something in
// connection texts or SQL, non-ASCII names, relative paths and links. Each
// run on a copy of the sample gives its four lines and tags its realisers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "run/run_checks.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace run_checks;

struct PathCase {
  std::string name;
  std::string relative;  // the repository's path inside the scratch folder
  friend void PrintTo(const PathCase& value, std::ostream* out) { *out << value.relative; }
};

const PathCase kPathCases[] = {
    {"Spaces", "my models/online shop.sqlite"},
    {"Semicolons", "a;b/repo;v2.sqlite"},
    {"ConnectionTextKeys", "x;Provider=Other;Data Source=y/repo;Data Source=z.sqlite"},
    {"SingleQuotes", "team's/shop's model.sqlite"},
    {"DoubleQuotes", "\"quoted\"/\"model\".sqlite"},
    {"NonAscii", "modèles/Straße ü €.sqlite"},
    {"NoExtension", "repository"},
    {"JetExtension", "repository.mdb"},  // the content, not the name, tells the format
    {"LeadingDash", "-shop.sqlite"},
};

// The path given in full, from the root folder down.
class AbsolutePaths : public ::testing::TestWithParam<PathCase> {};

TEST_P(AbsolutePaths, RunAsGiven) {
  TempDir dir;
  const std::filesystem::path path = std::filesystem::path(dir.Path()) / GetParam().relative;
  std::filesystem::create_directories(path.parent_path());
  CopyFile(FixturePath("repositories/sample.sqlite"), path.string());
  ExpectRun(path.string(), {kSampleLines, 0});
}

INSTANTIATE_TEST_SUITE_P(Names, AbsolutePaths, ::testing::ValuesIn(kPathCases), CaseName());

// The path relative to the working folder; some relative names look like the
// engine's special names (":memory:", "file:...") and must still name files.
struct RelativeCase {
  std::string name;
  std::string file;      // where the repository lies, inside the working folder
  std::string argument;  // the path given to the tool
  friend void PrintTo(const RelativeCase& value, std::ostream* out) { *out << value.argument; }
};

class RelativePaths : public ::testing::TestWithParam<RelativeCase> {};

TEST_P(RelativePaths, RunFromTheWorkingFolder) {
  TempDir dir;
  const std::filesystem::path file = std::filesystem::path(dir.Path()) / GetParam().file;
  std::filesystem::create_directories(file.parent_path());
  CopyFile(FixturePath("repositories/sample.sqlite"), file.string());
  const WorkingFolder working(dir.Path());
  ExpectRun(file.string(), {kSampleLines, 0}, {GetParam().argument});
}

INSTANTIATE_TEST_SUITE_P(
    Names, RelativePaths,
    ::testing::Values(RelativeCase{"BareName", "sample.sqlite", "sample.sqlite"},
                      RelativeCase{"DotSlash", "sample.sqlite", "./sample.sqlite"},
                      RelativeCase{"Subfolder", "models/sample.sqlite", "models/sample.sqlite"},
                      RelativeCase{"DotDot", "models/sample.sqlite", "models/../models/sample.sqlite"},
                      RelativeCase{"MemoryName", ":memory:", ":memory:"},
                      RelativeCase{"FileAddressName", "file:sample.sqlite", "file:sample.sqlite"},
                      RelativeCase{"SpacesAndSemicolon", "my models/a;b.sqlite", "my models/a;b.sqlite"}),
    CaseName());

TEST(LinkedPaths, ALinkRunsOnTheFileItNames) {
  TempDir dir;
  const std::string target = dir.File("sample.sqlite");
  const std::string link = dir.File("current.sqlite");
  CopyFile(FixturePath("repositories/sample.sqlite"), target);
  std::filesystem::create_symlink("sample.sqlite", link);
  ExpectRun(target, {kSampleLines, 0}, {link});
  EXPECT_TRUE(std::filesystem::is_symlink(link));
}

}  // namespace
