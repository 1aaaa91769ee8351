// ReconsiderTagger's two selections: the flagged elements of the listed
// packages, and the elements realising the listed ones.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "reconsider/reconsider_tagger.h"
#include "system_test_support.h"

namespace {

using namespace system_testing;
using platform::HRESULT;
using reconsider::ReconsiderTagger;
using Ids = std::vector<std::string>;

std::string Quoted(const std::optional<std::string>& text) { return text ? "'" + *text + "'" : "NULL"; }

std::string Element(int id, const std::optional<std::string>& type, int package) {
  return "insert into t_object (object_id, object_type, name, package_id) values (" + std::to_string(id) + ", " +
         Quoted(type) + ", 'E" + std::to_string(id) + "', " + std::to_string(package) + ");";
}

std::string TaggedValue(int object_id, const std::string& property, const std::optional<std::string>& value) {
  return "insert into t_objectproperties (object_id, property, value) values (" + std::to_string(object_id) +
         ", '" + property + "', " + Quoted(value) + ");";
}

std::string Flag(int object_id) { return TaggedValue(object_id, "IsReconsider", "True"); }

std::string Connector(int start, int end, const std::string& type = "Realisation",
                      const std::optional<std::string>& direction = "Source -> Destination") {
  return "insert into t_connector (direction, connector_type, start_object_id, end_object_id) values (" +
         Quoted(direction) + ", '" + type + "', " + std::to_string(start) + ", " + std::to_string(end) + ");";
}

struct SelectionCase {
  const char* name;
  std::string rows;
  std::string input;       // the IdList handed to the selection
  std::optional<Ids> ids;  // as a multiset; null: no list
  HRESULT error;
};

class SelectionTest : public RepositoryTest, public ::testing::WithParamInterface<SelectionCase> {
 protected:
  // Runs `select` on a repository holding the case's rows and checks its
  // answer and what it printed.
  template <class Select>
  void Check(Select select) {
    const SelectionCase& test = GetParam();
    ReconsiderTagger tagger;
    OpenQuietly(tagger, MakeRepository(test.rows));
    const auto list = CaptureText([&] { return select(tagger, test.input.c_str()); });
    if (test.ids) {
      ASSERT_TRUE(list.value.has_value());
      EXPECT_TRUE(IsIdList(*list.value)) << *list.value;
      EXPECT_EQ(IdMultiset(list.value), Sorted(*test.ids)) << *list.value;
    } else {
      EXPECT_EQ(list.value, std::nullopt);
    }
    EXPECT_EQ(list.printed, test.error == platform::S_OK ? "" : ErrLine(test.error));
  }
};

// ---------------------------------------------------------------------------
// GetReconsiderObjectIds

class ReconsiderSelectionTest : public SelectionTest {};

TEST_P(ReconsiderSelectionTest, SelectsFlaggedElementsOfListedPackages) {
  Check([](ReconsiderTagger& tagger, const char* packages) { return tagger.GetReconsiderObjectIds(packages); });
}

const std::string kRequirement110 = Element(110, "Requirement", 4);

INSTANTIATE_TEST_SUITE_P(
    Selected, ReconsiderSelectionTest,
    ::testing::Values(
        SelectionCase{"SingleFlaggedElement", kRequirement110 + Flag(110), "4,5", Ids{"110"}, platform::S_OK},
        SelectionCase{"EachListedPackage",
                      kRequirement110 + Flag(110) + Element(111, "Requirement", 5) + Flag(111) +
                          Element(113, "Class", 9) + Flag(113),
                      "4,5,9", Ids{"110", "111", "113"}, platform::S_OK},
        SelectionCase{"TwoFlagsListTheElementTwice", kRequirement110 + Flag(110) + Flag(110), "4", Ids{"110", "110"},
                      platform::S_OK},
        SelectionCase{"OtherTaggedValuesIgnored",
                      kRequirement110 + TaggedValue(110, "Priority", "True") + Flag(110) +
                          TaggedValue(110, "Owner", "Team"),
                      "4", Ids{"110"}, platform::S_OK},
        SelectionCase{"NegativePackageId", Element(110, "Requirement", -4) + Flag(110), "-4", Ids{"110"},
                      platform::S_OK}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    NotSelected, ReconsiderSelectionTest,
    ::testing::Values(
        SelectionCase{"NoElements", "", "4,5", std::nullopt, platform::S_OK},
        SelectionCase{"NoFlag", kRequirement110 + TaggedValue(110, "Priority", "High"), "4", std::nullopt,
                      platform::S_OK},
        SelectionCase{"False", kRequirement110 + TaggedValue(110, "IsReconsider", "False"), "4", std::nullopt,
                      platform::S_OK},
        SelectionCase{"LowerCaseTrue", kRequirement110 + TaggedValue(110, "IsReconsider", "true"), "4",
                      std::nullopt, platform::S_OK},
        SelectionCase{"TrueWithSpace", kRequirement110 + TaggedValue(110, "IsReconsider", "True "), "4",
                      std::nullopt, platform::S_OK},
        SelectionCase{"NullValue", kRequirement110 + TaggedValue(110, "IsReconsider", std::nullopt), "4",
                      std::nullopt, platform::S_OK},
        SelectionCase{"OtherPropertyTrue", kRequirement110 + TaggedValue(110, "IsReconsidered", "True"), "4",
                      std::nullopt, platform::S_OK},
        SelectionCase{"PackageNotListed", Element(114, "Requirement", 8) + Flag(114), "4,5", std::nullopt,
                      platform::S_OK},
        SelectionCase{"FlagOfNoElement", kRequirement110 + Flag(999), "4", std::nullopt, platform::S_OK}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(Failures, ReconsiderSelectionTest,
                         ::testing::Values(SelectionCase{"MissingTable",
                                                         kRequirement110 + "drop table t_objectproperties;",
                                                         "4", std::nullopt, platform::DB_E_NOTABLE}),
                         CaseName());

// ---------------------------------------------------------------------------
// GetRealisingObjectIds

class RealisingSelectionTest : public SelectionTest {};

TEST_P(RealisingSelectionTest, SelectsNonRequirementRealisers) {
  Check([](ReconsiderTagger& tagger, const char* elements) { return tagger.GetRealisingObjectIds(elements); });
}

// The flagged requirements 110 and 111, and elements that may realise them.
const std::string kTargets = Element(110, "Requirement", 4) + Element(111, "Requirement", 5) +
                             Element(112, "Requirement", 4) + Element(200, "Component", 7) +
                             Element(201, "Class", 7) + Element(202, "Class", 7);

INSTANTIATE_TEST_SUITE_P(
    Selected, RealisingSelectionTest,
    ::testing::Values(
        SelectionCase{"SingleRealiser", kTargets + Connector(200, 110), "110,111", Ids{"200"}, platform::S_OK},
        SelectionCase{"OneRealiserOfTwoListed", kTargets + Connector(200, 110) + Connector(200, 111), "110,111",
                      Ids{"200", "200"}, platform::S_OK},
        SelectionCase{"TwoConnectorsToOneElement", kTargets + Connector(200, 110) + Connector(200, 110),
                      "110,111", Ids{"200", "200"}, platform::S_OK},
        SelectionCase{"SeveralRealisers",
                      kTargets + Connector(200, 110) + Connector(201, 111) + Connector(202, 110), "110,111",
                      Ids{"200", "201", "202"}, platform::S_OK},
        // Realisers may lie in any package, inside the root's subtree or not.
        SelectionCase{"RealiserOutsideTheSubtree", kTargets + Element(205, "Class", 8) + Connector(205, 110),
                      "110,111", Ids{"205"}, platform::S_OK},
        // A listed element that is no requirement counts as a realiser too.
        SelectionCase{"ListedNonRequirementRealisingAnother",
                      kTargets + Element(120, "Class", 4) + Connector(120, 110), "110,111,120", Ids{"120"},
                      platform::S_OK}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    NotSelected, RealisingSelectionTest,
    ::testing::Values(
        SelectionCase{"NoConnectors", kTargets, "110,111", std::nullopt, platform::S_OK},
        SelectionCase{"RequirementSource", kTargets + Element(203, "Requirement", 4) + Connector(203, 110),
                      "110,111", std::nullopt, platform::S_OK},
        SelectionCase{"NullObjectType", kTargets + Element(207, std::nullopt, 7) + Connector(207, 111),
                      "110,111", std::nullopt, platform::S_OK},
        SelectionCase{"ReverseDirection",
                      kTargets + Connector(200, 111, "Realisation", std::string("Destination -> Source")),
                      "110,111", std::nullopt, platform::S_OK},
        SelectionCase{"NullDirection", kTargets + Connector(200, 111, "Realisation", std::nullopt), "110,111",
                      std::nullopt, platform::S_OK},
        SelectionCase{"OtherConnectorType", kTargets + Connector(200, 110, "Dependency"), "110,111",
                      std::nullopt, platform::S_OK},
        SelectionCase{"TargetNotListed", kTargets + Connector(202, 112), "110,111", std::nullopt,
                      platform::S_OK},
        SelectionCase{"ListedElementAsSource", kTargets + Element(120, "Class", 4) + Connector(120, 200),
                      "110,111,120", std::nullopt, platform::S_OK},
        SelectionCase{"SourceIsNoElement", kTargets + Connector(999, 110), "110,111", std::nullopt,
                      platform::S_OK}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(Failures, RealisingSelectionTest,
                         ::testing::Values(SelectionCase{"MissingTable", kTargets + "drop table t_connector;",
                                                         "110,111", std::nullopt, platform::DB_E_NOTABLE}),
                         CaseName());

// ---------------------------------------------------------------------------

// Both selections on the sample model, fed as the run feeds them.
class SampleSelectionTest : public RepositoryTest {};

TEST_F(SampleSelectionTest, FlaggedRequirementsAndTheirRealisers) {
  ReconsiderTagger tagger;
  OpenQuietly(tagger, MakeSample());
  const auto flagged = CaptureText([&] { return tagger.GetReconsiderObjectIds("2,3,6,4,5,7,9"); });
  ASSERT_TRUE(flagged.value.has_value());
  EXPECT_EQ(IdMultiset(flagged.value), (Ids{"110", "111"}));
  const auto realisers = CaptureText([&] { return tagger.GetRealisingObjectIds(flagged.value->c_str()); });
  EXPECT_EQ(IdMultiset(realisers.value), (Ids{"200", "200", "201", "205"}));
  EXPECT_EQ(flagged.printed + realisers.printed, "");
}

}  // namespace
