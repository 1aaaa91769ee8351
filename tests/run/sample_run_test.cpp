// The tool on the sample repository, end to end.
#include <gtest/gtest.h>

#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;

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

}  // namespace
