// What make-bench-repository writes: the same bytes for the same size and
// seed, the shared schema exactly, and a model of the promised shape (the
// package tree, the mix of element types, tagged values, connectors and
// notes, and well-formed GUIDs and dates).
#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "bench/generator_checks.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace generator_checks;

// ---------------------------------------------------------------------------
// Determinism

TEST(GeneratedRepository, SameSizeAndSeedGiveTheSameBytes) {
  TempDir dir;
  const std::string first = dir.File("first.sqlite");
  const std::string second = dir.File("second.sqlite");
  const std::string seeded = dir.File("seeded.sqlite");
  // The second file replaces something that is not a repository at all.
  ExecuteSql(second, "create table leftover (x); insert into leftover values (1);");
  ASSERT_TRUE(Generate(kModelSize, first));
  ASSERT_TRUE(Generate(kModelSize, second));
  ASSERT_TRUE(Generate(kModelSize, seeded, {"--seed", "1"}));
  const std::string bytes = ReadFileBytes(first);
  EXPECT_TRUE(ReadFileBytes(second) == bytes) << "a second run wrote other bytes";
  EXPECT_TRUE(ReadFileBytes(seeded) == bytes) << "the default seed is not 1";
  EXPECT_EQ(FolderEntries(dir.Path()), (std::set<std::string>{"first.sqlite", "second.sqlite", "seeded.sqlite"}));
}

TEST(GeneratedRepository, AnotherSeedGivesAnotherModel) {
  TempDir dir;
  const std::string one = dir.File("one.sqlite");
  const std::string two = dir.File("two.sqlite");
  ASSERT_TRUE(Generate(kModelSize, one, {"--seed", "1"}));
  ASSERT_TRUE(Generate(kModelSize, two, {"--seed", "2"}));
  // Every part of the model changes, not only its GUIDs.
  for (const char* sql : {"select group_concat(parent_id) from t_package",
                          "select group_concat(object_type || package_id) from t_object",
                          "select group_concat(object_id || property || value) from t_objectproperties "
                          "where property <> 'RootPackageID'",
                          "select group_concat(start_object_id || connector_type || end_object_id) from t_connector",
                          "select group_concat(ov_guid) from t_package"}) {
    EXPECT_NE(QueryValue(one, sql), QueryValue(two, sql)) << sql;
  }
}

// ---------------------------------------------------------------------------
// Schema

// A schema statement with its layout taken out: runs of white space become
// one space, and none is kept next to brackets and commas.
std::string NormalisedSql(const std::string& sql) {
  std::string collapsed;
  for (char c : sql) {
    const bool space = std::isspace(static_cast<unsigned char>(c)) != 0;
    if (space && (collapsed.empty() || collapsed.back() == ' ')) continue;
    collapsed += space ? ' ' : c;
  }
  std::string tight;
  for (std::size_t i = 0; i < collapsed.size(); ++i) {
    const char c = collapsed[i];
    const bool next_is_bracket = i + 1 < collapsed.size() && (collapsed[i + 1] == ')' || collapsed[i + 1] == ',');
    if (c == ' ' && (next_is_bracket || (!tight.empty() && tight.back() == '('))) continue;
    tight += c;
  }
  while (!tight.empty() && tight.back() == ' ') tight.pop_back();
  return tight;
}

Rows SchemaEntries(const std::string& path) {
  Rows entries = QueryRows(path, "select type, name, tbl_name, sql from sqlite_master order by type, name");
  for (std::vector<std::string>& entry : entries) entry[3] = NormalisedSql(entry[3]);
  return entries;
}

TEST(GeneratedRepository, HasTheSharedSchema) {
  TempDir dir;
  const std::string generated = dir.File("generated.sqlite");
  const std::string shared = dir.File("shared.sqlite");
  ASSERT_TRUE(Generate(kModelSize, generated));
  ExecuteSqlFile(shared, FixturePath("repositories/schema.sql"));
  const Rows expected = SchemaEntries(shared);
  ASSERT_EQ(expected.size(), 11u) << "the shared schema has four tables and seven indexes";
  EXPECT_EQ(SchemaEntries(generated), expected);
  EXPECT_EQ(QueryValue(generated, "pragma integrity_check"), "ok");
}

// ---------------------------------------------------------------------------
// Shape

// The packages below the run's root package (2), the root included.
const std::string kRootSubtree =
    "with recursive subtree(package_id) as (select 2 union select p.package_id from t_package p "
    "join subtree s on p.parent_id = s.package_id) ";
