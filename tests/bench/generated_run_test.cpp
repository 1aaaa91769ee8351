// The tool on a generated repository, end to end: its lines must be what
// independent SQL finds in the file, and afterwards exactly the realising
// elements are tagged.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench/generator_checks.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace generator_checks;

// The root package named by the marker element, and every package below it.
const std::string kSubtree =
    "with recursive subtree(package_id) as ("
    " select package_id from t_package where ov_guid = (select v.value from t_objectproperties v"
    "  join t_object o on o.object_id = v.object_id"
    "  where o.name = '##MorlaneInfo##' and v.property = 'RootPackageID')"
    " union select p.package_id from t_package p join subtree s on p.parent_id = s.package_id) ";
// One row per flagging tagged value on an element in the subtree.
const std::string kFlagged = kSubtree +
    ", flagged(object_id) as (select o.object_id from t_object o join t_objectproperties v"
    " on v.object_id = o.object_id where v.property = 'IsReconsider' and v.value = 'True'"
    " and o.package_id in subtree) ";
// One row per connector by which an element that is not a requirement
// realises a flagged element.
const std::string kRealising = kFlagged +
    ", realising(object_id) as (select c.start_object_id from t_connector c join t_object o"
    " on o.object_id = c.start_object_id where c.connector_type = 'Realisation'"
    " and c.direction = 'Source -> Destination' and o.object_type <> 'Requirement'"
    " and c.end_object_id in (select object_id from flagged)) ";

std::vector<long long> SortedIds(const std::string& line) {
  std::vector<long long> ids;
  std::size_t start = 0;
  while (start <= line.size()) {
    const std::size_t end = std::min(line.find(',', start), line.size());
    ids.push_back(std::stoll(line.substr(start, end - start)));
    start = end + 1;
  }
  std::sort(ids.begin(), ids.end());
  return ids;
}

std::vector<long long> SortedIds(const Rows& rows) {
  std::vector<long long> ids;
  for (const std::vector<std::string>& row : rows) ids.push_back(std::stoll(row.at(0)));
  std::sort(ids.begin(), ids.end());
  return ids;
}

TEST(GeneratedRepositoryRun, LinesMatchTheModelAndOnlyRealisersAreTagged) {
  TempDir dir;
  const std::string path = dir.File("model.sqlite");
  ASSERT_TRUE(Generate(kModelSize, path, {"--seed", "7"}));
  const std::string root_guid = QueryValue(path, "select ov_guid from t_package where package_id = 2");
  const std::vector<long long> packages = SortedIds(QueryRows(path, kSubtree + "select package_id from subtree"));
  const std::vector<long long> flagged = SortedIds(QueryRows(path, kFlagged + "select object_id from flagged"));
  const std::vector<long long> realising =
      SortedIds(QueryRows(path, kRealising + "select object_id from realising"));
  // Enough of each for the comparison to mean something.
  ASSERT_GT(flagged.size(), 100u);
  ASSERT_GT(realising.size(), 100u);

  const ProcessResult result = RunTool({path});
  EXPECT_EQ(result.exit_status, 0);
  EXPECT_EQ(result.standard_error, "");
  const std::vector<std::string> lines = result.Lines();
  ASSERT_EQ(lines.size(), 4u) << result.standard_output;
  EXPECT_EQ(lines[0], root_guid);
  EXPECT_EQ(SortedIds(lines[1]), packages);
  EXPECT_EQ(SortedIds(lines[2]), flagged);
  EXPECT_EQ(SortedIds(lines[3]), realising);

  std::vector<long long> distinct_realising = realising;
  distinct_realising.erase(std::unique(distinct_realising.begin(), distinct_realising.end()),
                           distinct_realising.end());
  EXPECT_EQ(SortedIds(QueryRows(path, "select object_id from t_object where tagged = 1")), distinct_realising);
  EXPECT_EQ(QueryValue(path, "select count(*) from t_object where tagged not in (0, 1)"), "0");
}

}  // namespace
