// GetRootPackageGuid and GetPackageIdList on small repositories.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "repository/repository_database.h"
#include "system_test_support.h"

namespace {

using namespace system_testing;
using platform::HRESULT;
using reconsider::RepositoryDatabase;
using Levels = std::vector<std::vector<std::string>>;

std::string Package(long long id, long long parent, const std::string& guid) {
  return "insert into t_package (package_id, name, parent_id, ov_guid) values (" + std::to_string(id) +
         ", 'P" + std::to_string(id) + "', " + std::to_string(parent) + ", '" + guid + "');";
}

std::string Package(long long id, long long parent) {
  return Package(id, parent, "{P" + std::to_string(id) + "}");
}

std::string Element(int id, const std::string& name) {
  return "insert into t_object (object_id, object_type, name, package_id) values (" + std::to_string(id) +
         ", 'Text', '" + name + "', 1);";
}

std::string TaggedValue(int property_id, int object_id, const std::string& property, const std::string& value) {
  return "insert into t_objectproperties (propertyid, object_id, property, value) values (" +
         std::to_string(property_id) + ", " + std::to_string(object_id) + ", '" + property + "', " + value + ");";
}

// 3 -+- 5 -+- 8 --- 12
//    |     +- 9 -+- 14
//    |           +- 15
//    +- 20
const std::string kWorkedExample = Package(3, 0) + Package(5, 3) + Package(8, 5) + Package(9, 5) +
                                   Package(12, 8) + Package(14, 9) + Package(15, 9) + Package(20, 3);

class PackageNavigationTest : public RepositoryTest {
 protected:
  void OpenWithRows(const std::string& rows_sql) { OpenQuietly(database_, MakeRepository(rows_sql)); }