// Every package with its level (Model is 1) and its branch, the package at
// level 3 it lies under; the level bound stops a cycle from running forever.
const std::string kLevels =
    "with recursive levels(package_id, level, branch) as (select 1, 1, 0 union all select p.package_id, "
    "l.level + 1, case when l.level + 1 = 3 then p.package_id else l.branch end from t_package p join levels l "
    "on p.parent_id = l.package_id where l.level < 20) ";
const std::string kBranchDepths =
    kLevels + ", branches(depth) as (select max(level) from levels where branch <> 0 group by branch) ";
const std::string kChildCounts =
    "with children(count) as (select count(*) from t_package where parent_id <> 0 group by parent_id) ";
const std::string kModelElements = "(select count(*) from t_object where object_id > 1)";
const std::string kRequirements = "(select count(*) from t_object where object_type = 'Requirement')";
const std::string kGuidPattern = [] {
  std::string pattern = "{";
  for (int digits : {8, 4, 4, 4, 12}) {
    if (pattern.size() > 1) pattern += "-";
    for (int digit = 0; digit < digits; ++digit) pattern += "[0-9A-F]";
  }
  return pattern + "}";
}();
const std::string kDateTimePattern = "[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9] [0-9][0-9]:[0-9][0-9]:[0-9][0-9]";

// A date-time that is not one: off the pattern, or a day the calendar lacks.
std::string BadDateTime(const std::string& column) {
  return "(" + column + " is null or " + column + " not glob '" + kDateTimePattern +
         "' or strftime('%Y-%m-%d %H:%M:%S', " + column + ") is not " + column + ")";
}

struct Figure {
  std::string name;
  std::string sql;  // one number
  double low;
  double high;
  friend void PrintTo(const Figure& value, std::ostream* out) { *out << value.name; }
};

