// The tool on Jet repository files, end to end: the stored fixtures in both
// Jet formats, damaged files met at each step, changes the file cannot take
// in place, Jet's way of comparing texts, and one run at a time.
#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "provider/jet/jet_file.h"
#include "provider/jet/rollback_journal.h"
#include "run/run_checks.h"
#include "support/jet_file.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace run_checks;

const std::string& G = kSampleGuid;
const std::string& P = kSampleLines[1];
const std::string& F = kSampleLines[2];
const std::string& E = kErrorLine;

// The positions at which two files of the same length differ.
std::vector<std::size_t> DifferingBytes(const std::string& before, const std::string& after) {
  std::vector<std::size_t> positions;
  for (std::size_t i = 0; i < before.size() && i < after.size(); ++i) {
    if (before[i] != after[i]) positions.push_back(i);
  }
  return positions;
}

// ---------------------------------------------------------------------------
// The stored sample in both formats, plain and with moved rows.

class JetFixtureRuns : public ::testing::TestWithParam<std::string> {};

TEST_P(JetFixtureRuns, PrintTheSampleLinesAndChangeOnlyTheTaggedBytes) {
  TempDir dir;
  const std::string path = dir.File("repository.mdb");
  CopyFile(FixturePath("repositories/" + GetParam()), path);
  const std::string before = ReadFileBytes(path);
  ExpectRun(path, {kSampleLines, 0});
  const std::string after = ReadFileBytes(path);
  ASSERT_EQ(after.size(), before.size());
  // 0 becomes 1 in the low byte of three Long values: three bytes in all.
  EXPECT_EQ(DifferingBytes(before, after).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Fixtures, JetFixtureRuns,
                         ::testing::Values("sample.mdb", "pages.mdb", "sample-jet3.mdb", "pages-jet3.mdb"),
                         [](const ::testing::TestParamInfo<std::string>& case_info) {
                           std::string name;
                           for (const char c : case_info.param) {
                             if (std::isalnum(static_cast<unsigned char>(c))) name += c;
                           }
                           return name;
                         });

// ---------------------------------------------------------------------------
// Damaged files: one line at the step that meets the damage, nothing on
// standard error, the file unchanged.

struct DamagedCase {
  std::string file;
  std::vector<std::string> lines;
  int status;
  friend void PrintTo(const DamagedCase& value, std::ostream* out) { *out << value.file; }
};

class DamagedJetFiles : public ::testing::TestWithParam<DamagedCase> {};

TEST_P(DamagedJetFiles, EndAtTheStepThatMeetsTheDamage) {
  TempDir dir;
  const std::string path = dir.File("repository.mdb");
  CopyFile(FixturePath("damaged/" + GetParam().file), path);
  const std::string before = ReadFileBytes(path);
  const ProcessResult result = RunTool({path});
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, GetParam().status);
  EXPECT_TRUE(LinesMatch(GetParam().lines, result.Lines()));
  const std::string after = ReadFileBytes(path);
  if (GetParam().status == 0) {
    EXPECT_EQ(DifferingBytes(before, after).size(), 3u) << "only the three tags change";
  } else {
    EXPECT_TRUE(after == before) << "the run changed a damaged file";
  }
  EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"repository.mdb"}));
}

INSTANTIATE_TEST_SUITE_P(
    Steps, DamagedJetFiles,
    ::testing::Values(DamagedCase{"step1-object-row-offset.mdb", {E}, 1},
                      DamagedCase{"step1-property-var-offsets.mdb", {E}, 1},
                      DamagedCase{"step2-package-column-count.mdb", {G, E}, 1},
                      DamagedCase{"step2-package-usage-map.mdb", {G, E}, 1},
                      DamagedCase{"step4-connector-row-loop.mdb", {G, P, F, E}, 1},
                      DamagedCase{"step4-connector-tdef-loop.mdb", {G, P, F, E}, 1},
                      // The damage lies in a column no statement reads.
                      DamagedCase{"memo-pointer-nowhere.mdb", kSampleLines, 0}),
    [](const ::testing::TestParamInfo<DamagedCase>& case_info) {
      std::string name;
      for (const char c : case_info.param.file.substr(0, case_info.param.file.size() - 4)) {
        if (std::isalnum(static_cast<unsigned char>(c))) name += c;
      }
      return name;
    });

// ---------------------------------------------------------------------------
// Models made here and converted: Jet's text comparison, moved rows, late
// columns, and updates the file cannot take in place.

const std::string kRoot = "{5B0C2D8E-1F3A-4E6B-9C7D-0A1B2C3D4E5F}";

struct ConvertedCase {
  std::string name;
  std::string sql;                   // after the schema
  std::vector<std::string> options;  // for the converter
  Expectation expected;
  friend void PrintTo(const ConvertedCase& value, std::ostream* out) { *out << value.name; }
};

