// Runs in which a step fails on the sample model: the lines of the steps
// before it, one "Err :: " line, status 1, and the repository's data as it
// was. A failed tagging update is rolled back, never reported as success.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "run/run_checks.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace run_checks;

const std::string& G = kSampleGuid;
const std::string& P = kSampleLines[1];
const std::string& F = kSampleLines[2];
const std::string& R = kSampleLines[3];
const std::string& E = kErrorLine;

// t_package rebuilt with package_id as a plain integer column, so that it can
// hold what an INTEGER PRIMARY KEY refuses: texts and NULL.
const std::string kLoosePackageIds =
    "create table t_package_loose as select * from t_package;\n"
    "drop table t_package;\n"
    "alter table t_package_loose rename to t_package;\n";

const std::string kHugeId = "5000000000";  // beyond 32 bits

struct FailureCase {
  std::string name;
  std::string changes;  // SQL run on the sample model
  std::vector<std::string> lines;
  friend void PrintTo(const FailureCase& value, std::ostream* out) { *out << value.name; }
};

class FailingSteps : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailingSteps, StopWithAnErrorLineAndChangeNothing) {
  TempDir dir;
  const std::string path = dir.File("sample.sqlite");
  CreateSampleRepository(path, GetParam().changes);
  ExpectRun(path, {GetParam().lines, 1});
}

