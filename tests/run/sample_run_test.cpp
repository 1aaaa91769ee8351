// The tool on the sample repository, end to end: the four lines, the tagging,
// repeated runs and extra arguments.
#include <gtest/gtest.h>

#include "run/run_checks.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace run_checks;

TEST(SampleRun, PrintsTheFourLinesAndTagsTheRealisers) {
  TempDir dir;
  const std::string path = dir.File("sample.sqlite");
  CopyFile(FixturePath("repositories/sample.sqlite"), path);
  const ProcessResult result = RunTool({path});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.Lines(), (std::vector<std::string>{"{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}",
                                                      "2,3,6,4,5,7,9", "110,111", "200,205,201,200"}));
  EXPECT_EQ(QueryRows(path, "select object_id from t_object where tagged = 1 order by object_id"),
            (Rows{{"112"}, {"200"}, {"201"}, {"205"}}));
}

// The same model from several sources: the stored file, the file the SQL
// makes here, the stored file whose tables span many pages (400 filler rows),
// the stored file switched to write-ahead logging, and files built with
// other storage settings. Each run prints the sample's lines, tags 200, 201
// and 205, changes nothing else and leaves no file behind.
struct SampleSource {
  std::string name;
  std::string source;   // a stored file, or "sample.sql" to build the file here
  std::string settings; // SQL run before the schema when building, or on the copy
  friend void PrintTo(const SampleSource& value, std::ostream* out) { *out << value.name; }
};

class SampleSources : public ::testing::TestWithParam<SampleSource> {};

TEST_P(SampleSources, RunTagsTheRealisersAndNothingElse) {
  TempDir dir;
  const std::string path = dir.File("repository.sqlite");
  const SampleSource& source = GetParam();
  if (source.source == "sample.sql") {
    // One batch, so that settings such as the text encoding come before the
    // first table.
    ExecuteSql(path, source.settings + "\n" + ReadFileBytes(FixturePath("repositories/schema.sql")) +
                         ReadFileBytes(FixturePath("repositories/sample.sql")));
  } else {
    CopyFile(FixturePath("repositories/" + source.source), path);
    if (!source.settings.empty()) ExecuteSql(path, source.settings);
  }
  ExpectRun(path, {kSampleLines, 0});
}

INSTANTIATE_TEST_SUITE_P(
    Repositories, SampleSources,
    ::testing::Values(SampleSource{"StoredSample", "sample.sqlite", ""},
                      SampleSource{"SampleMadeFromSql", "sample.sql", ""},
                      SampleSource{"StoredManyPages", "pages.sqlite", ""},
                      SampleSource{"WriteAheadLog", "sample.sqlite", "pragma journal_mode = wal;"},
                      SampleSource{"SmallPages", "sample.sql", "pragma page_size = 512;"}),
    CaseName());

// A SQLite file may keep its texts in UTF-16; the run must see the same
// texts as in a UTF-8 file. Disabled until text values are read through the
// engine's UTF-8 conversion: the run now prints the stored bytes up to the
// first zero byte as the GUID ("{" for UTF-16le, an empty line for
// UTF-16be), finds no package and ends with status 1.
INSTANTIATE_TEST_SUITE_P(
    TextEncodings, SampleSources,
    ::testing::Values(SampleSource{"Utf16LittleEndian", "sample.sql", "pragma encoding = 'UTF-16le';"},
                      SampleSource{"Utf16BigEndian", "sample.sql", "pragma encoding = 'UTF-16be';"}),
    CaseName());

TEST(SampleRun, ASecondRunPrintsTheSameLinesAndChangesNothingMore) {
  TempDir dir;
  const std::string path = dir.File("sample.sqlite");
  CopyFile(FixturePath("repositories/sample.sqlite"), path);
  const ProcessResult first = RunTool({path});
  const Rows after_first = DumpDatabase(path);
  const ProcessResult second = RunTool({path});

  EXPECT_EQ(first.exit_status, 0);
  EXPECT_EQ(second.exit_status, 0);
  EXPECT_EQ(second.standard_error, "");
  EXPECT_TRUE(LinesMatch(kSampleLines, first.Lines()));
  EXPECT_EQ(second.Lines(), first.Lines());
  EXPECT_EQ(DumpDatabase(path), after_first);
}

// Only the first argument names the repository; the others are ignored and
// their files left alone.
struct ExtraArgumentCase {
  std::string name;
  std::vector<std::string> extra;  // "{other}" stands for a second copy of the sample
  friend void PrintTo(const ExtraArgumentCase& value, std::ostream* out) { *out << value.name; }
};

class ExtraArguments : public ::testing::TestWithParam<ExtraArgumentCase> {};

TEST_P(ExtraArguments, OnlyTheFirstIsUsed) {
  TempDir dir;
  const std::string path = dir.File("first.sqlite");
  const std::string other = dir.File("other.sqlite");
  CopyFile(FixturePath("repositories/sample.sqlite"), path);
  CopyFile(FixturePath("repositories/sample.sqlite"), other);
  const std::string other_bytes = ReadFileBytes(other);

  std::vector<std::string> arguments{path};
  for (const std::string& argument : GetParam().extra) arguments.push_back(argument == "{other}" ? other : argument);
  ExpectRun(path, {kSampleLines, 0}, arguments);
  EXPECT_TRUE(ReadFileBytes(other) == other_bytes) << "the second repository was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ExtraArguments,
    ::testing::Values(ExtraArgumentCase{"AnotherRepository", {"{other}"}},
                      ExtraArgumentCase{"AMissingFile", {"/nonexistent/missing.sqlite"}},
                      ExtraArgumentCase{"SeveralMore", {"{other}", "--help", "", "{other}"}}),
    CaseName());

TEST(SampleRun, AMissingFirstArgumentIsNotReplacedByTheSecond) {
  TempDir dir;
  const std::string other = dir.File("other.sqlite");
  CopyFile(FixturePath("repositories/sample.sqlite"), other);
  const std::string other_bytes = ReadFileBytes(other);

  const ProcessResult result = RunTool({dir.File("missing.sqlite"), other});
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "");
  ASSERT_EQ(result.Lines().size(), 1u);
  EXPECT_FALSE(IsErrorLine(result.Lines()[0]));
  EXPECT_TRUE(ReadFileBytes(other) == other_bytes) << "the second repository was changed";
}

}  // namespace