std::string SmallModel() {
  return Marker(kRoot) + Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) + Class(200, 10) +
         Realises(200, 100);
}

const ConvertedCase kConvertedCases[] = {
    {"TextsCompareWithoutRegardToCase",
     Marker(kRoot) + Package(10, 0, kRoot) + Requirement(100, 10) + TaggedValue(100, "isreconsider", "true") +
         Requirement(101, 10) + TaggedValue(101, "ISRECONSIDER", "TRUE") + Class(200, 10) +
         Connector(200, 100, "REALISATION", "source -> destination") + Element(201, "CLASS", 10) +
         Connector(201, 101, "realisation", "Source -> Destination") + Element(202, "requirement", 10) +
         Realises(202, 100),
     {},
     {{kRoot, "10", "100,101", "200,201"}, 0}},
    {"MarkerAndGuidInAnotherCase",
     Element(1, "Text", 0, "0", "##morlaneinfo##") + TaggedValue(1, "rootpackageid", "{5b0c2d8e-1f3a-4e6b-9c7d-0a1b2c3d4e5f}") +
         Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) + Class(200, 10) + Realises(200, 100),
     {},
     {{"{5b0c2d8e-1f3a-4e6b-9c7d-0a1b2c3d4e5f}", "10", "100", "200"}, 0}},
    {"MovedRowsEverywhere",
     SmallModel() + Class(201, 10) + Realises(201, 100) + Class(202, 10) + Realises(202, 100),
     {"--move-rows", "t_object:4", "--move-rows", "t_connector:2", "--move-rows", "t_objectproperties:1",
      "--move-rows", "t_package:1"},
     {{kRoot, "10", "100", "200,201,202"}, 0}},
    {"DeletedRowsBetweenLiveOnes",
     SmallModel() + Class(201, 10) + Realises(201, 100),
     {"--deleted-rows", "t_object:3", "--deleted-rows", "t_connector:2"},
     {{kRoot, "10", "100", "200,201"}, 0}},
    {"ColumnAddedAfterRowsTheRunReadsAnyway",
     SmallModel(),
     {"--late-column", "t_object.note:3"},
     {{kRoot, "10", "100", "200"}, 0}},
    {"TaggedAddedAfterTheRealiserWasWritten",
     // The realiser's row (the last by rowid) holds no room for the tag:
     // refused, nothing written.
     SmallModel(),
     {"--late-column", "t_object.tagged:3"},
     {{kRoot, "10", "100", "200", E}, 1}},
    {"TaggedAddedLaterButSetBeforeAlready",
     SmallModel() + Class(201, 10) + Realises(201, 100),
     {"--late-column", "t_object.tagged:2"},
     {{kRoot, "10", "100", "200,201"}, 0}},
    {"IndexedTaggedColumn",
     SmallModel() + "create index ix_object_tagged on t_object (tagged);\n",
     {},
     {{kRoot, "10", "100", "200", E}, 1}},
};

class ConvertedModels : public ::testing::TestWithParam<std::tuple<ConvertedCase, RepositoryFormat>> {};

