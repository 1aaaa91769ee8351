// Runs that cannot open a repository: no argument, or a path that names no
// file the tool reads. Each prints at most the bare message line (no
// "Err :: "), ends with status 1, and leaves what the path names untouched.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <cstdio>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>

#include "run/run_checks.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace run_checks;

TEST(OpenFailure, NoArgumentPrintsNothing) {
  const ProcessResult result = RunTool({});
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_output, "");
  EXPECT_EQ(result.standard_error, "");
}

struct UnopenableCase {
  std::string name;
  // Makes what the path names inside `dir` and returns the path.
  std::function<std::string(const TempDir& dir)> make;
  // A phrase the message must hold, which tells this cause from the others.
  std::string message_part;
  friend void PrintTo(const UnopenableCase& value, std::ostream* out) { *out << value.name; }
};

std::string WriteFile(const TempDir& dir, const std::string& name, const std::string& bytes) {
  const std::string path = dir.File(name);
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) throw std::runtime_error("cannot write " + path);
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return path;
}

std::string CopyOf(const TempDir& dir, const std::string& fixture, const std::string& name) {
  const std::string path = dir.File(name);
  CopyFile(FixturePath(fixture), path);
  return path;
}

std::string SampleBytes() { return ReadFileBytes(FixturePath("repositories/sample.sqlite")); }

class Unopenable : public ::testing::TestWithParam<UnopenableCase> {};

