// The reading operations when Recordset.Close fails after the rows were read
// well: each reports the failure once and answers with its failure value,
// handing on nothing it read.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>

#include "reconsider/reconsider_tagger.h"
#include "system_test_support.h"
#include "wrapped_recordset.h"

namespace {

using namespace system_testing;
using reconsider::ReconsiderTagger;

constexpr char kSampleRoot[] = "{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}";

struct CloseFailureCase {
  const char* name;
  int failing_close;  // which Close of the operation fails, 1 for the first
  char* (*operation)(ReconsiderTagger& tagger);
};

class RecordsetCloseFailureTest : public RepositoryTest,
                                  public ::testing::WithParamInterface<CloseFailureCase> {
 protected:
  // Runs the operation on the sample model with the chosen Close failing.
  Outcome<std::optional<std::string>> Run(const CloseFailureCase& test) {
    ReconsiderTagger tagger;
    OpenQuietly(tagger, MakeSample());
    WrappedRecordsetClass recordsets;
    recordsets.Script().failing_closes = {test.failing_close};
    return CaptureText([&] { return test.operation(tagger); });
  }
};

TEST_P(RecordsetCloseFailureTest, ReportsOnceAndHandsOnNothing) {
  const auto result = Run(GetParam());
  EXPECT_EQ(result.value, std::nullopt);
  EXPECT_EQ(result.printed, ErrLine(platform::E_FAIL));
}

char* FirstValue(ReconsiderTagger& tagger) {
  return tagger.QueryFirstValue("select name from t_package order by package_id", "name");
}
char* RootGuid(ReconsiderTagger& tagger) { return tagger.GetRootPackageGuid(); }
char* Packages(ReconsiderTagger& tagger) { return tagger.GetPackageIdList(kSampleRoot); }
char* Flagged(ReconsiderTagger& tagger) { return tagger.GetReconsiderObjectIds("2,3,6,4,5,7,9"); }
char* Realisers(ReconsiderTagger& tagger) { return tagger.GetRealisingObjectIds("110,111"); }

// The sample's subtree takes the lookup and four passes: {3,6}, {4,5,7},
// {9} and the empty one that ends the loop.
INSTANTIATE_TEST_SUITE_P(
    Cases, RecordsetCloseFailureTest,
    ::testing::Values(CloseFailureCase{"QueryFirstValue", 1, FirstValue},
                      CloseFailureCase{"GetRootPackageGuid", 1, RootGuid},
                      CloseFailureCase{"SubtreeFirstPass", 2, Packages},
                      CloseFailureCase{"SubtreeLaterPass", 4, Packages},
                      CloseFailureCase{"SubtreeLastEmptyPass", 5, Packages},
                      CloseFailureCase{"GetReconsiderObjectIds", 1, Flagged},
                      CloseFailureCase{"GetRealisingObjectIds", 1, Realisers}),
    CaseName());

// A failing Close of the GUID lookup comes after the root package's id was
// read whole: GetPackageIdList reports it and still expands the subtree from
// that id, unlike a failure of one of the subtree passes.
TEST_F(RecordsetCloseFailureTest, SubtreeLookupCloseFailureStillExpandsTheReadId) {
  const auto result = Run(CloseFailureCase{"SubtreeLookup", 1, Packages});
  EXPECT_EQ(result.value, std::optional<std::string>("2,3,6,4,5,7,9"));
  EXPECT_EQ(result.printed, ErrLine(platform::E_FAIL));
}

TEST_F(RecordsetCloseFailureTest, QueryIdListKeepsTheIdsItAppended) {
  ReconsiderTagger tagger;
  OpenQuietly(tagger, MakeSample());
  WrappedRecordsetClass recordsets;
  recordsets.Script().failing_closes = {1};
  char* list = strdup("1");
  const auto count = Capture([&] {
    return tagger.QueryIdList("select package_id from t_package where parent_id = 2 order by package_id",
                              "package_id", &list);
  });
  EXPECT_EQ(count.value, reconsider::kQueryFailed);
  EXPECT_EQ(count.printed, ErrLine(platform::E_FAIL));
  EXPECT_EQ(TakeText(list), "1,3,6");
}

}  // namespace
