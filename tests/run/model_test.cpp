// Whole runs on small models built row by row on the shared schema: the shape
// of the package tree, which tagged values flag an element, which connectors
// make a realiser, and where a run stops when a step finds nothing.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/model_cases.h"
#include "run/run_checks.h"
#include "support/jet_file.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace run_checks;
using namespace model_cases;

class ModelRuns : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ModelRuns, PrintTheLinesAndTagTheRealisers) {
  TempDir dir;
  const std::string path = dir.File("model.sqlite");
  CreateRepository(path, "begin;\n" + GetParam().rows + "commit;\n");
  ExpectRun(path, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(PackageTrees, ModelRuns, ::testing::ValuesIn(kTreeCases), CaseName());
INSTANTIATE_TEST_SUITE_P(Selections, ModelRuns, ::testing::ValuesIn(kSelectionCases), CaseName());
INSTANTIATE_TEST_SUITE_P(EarlyEnds, ModelRuns, ::testing::ValuesIn(kStopCases), CaseName());

// The same models as Jet 4 and Jet 3 files give the same lines and tags.
struct JetModelCase {
  ModelCase model;
  RepositoryFormat format;
  friend void PrintTo(const JetModelCase& value, std::ostream* out) {
    *out << value.model.name << " as " << FormatName(value.format);
  }
};

template <std::size_t N>
std::vector<JetModelCase> AsJetFiles(const ModelCase (&cases)[N]) {
  std::vector<JetModelCase> jet_cases;
  for (const ModelCase& model : cases) {
    if (model.sqlite_only) continue;
    for (const RepositoryFormat format : {RepositoryFormat::kJet4, RepositoryFormat::kJet3}) {
      jet_cases.push_back({model, format});
    }
  }
  return jet_cases;
}

struct JetCaseName {
  std::string operator()(const ::testing::TestParamInfo<JetModelCase>& info) const {
    return info.param.model.name + FormatName(info.param.format);
  }
};

class JetModelRuns : public ::testing::TestWithParam<JetModelCase> {};

TEST_P(JetModelRuns, PrintTheLinesAndTagTheRealisers) {
  TempDir dir;
  const std::string source = dir.File("model.sqlite");
  CreateRepository(source, "begin;\n" + GetParam().model.rows + "commit;\n");
  const std::string path = dir.File("model.mdb");
  ConvertToJet(source, path, GetParam().format);
  ExpectRun(path, GetParam().model.expected);
}

INSTANTIATE_TEST_SUITE_P(PackageTrees, JetModelRuns, ::testing::ValuesIn(AsJetFiles(kTreeCases)), JetCaseName());
INSTANTIATE_TEST_SUITE_P(Selections, JetModelRuns, ::testing::ValuesIn(AsJetFiles(kSelectionCases)),
                         JetCaseName());
INSTANTIATE_TEST_SUITE_P(EarlyEnds, JetModelRuns, ::testing::ValuesIn(AsJetFiles(kStopCases)), JetCaseName());

// Larger models made by the engine, with the expected lines made alongside.
std::string IdRange(int first, int count) {
  std::string ids;
  for (int i = 0; i < count; ++i) ids += (i == 0 ? "" : ",") + std::to_string(first + i);
  return ids;
}

constexpr int kManyElements = 5000;

// kManyElements flagged requirements, each realised by a class of its own.
std::string ThousandsOfFlaggedAndRealisers() {
  const std::string count = std::to_string(kManyElements);
  return Marker(kRoot) + Package(10, 0, kRoot) +
         "with recursive n(i) as (select 0 union all select i + 1 from n where i + 1 < " + count +
         ") insert into t_object (object_id, object_type, name, package_id) "
         "select 100000 + i, 'Requirement', 'R', 10 from n union all "
         "select 200000 + i, 'Class', 'C', 10 from n;\n"
         "insert into t_objectproperties (object_id, property, value) "
         "select object_id, 'IsReconsider', 'True' from t_object where object_type = 'Requirement';\n"
         "insert into t_connector (connector_type, direction, start_object_id, end_object_id) "
         "select 'Realisation', 'Source -> Destination', object_id + 100000, object_id "
         "from t_object where object_type = 'Requirement';\n";
}

TEST(LargeModels, ThousandsOfFlaggedRequirementsAndRealisers) {
  TempDir dir;
  const std::string path = dir.File("model.sqlite");
  CreateRepository(path, ThousandsOfFlaggedAndRealisers());
  ExpectRun(path, {{kRoot, "10", IdRange(100000, kManyElements), IdRange(200000, kManyElements)}, 0});
}

// Thousands of tags written into a Jet file in one commit, over many pages.
TEST(LargeModels, ThousandsOfTagsInAJetFile) {
  TempDir dir;
  const std::string source = dir.File("model.sqlite");
  CreateRepository(source, ThousandsOfFlaggedAndRealisers());
  const std::string path = dir.File("model.mdb");
  ConvertToJet(source, path, RepositoryFormat::kJet4, {"--move-rows", "t_object:500"});
  ExpectRun(path, {{kRoot, "10", IdRange(100000, kManyElements), IdRange(200000, kManyElements)}, 0});
}

TEST(LargeModels, AChainOfHundredsOfLevels) {
  constexpr int kDepth = 400;
  TempDir dir;
  const std::string path = dir.File("model.sqlite");
  CreateRepository(path, Marker(kRoot) +
                             "with recursive n(i) as (select 1 union all select i + 1 from n where i < " +
                             std::to_string(kDepth) +
                             ") insert into t_package (package_id, name, parent_id, ov_guid) "
                             "select i, 'P', i - 1, case when i = 1 then " +
                             SqlText(kRoot) + " end from n;\n" + Requirement(100, kDepth) + Flag(100) +
                             Class(200, 1) + Realises(200, 100));
  std::string levels;
  for (int level = 1; level <= kDepth; ++level) levels += (level == 1 ? "" : "|") + std::to_string(level);
  ExpectRun(path, {{kRoot, levels, "100", "200"}, 0});
}

}  // namespace