TEST_P(Unopenable, OneBareMessageLineAndStatusOne) {
  TempDir dir;
  const std::string path = GetParam().make(dir);
  const bool is_file = std::filesystem::is_regular_file(path);
  const std::string bytes_before = is_file ? ReadFileBytes(path) : "";
  const std::set<std::string> entries_before = FolderEntries(dir.Path());

  const ProcessResult result = RunTool({path});

  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "");
  const std::vector<std::string> lines = result.Lines();
  ASSERT_EQ(lines.size(), 1u) << result.standard_output;
  EXPECT_EQ(lines[0].rfind("Err :: ", 0), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find(GetParam().message_part), std::string::npos) << lines[0];
  EXPECT_EQ(result.standard_output.back(), '\n');
  if (is_file) {
    EXPECT_TRUE(ReadFileBytes(path) == bytes_before) << "the file was changed";
  }
  EXPECT_EQ(FolderEntries(dir.Path()), entries_before);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, Unopenable,
    ::testing::Values(
        UnopenableCase{"MissingFile", [](const TempDir& dir) { return dir.File("missing.sqlite"); },
                       "cannot be found"},
        UnopenableCase{"MissingFolder",
                       [](const TempDir& dir) { return dir.File("no such folder/missing.sqlite"); },
                       "cannot be found"},
        UnopenableCase{"FileUsedAsFolder",
                       [](const TempDir& dir) {
                         return CopyOf(dir, "repositories/sample.sqlite", "sample.sqlite") + "/inner.sqlite";
                       },
                       "folder"},
        UnopenableCase{"EmptyPath", [](const TempDir&) { return std::string(); }, "cannot be found"},
        UnopenableCase{"Folder",
                       [](const TempDir& dir) {
                         std::filesystem::create_directory(dir.File("repository.sqlite"));
                         return dir.File("repository.sqlite");
                       },
                       "folder"},
        UnopenableCase{"TextFile",
                       [](const TempDir& dir) {
                         return WriteFile(dir, "notes.sqlite", "Online Shop model, see the wiki.\n");
                       },
                       "format"},
        UnopenableCase{"EmptyFile", [](const TempDir& dir) { return WriteFile(dir, "empty.sqlite", ""); },
                       "format"},
        UnopenableCase{"SqliteHeaderThenGarbage",
                       [](const TempDir& dir) {
                         return WriteFile(dir, "garbage.sqlite",
                                          std::string("SQLite format 3\0", 16) + std::string(4080, '\x5a'));
                       },
                       "format"},
        UnopenableCase{"TruncatedSqlite",
                       [](const TempDir& dir) {
                         return WriteFile(dir, "truncated.sqlite", SampleBytes().substr(0, 20000));
                       },
                       "damaged"},
        UnopenableCase{"AceFile",
                       [](const TempDir& dir) {
                         return CopyOf(dir, "third-party/ace-sample.accdb", "ace-sample.accdb");
                       },
                       "format"},
        // Damaged Jet files met at the open: one line, never a hang.
        UnopenableCase{"EmptyJetFile", [](const TempDir& dir) { return CopyOf(dir, "damaged/open-empty.mdb", "e.mdb"); },
                       "format"},
        UnopenableCase{"JetHeaderOnly",
                       [](const TempDir& dir) { return CopyOf(dir, "damaged/open-cut-header.mdb", "h.mdb"); },
                       "damaged"},
        UnopenableCase{"TextNamedMdb", [](const TempDir& dir) { return CopyOf(dir, "damaged/open-text.mdb", "t.mdb"); },
                       "format"},
        UnopenableCase{"UnknownJetVersion",
                       [](const TempDir& dir) { return CopyOf(dir, "damaged/open-version-unknown.mdb", "u.mdb"); },
                       "format"},
        UnopenableCase{"AceVersionWithJetSignature",
                       [](const TempDir& dir) { return CopyOf(dir, "damaged/open-version-ace.mdb", "a.mdb"); },
                       "format"},
        UnopenableCase{"GarbledCatalogDefinition",
                       [](const TempDir& dir) {
                         return CopyOf(dir, "damaged/open-msysobjects-garbage.mdb", "g.mdb");
                       },
                       "damaged"},
        UnopenableCase{"JetFileCutShort",
                       [](const TempDir& dir) { return CopyOf(dir, "damaged/open-truncated.mdb", "c.mdb"); },
                       "damaged"},
        UnopenableCase{"CatalogPropertyChainLoop",
                       [](const TempDir& dir) {
                         return CopyOf(dir, "damaged/open-catalog-property-loop.mdb", "l.mdb");
                       },
                       "damaged"},
        UnopenableCase{"DanglingLink",
                       [](const TempDir& dir) {
                         std::filesystem::create_symlink("gone.sqlite", dir.File("current.sqlite"));
                         return dir.File("current.sqlite");
                       },
                       "cannot be found"},
        UnopenableCase{"LinkToAFolder",
                       [](const TempDir& dir) {
                         std::filesystem::create_directory(dir.File("models"));
                         std::filesystem::create_directory_symlink("models", dir.File("current.sqlite"));
                         return dir.File("current.sqlite");
                       },
                       "folder"},
        UnopenableCase{"NamedPipe",
                       [](const TempDir& dir) {
                         // Opening a pipe nobody writes to must not hang the run.
                         const std::string path = dir.File("pipe.sqlite");
                         if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed");
                         return path;
                       },
                       "format"}),
    CaseName());

// Root reads any file, so this run means nothing as root.
TEST(OpenFailure, AFileTheUserMayNotReadIsDenied) {
  if (RunningAsRoot()) GTEST_SKIP() << "root reads files without read permission";
  TempDir dir;
  const std::string path = dir.File("sample.sqlite");
  CopyFile(FixturePath("repositories/sample.sqlite"), path);
  const std::string bytes_before = ReadFileBytes(path);
  ASSERT_EQ(::chmod(path.c_str(), 0200), 0);

  const ProcessResult result = RunTool({path});

  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "");
  ASSERT_EQ(result.Lines().size(), 1u) << result.standard_output;
  EXPECT_FALSE(IsErrorLine(result.Lines()[0]));
  EXPECT_NE(result.Lines()[0].find("denied"), std::string::npos) << result.Lines()[0];
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  EXPECT_TRUE(ReadFileBytes(path) == bytes_before) << "the file was changed";
}

}  // namespace