TEST_P(ConvertedModels, RunAsJetReadsThem) {
  const auto& [model, format] = GetParam();
  TempDir dir;
  const std::string source = dir.File("model.sqlite");
  CreateRepository(source, "begin;\n" + model.sql + "commit;\n");
  const std::string path = dir.File("model.mdb");
  ConvertToJet(source, path, format, model.options);
  ExpectRun(path, model.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Models, ConvertedModels,
    ::testing::Combine(::testing::ValuesIn(kConvertedCases),
                       ::testing::Values(RepositoryFormat::kJet4, RepositoryFormat::kJet3)),
    [](const ::testing::TestParamInfo<std::tuple<ConvertedCase, RepositoryFormat>>& case_info) {
      return std::get<0>(case_info.param).name + FormatName(std::get<1>(case_info.param));
    });

// A tag column of text is variable-width: refused when the update is prepared.
TEST(JetRefusals, ATextTagColumnIsRefusedAndTheFileStaysAsItWas) {
  TempDir dir;
  const std::string source = dir.File("model.sqlite");
  const std::string schema = ReadFileBytes(FixturePath("repositories/schema.sql"));
  std::string text_schema = schema;
  const std::string integer_tag = "tagged        INTEGER DEFAULT 0";
  text_schema.replace(text_schema.find(integer_tag), integer_tag.size(), "tagged        VARCHAR(10)");
  ExecuteSql(source, text_schema + SmallModel());
  const std::string path = dir.File("model.mdb");
  ConvertToJet(source, path, RepositoryFormat::kJet4);
  ExpectRun(path, {{kRoot, "10", "100", "200", E}, 1});
}

// Tables and columns named in upper case match the statements' lower-case names.
TEST(JetNames, UpperCaseTableAndColumnNamesMatch) {
  TempDir dir;
  const std::string source = dir.File("model.sqlite");
  std::string schema = ReadFileBytes(FixturePath("repositories/schema.sql"));
  for (char& c : schema) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ExecuteSql(source, schema + SmallModel() + Class(201, 10) + Realises(201, 100));
  const std::string path = dir.File("model.mdb");
  ConvertToJet(source, path, RepositoryFormat::kJet4);
  ASSERT_EQ(JetColumns(path, "T_OBJECT").front(), "OBJECT_ID");
  const std::string before = ReadFileBytes(path);
  const ProcessResult result = RunTool({path});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_TRUE(LinesMatch({kRoot, "10", "100", "200,201"}, result.Lines()));
  EXPECT_EQ(DifferingBytes(before, ReadFileBytes(path)).size(), 2u);
}

// ---------------------------------------------------------------------------
// A commit cut short: the next run puts the file back before it reads.

// Forwards to the system, but ends the process at the first write into the
// repository file itself: the journal is complete, the file half written.
class DieAtFirstFileWrite final : public platform::provider::jet::CommitIo {
 public:
  explicit DieAtFirstFileWrite(int file) : file_(file) {}
  int Open(const char* path, int flags, mode_t mode) override { return System().Open(path, flags, mode); }
  ssize_t PRead(int fd, void* buffer, std::size_t length, off_t offset) override {
    return System().PRead(fd, buffer, length, offset);
  }
  ssize_t PWrite(int fd, const void* buffer, std::size_t length, off_t offset) override {
    const ssize_t written = System().PWrite(fd, buffer, length, offset);
    if (fd == file_) ::_exit(0);
    return written;
  }
  int FSync(int fd) override { return System().FSync(fd); }
  int FTruncate(int fd, off_t length) override { return System().FTruncate(fd, length); }
  int Close(int fd) override { return System().Close(fd); }
  int Unlink(const char* path) override { return System().Unlink(path); }
  int SyncFolderOf(const char* path) override { return System().SyncFolderOf(path); }

 private:
  static platform::provider::jet::CommitIo& System() { return platform::provider::jet::SystemCommitIo(); }
  int file_;
};

TEST(JetRecovery, ARunAfterAKilledCommitRestoresTheFileFirst) {
  namespace jet = platform::provider::jet;
  TempDir dir;
  const std::string path = dir.File("repository.mdb");
  CopyFile(FixturePath("repositories/sample.mdb"), path);
  const std::string original = ReadFileBytes(path);

  // A commit that scribbles over two data pages dies after its first write.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::unique_ptr<jet::JetFile> file;
    if (platform::Failed(jet::JetFile::Open(path, &file))) ::_exit(2);
    std::vector<jet::BytePatch> patches;
    for (const std::uint32_t page : {13u, 16u}) {
      for (std::uint16_t offset = 3000; offset < 3100; ++offset) patches.push_back({page, offset, 0xFF, 0xEE});
    }
    DieAtFirstFileWrite io(file->Descriptor());
    jet::CommitPatches(*file, patches, true, io);
    ::_exit(3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the commit did not die where it should";
  ASSERT_TRUE(std::filesystem::exists(path + "-journal"));
  ASSERT_FALSE(ReadFileBytes(path) == original);

  const ProcessResult result = RunTool({path});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_TRUE(LinesMatch(kSampleLines, result.Lines()));
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
  EXPECT_EQ(DifferingBytes(original, ReadFileBytes(path)).size(), 3u) << "the original plus the three tags";
}

// Another program that has the file open keeps a lock file beside it: the
// run reads, but refuses to write.
TEST(JetLocking, ALockFileOfAnotherProgramStopsTheUpdate) {
  TempDir dir;
  const std::string path = dir.File("repository.mdb");
  CopyFile(FixturePath("repositories/sample.mdb"), path);
  std::ofstream(dir.File("repository.ldb")) << "PC-01 Admin";
  const std::string before = ReadFileBytes(path);
  ExpectRun(path, {{G, P, F, kSampleLines[3], E}, 1});
  EXPECT_TRUE(ReadFileBytes(path) == before);
}

// ---------------------------------------------------------------------------
// One run at a time.

TEST(JetLocking, ARunWaitsForTheHolderThenFailsWithOneLine) {
  TempDir dir;
  const std::string path = dir.File("repository.mdb");
  CopyFile(FixturePath("repositories/sample.mdb"), path);
  const std::string before = ReadFileBytes(path);
  const int holder = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  const ProcessResult result = RunTool({path});
  ::close(holder);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "");
  ASSERT_EQ(result.Lines().size(), 1u);
  EXPECT_NE(result.Lines()[0].find("locked"), std::string::npos) << result.Lines()[0];
  EXPECT_TRUE(ReadFileBytes(path) == before);
  // Released, the file opens again.
  ExpectRun(path, {kSampleLines, 0});
}

}  // namespace