const Figure kFigures[] = {
    // Package tree
    {"PackageCount", "select count(*) from t_package", 800, 800},
    {"PackageIdsWithoutGaps", "select max(package_id) - min(package_id) + 1 from t_package", 800, 800},
    {"TopPackages",
     "select count(*) from t_package where (package_id, name, parent_id) in "
     "(values (1, 'Model', 0), (2, 'System', 1), (3, 'Legacy', 1))",
     3, 3},
    {"PackagesInTheTree", kLevels + "select count(*) from levels", 800, 800},
    {"TreeDepth", kLevels + "select max(level) from levels", 5, 7},
    {"BranchesOutsideTheDepths", kBranchDepths + "select count(*) from branches where depth not between 5 and 7",
     0, 0},
    {"BranchDepthsTaken", kBranchDepths + "select count(distinct depth) from branches", 3, 3},
    {"MeanFanOut", kChildCounts + "select avg(count) from children", 2.5, 8},
    {"LargestFanOut", kChildCounts + "select max(count) from children", 4, 32},
    {"RootSubtreePackageShare", kRootSubtree + "select count(*) / 800.0 from subtree", 0.78, 0.82},
    {"RootSubtreeElementShare",
     kRootSubtree + "select avg(package_id in subtree) from t_object where object_id > 1", 0.76, 0.84},
    // Elements
    {"ElementCount", "select count(*) from t_object", 20000, 20000},
    {"ElementIdsWithoutGaps", "select max(object_id) - min(object_id) + 1 from t_object", 20000, 20000},
    {"MarkerElements",
     "select count(*) from t_object where name = '##MorlaneInfo##' and object_id = 1 and object_type = 'Text'",
     1, 1},
    {"RootNamedByTheMarker",
     "select count(*) from t_objectproperties v join t_package p on p.ov_guid = v.value "
     "where v.object_id = 1 and v.property = 'RootPackageID' and p.package_id = 2",
     1, 1},
    {"RequirementShare", "select avg(object_type = 'Requirement') from t_object where object_id > 1", 0.285, 0.315},
    {"OtherTypes",
     "select count(*) from t_object where object_id > 1 and object_type not in ('Requirement', 'Class', "
     "'Component', 'Interface', 'Activity', 'UseCase', 'Node', 'Actor')",
     0, 0},
    {"DesignTypesUsed", "select count(distinct object_type) from t_object where object_id > 1", 8, 8},
    {"NamesNotTypeAndId",
     "select count(*) from t_object where object_id > 1 and name is not object_type || ' ' || object_id", 0, 0},
    {"ElementsOutsideThePackages",
     "select count(*) from t_object where package_id not in (select package_id from t_package)", 0, 0},
    {"TaggedElements", "select count(*) from t_object where tagged is not 0", 0, 0},
    {"NoteShare", "select avg(note is not null) from t_object where object_id > 1", 0.31, 0.355},
    {"NotesOfOtherLengths",
     "select count(*) from t_object where note is not null and length(note) - length(replace(note, ' ', '')) + 1 "
     "not between 8 and 60",
     0, 0},
    {"BadElementDates", "select count(*) from t_object where " + BadDateTime("createddate") + " or " +
                            BadDateTime("modifieddate") + " or modifieddate < createddate",
     0, 0},
    // Tagged values
    {"FlaggedShareOfRequirements",
     "select count(*) * 1.0 / " + kRequirements +
         " from t_objectproperties where property = 'IsReconsider' and value = 'True'",
     0.085, 0.115},
    {"FlagsOnOtherThanRequirements",
     "select count(*) from t_objectproperties v join t_object o on o.object_id = v.object_id "
     "where v.property = 'IsReconsider' and v.value = 'True' and o.object_type <> 'Requirement'",
     0, 0},
    {"FurtherTaggedValuesPerElement",
     "select count(*) * 1.0 / " + kModelElements +
         " from t_objectproperties where object_id > 1 and not (property = 'IsReconsider' and value = 'True')",
     0.87, 0.93},
    {"FurtherTaggedValuesOfOtherKinds",
     "select count(*) from t_objectproperties where object_id > 1 and not (property = 'IsReconsider' and value in "
     "('True', 'False') or property = 'Priority' and value in ('High', 'Low') or property = 'Owner' and value "
     "glob 'Team [a-z]*')",
     0, 0},
    {"TaggedValueIdsWithoutGaps",
     "select max(propertyid) - min(propertyid) + 1 - count(*) from t_objectproperties", 0, 0},
    {"TaggedValuesOfNoElement",
     "select count(*) from t_objectproperties where object_id not in (select object_id from t_object)", 0, 0},
    // Connectors
    {"ConnectorsPerElement", "select count(*) * 1.0 / " + kModelElements + " from t_connector", 0.96, 1.04},
    {"RealisationShare", "select avg(connector_type = 'Realisation') from t_connector", 0.64, 0.69},
    {"RealisationsNotIntoARequirement",
     "select count(*) from t_connector c left join t_object o on o.object_id = c.end_object_id "
     "where c.connector_type = 'Realisation' and (c.direction is not 'Source -> Destination' or "
     "o.object_type is not 'Requirement')",
     0, 0},
    {"OtherConnectorsOfOtherKinds",
     "select count(*) from t_connector where connector_type <> 'Realisation' and (connector_type not in "
     "('Dependency', 'Association', 'Generalization', 'Aggregation') or direction not in "
     "('Source -> Destination', 'Unspecified', 'Bi-Directional'))",
     0, 0},
    {"ConnectorEndsOutsideTheModel",
     "select count(*) from t_connector where start_object_id not between 2 and 20000 or end_object_id not between 2 "
     "and 20000",
     0, 0},
    {"ConnectorIdsWithoutGaps", "select max(connector_id) - min(connector_id) + 1 - count(*) from t_connector", 0, 0},
    {"BadConnectorDates", "select count(*) from t_connector where " + BadDateTime("createddate"), 0, 0},
    // GUIDs and package dates
    {"BadGuids",
     "select count(*) from (select ov_guid from t_package union all select ov_guid from t_object union all "
     "select ov_guid from t_objectproperties union all select ov_guid from t_connector) where ov_guid is null or "
     "ov_guid not glob '" +
         kGuidPattern + "'",
     0, 0},
    {"RepeatedGuids",
     "select count(*) - count(distinct ov_guid) from (select ov_guid from t_package union all select ov_guid from "
     "t_object union all select ov_guid from t_objectproperties union all select ov_guid from t_connector)",
     0, 0},
    {"BadPackageDates", "select count(*) from t_package where " + BadDateTime("createddate") + " or " +
                            BadDateTime("modifieddate") + " or modifieddate < createddate",
     0, 0},
};

class GeneratedModelShape : public ::testing::TestWithParam<Figure> {
 protected:
  // One model for all figures that run in this process.
  static void SetUpTestSuite() {
    directory_ = std::make_unique<TempDir>();
    path_ = directory_->File("model.sqlite");
    generated_ = Generate(kModelSize, path_);
  }
  static void TearDownTestSuite() { directory_.reset(); }

  static inline std::unique_ptr<TempDir> directory_;
  static inline std::string path_;
  static inline ::testing::AssertionResult generated_ = ::testing::AssertionFailure();
};

TEST_P(GeneratedModelShape, FigureWithinItsRange) {
  ASSERT_TRUE(generated_);
  const Figure& figure = GetParam();
  const double value = QueryNumber(path_, figure.sql);
  EXPECT_GE(value, figure.low) << figure.sql;
  EXPECT_LE(value, figure.high) << figure.sql;
}

INSTANTIATE_TEST_SUITE_P(Figures, GeneratedModelShape, ::testing::ValuesIn(kFigures), CaseName());

}  // namespace