  RepositoryDatabase database_;
};

// ---------------------------------------------------------------------------
// GetRootPackageGuid

struct RootGuidCase {
  const char* name;
  std::string rows;
  std::optional<std::string> guid;
  HRESULT error;
};

class RootGuidTest : public PackageNavigationTest, public ::testing::WithParamInterface<RootGuidCase> {};

TEST_P(RootGuidTest, ReadsTheMarkersTaggedValue) {
  const RootGuidCase& test = GetParam();
  OpenWithRows(test.rows);
  const auto guid = CaptureText([&] { return database_.GetRootPackageGuid(); });
  EXPECT_EQ(guid.value, test.guid);
  EXPECT_EQ(guid.printed, test.error == platform::S_OK ? "" : ErrLine(test.error));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RootGuidTest,
    ::testing::Values(
        RootGuidCase{"Marker", Element(100, "##MorlaneInfo##") + TaggedValue(1, 100, "Priority", "'High'") +
                                   TaggedValue(2, 100, "RootPackageID", "'{G}'"),
                     "{G}", platform::S_OK},
        RootGuidCase{"NoMarkerElement", Element(100, "Info") + TaggedValue(1, 100, "RootPackageID", "'{G}'"),
                     std::nullopt, platform::S_OK},
        RootGuidCase{"MarkerWithoutRootPackageId",
                     Element(100, "##MorlaneInfo##") + TaggedValue(1, 100, "Owner", "'{G}'") +
                         Element(101, "Other") + TaggedValue(2, 101, "RootPackageID", "'{H}'"),
                     std::nullopt, platform::S_OK},
        RootGuidCase{"EmptyRepository", "", std::nullopt, platform::S_OK},
        RootGuidCase{"EmptyValueIsEmptyText",
                     Element(100, "##MorlaneInfo##") + TaggedValue(1, 100, "RootPackageID", "''"), "",
                     platform::S_OK},
        RootGuidCase{"NullValue", Element(100, "##MorlaneInfo##") + TaggedValue(1, 100, "RootPackageID", "NULL"),
                     std::nullopt, platform::DISP_E_TYPEMISMATCH},
        RootGuidCase{"MissingTable", "drop table t_objectproperties;", std::nullopt, platform::DB_E_NOTABLE}),
    CaseName());

TEST_F(PackageNavigationTest, SeveralMarkersGiveOneWholeValue) {
  OpenWithRows(Element(100, "##MorlaneInfo##") + TaggedValue(1, 100, "RootPackageID", "'{FIRST}'") +
               Element(101, "##MorlaneInfo##") + TaggedValue(2, 101, "RootPackageID", "'{SECOND}'"));
  const auto guid = CaptureText([&] { return database_.GetRootPackageGuid(); });
  ASSERT_TRUE(guid.value.has_value());
  EXPECT_TRUE(*guid.value == "{FIRST}" || *guid.value == "{SECOND}") << *guid.value;
  EXPECT_EQ(guid.printed, "");
}

// ---------------------------------------------------------------------------
// GetPackageIdList

std::string Chain(int length) {
  std::string rows;
  for (int id = 1; id <= length; ++id) rows += Package(id, id - 1);
  return rows;
}

Levels ChainLevels(int length) {
  Levels levels;
  for (int id = 1; id <= length; ++id) levels.push_back({std::to_string(id)});
  return levels;
}

struct SubtreeCase {
  const char* name;
  std::string rows;
  std::string guid;
  std::optional<Levels> levels;  // null: no list
  HRESULT error;
};

class PackageSubtreeTest : public PackageNavigationTest, public ::testing::WithParamInterface<SubtreeCase> {};

TEST_P(PackageSubtreeTest, ListsTheSubtreeLevelByLevel) {
  const SubtreeCase& test = GetParam();
  OpenWithRows(test.rows);
  const auto list = CaptureText([&] { return database_.GetPackageIdList(test.guid.c_str()); });
  if (test.levels) {
    EXPECT_TRUE(HoldsLevels(list.value, *test.levels));
  } else {
    EXPECT_EQ(list.value, std::nullopt);
  }
  EXPECT_EQ(list.printed, test.error == platform::S_OK ? "" : ErrLine(test.error));
}

INSTANTIATE_TEST_SUITE_P(
    Trees, PackageSubtreeTest,
    ::testing::Values(
        SubtreeCase{"WorkedExample", kWorkedExample, "{P5}", Levels{{"5"}, {"8", "9"}, {"12", "14", "15"}},
                    platform::S_OK},
        SubtreeCase{"WholeTree", kWorkedExample, "{P3}",
                    Levels{{"3"}, {"5", "20"}, {"8", "9"}, {"12", "14", "15"}}, platform::S_OK},
        SubtreeCase{"LeafIsItsIdAlone", kWorkedExample, "{P14}", Levels{{"14"}}, platform::S_OK},
        SubtreeCase{"OwnParent", Package(5, 5) + Package(8, 5) + Package(12, 8), "{P5}",
                    Levels{{"5"}, {"8"}, {"12"}}, platform::S_OK},
        SubtreeCase{"EachOthersParent", Package(5, 9) + Package(9, 5), "{P5}", Levels{{"5"}, {"9"}},
                    platform::S_OK},
        SubtreeCase{"CycleOfThree", Package(5, 9) + Package(8, 5) + Package(9, 8) + Package(10, 9), "{P5}",
                    Levels{{"5"}, {"8"}, {"9"}, {"10"}}, platform::S_OK},
        SubtreeCase{"PackagesNotReachingTheRootLeftOut",
                    kWorkedExample + Package(30, 31) + Package(31, 0) + Package(32, 32) + Package(33, 34) +
                        Package(34, 33),
                    "{P5}", Levels{{"5"}, {"8", "9"}, {"12", "14", "15"}}, platform::S_OK},
        SubtreeCase{"NegativeIds", Package(-5, 0) + Package(-8, -5) + Package(7, -8), "{P-5}",
                    Levels{{"-5"}, {"-8"}, {"7"}}, platform::S_OK},
        SubtreeCase{"DeepChain", Chain(150), "{P1}", ChainLevels(150), platform::S_OK}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    NoList, PackageSubtreeTest,
    ::testing::Values(
        SubtreeCase{"UnknownGuid", kWorkedExample, "{NOBODY}", std::nullopt, platform::S_OK},
        // The GUID is a bound value: a quote in it is no SQL.
        SubtreeCase{"QuoteInGuid", kWorkedExample, "{P5}' or '1'='1", std::nullopt, platform::S_OK},
        SubtreeCase{"QuoteInGuidClosingTheStatement", kWorkedExample, "x' or ov_guid like '%", std::nullopt,
                    platform::S_OK}),
    CaseName());

// A pass that fails hands on no list at all: a partial subtree would be
// tagged as if it were the whole.
INSTANTIATE_TEST_SUITE_P(
    Failures, PackageSubtreeTest,
    ::testing::Values(
        SubtreeCase{"FirstPassFails", kWorkedExample + Package(5000000000LL, 5), "{P5}", std::nullopt,
                    platform::DISP_E_OVERFLOW},
        SubtreeCase{"SecondPassFails", kWorkedExample + Package(5000000000LL, 8), "{P5}", std::nullopt,
                    platform::DISP_E_OVERFLOW}),
    CaseName());

// A quote in the GUID must match a package that carries exactly that text.
TEST_F(PackageNavigationTest, GuidWithQuoteMatchesItsOwnPackage) {
  OpenWithRows(kWorkedExample + Package(50, 0, "{it''s}") + Package(51, 50));
  const auto list = CaptureText([&] { return database_.GetPackageIdList("{it's}"); });
  EXPECT_TRUE(HoldsLevels(list.value, {{"50"}, {"51"}}));
  EXPECT_EQ(list.printed, "");
}

TEST_F(PackageNavigationTest, MissingPackageTableFailsWithOneLine) {
  OpenWithRows("drop table t_package;");
  const auto list = CaptureText([&] { return database_.GetPackageIdList("{P5}"); });
  EXPECT_EQ(list.value, std::nullopt);
  EXPECT_EQ(list.printed, ErrLine(platform::DB_E_NOTABLE));
}

// Two packages carrying the same GUID: the first row found is the root, and
// the other's subtree is not mixed in.
TEST_F(PackageNavigationTest, DuplicateGuidTakesOneRootOnly) {
  OpenWithRows(Package(5, 0, "{DUP}") + Package(8, 5) + Package(20, 0, "{DUP}") + Package(21, 20));
  const auto list = CaptureText([&] { return database_.GetPackageIdList("{DUP}"); });
  EXPECT_TRUE(HoldsLevels(list.value, {{"5"}, {"8"}}) || HoldsLevels(list.value, {{"20"}, {"21"}}))
      << list.value.value_or("(null)");
  EXPECT_EQ(list.printed, "");
}

// The navigation on the sample model, as the run sees it.
TEST_F(PackageNavigationTest, SampleModel) {
  OpenQuietly(database_, MakeSample());
  const auto guid = CaptureText([&] { return database_.GetRootPackageGuid(); });
  ASSERT_EQ(guid.value, "{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}");
  const auto list = CaptureText([&] { return database_.GetPackageIdList(guid.value->c_str()); });
  EXPECT_TRUE(HoldsLevels(list.value, {{"2"}, {"3", "6"}, {"4", "5", "7"}, {"9"}}));
  EXPECT_EQ(guid.printed + list.printed, "");
}

}  // namespace