INSTANTIATE_TEST_SUITE_P(
    RootGuid, FailingSteps,
    ::testing::Values(FailureCase{"ObjectPropertiesTableMissing", "drop table t_objectproperties;", {E}},
                      FailureCase{"ObjectTableMissing", "drop table t_object;", {E}},
                      FailureCase{"RootPackageIdIsNull",
                                  "update t_objectproperties set value = NULL where property = 'RootPackageID';",
                                  {E}}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    PackageSubtree, FailingSteps,
    ::testing::Values(
        FailureCase{"PackageTableMissing", "drop table t_package;", {G, E}},
        FailureCase{"PackageGuidColumnMissing", "drop index ix_package_guid; alter table t_package drop column ov_guid;",
                    {G, E}},
        FailureCase{"TextPackageIdBelowTheRoot",
                    kLoosePackageIds + "insert into t_package (package_id, name, parent_id) values ('x', 'Broken', 2);",
                    {G, E}},
        FailureCase{"TextPackageIdBelowAChildOfTheRoot",
                    kLoosePackageIds + "insert into t_package (package_id, name, parent_id) values ('x', 'Broken', 3);",
                    {G, E}},
        FailureCase{"EmptyPackageIdDeepInTheSubtree",
                    kLoosePackageIds + "insert into t_package (package_id, name, parent_id) values ('', 'Blank', 9);",
                    {G, E}},
        FailureCase{"PackageIdBeyond32Bits",
                    "insert into t_package (package_id, name, parent_id) values (" + kHugeId + ", 'Huge', 4);",
                    {G, E}}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Selections, FailingSteps,
    ::testing::Values(
        FailureCase{"ElementPackageColumnMissing",
                    "drop index ix_object_package; alter table t_object drop column package_id;",
                    {G, P, E}},
        FailureCase{"FlaggedElementIdBeyond32Bits",
                    "insert into t_object (object_id, object_type, name, package_id) values (" + kHugeId +
                        ", 'Requirement', 'Huge', 4);\n"
                        "insert into t_objectproperties (object_id, property, value) values (" +
                        kHugeId + ", 'IsReconsider', 'True');",
                    {G, P, E}},
        FailureCase{"ConnectorTableMissing", "drop table t_connector;", {G, P, F, E}},
        FailureCase{"RealiserIdBeyond32Bits",
                    "insert into t_object (object_id, object_type, name, package_id) values (" + kHugeId +
                        ", 'Class', 'Huge', 7);\n"
                        "insert into t_connector (connector_type, direction, start_object_id, end_object_id) "
                        "values ('Realisation', 'Source -> Destination', " +
                        kHugeId + ", 111);",
                    {G, P, F, E}}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    TaggingUpdate, FailingSteps,
    ::testing::Values(
        FailureCase{"TaggedColumnMissing", "alter table t_object drop column tagged;", {G, P, F, R, E}},
        FailureCase{"RefusedByATrigger",
                    "create trigger refuse before update on t_object begin select raise(abort, 'no'); end;",
                    {G, P, F, R, E}},
        // raise(fail) keeps the rows the statement changed before 205: only
        // the transaction's rollback takes them back.
        FailureCase{"RefusedPartWay",
                    "create trigger refuse before update on t_object when old.object_id = 205 "
                    "begin select raise(fail, 'no'); end;",
                    {G, P, F, R, E}},
        // raise(rollback) ends the transaction itself: closing must not
        // print a second line for it.
        FailureCase{"TriggerRollsBackTheTransaction",
                    "create trigger refuse before update on t_object when old.object_id = 205 "
                    "begin select raise(rollback, 'no'); end;",
                    {G, P, F, R, E}}),
    CaseName());

// Another program holding the repository. The file is read only while no
// lock is held: closing any descriptor of the file drops this process's locks.
struct LockCase {
  std::string name;
  const char* begin_statement;
  std::vector<std::string> lines;  // kErrorLine alone: the bare message of a failed opening
  friend void PrintTo(const LockCase& value, std::ostream* out) { *out << value.name; }
};

class LockedRepository : public ::testing::TestWithParam<LockCase> {};

TEST_P(LockedRepository, TheRunFailsAndChangesNothing) {
  TempDir dir;
  const std::string path = dir.File("sample.sqlite");
  CopyFile(FixturePath("repositories/sample.sqlite"), path);
  const Rows before = DumpDatabase(path);
  const std::string bytes_before = ReadFileBytes(path);
  ProcessResult result;
  {
    const HeldLock lock(path, GetParam().begin_statement);
    result = RunTool({path});
  }
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "");
  if (GetParam().lines.empty()) {
    ASSERT_EQ(result.Lines().size(), 1u) << result.standard_output;
    EXPECT_FALSE(IsErrorLine(result.Lines()[0]));
    EXPECT_NE(result.Lines()[0].find("locked"), std::string::npos) << result.Lines()[0];
  } else {
    EXPECT_TRUE(LinesMatch(GetParam().lines, result.Lines()));
    EXPECT_NE(result.Lines().back().find("locked"), std::string::npos) << result.Lines().back();
  }
  EXPECT_EQ(DumpDatabase(path), before);
  EXPECT_TRUE(ReadFileBytes(path) == bytes_before) << "the file was changed";
}

INSTANTIATE_TEST_SUITE_P(
    Locks, LockedRepository,
    ::testing::Values(LockCase{"WriteLockFailsTheUpdate", "begin immediate", {G, P, F, R, E}},
                      // Readers keep the update from being committed.
                      LockCase{"ReadTransactionFailsTheCommit", "begin; select count(*) from t_object;",
                               {G, P, F, R, E}},
                      LockCase{"ExclusiveLockFailsTheOpening", "begin exclusive", {}}),
    CaseName());

// Repositories the user may read but not write. Root writes anyway, so these
// runs mean nothing as root.
struct ReadOnlyCase {
  std::string name;
  bool folder_read_only;  // else the file itself
  std::string fixture = "sample.sqlite";
  friend void PrintTo(const ReadOnlyCase& value, std::ostream* out) { *out << value.name; }
};

class ReadOnlyRepository : public ::testing::TestWithParam<ReadOnlyCase> {};

TEST_P(ReadOnlyRepository, FourLinesThenTheUpdateFails) {
  if (RunningAsRoot()) GTEST_SKIP() << "root writes to read-only files and folders";
  TempDir dir;
  const std::string folder = dir.File("models");
  const std::string path = folder + "/" + GetParam().fixture;
  std::filesystem::create_directory(folder);
  CopyFile(FixturePath("repositories/" + GetParam().fixture), path);
  ASSERT_EQ(::chmod(GetParam().folder_read_only ? folder.c_str() : path.c_str(),
                    GetParam().folder_read_only ? 0555 : 0444),
            0);
  const std::string bytes_before = ReadFileBytes(path);
  ExpectRun(path, {{G, P, F, R, E}, 1});
  EXPECT_TRUE(ReadFileBytes(path) == bytes_before) << "the file was changed";
}

INSTANTIATE_TEST_SUITE_P(Permissions, ReadOnlyRepository,
                         ::testing::Values(ReadOnlyCase{"ReadOnlyFile", false}, ReadOnlyCase{"ReadOnlyFolder", true},
                                           // A Jet file's journal cannot be made in a read-only folder.
                                           ReadOnlyCase{"ReadOnlyJetFile", false, "sample.mdb"},
                                           ReadOnlyCase{"ReadOnlyJetFolder", true, "sample.mdb"}),
                         CaseName());

}  // namespace
