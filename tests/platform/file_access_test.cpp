// Repository files the process may not read or write: opening fails with
// access denied, and a repository that opens read-only answers reads and
// refuses changes without touching the file. The permission bits do not bind
// root, so these cases run only for other users.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "ado_fixture.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform_testing;
using testing_support::TempDir;

class FileAccess : public testing_support::ComTest {
 protected:
  void SetUp() override {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads and writes whatever the permission bits say";
    ComTest::SetUp();
    folder_ = dir_.File("repositories");
    ASSERT_EQ(::mkdir(folder_.c_str(), 0700), 0);
    path_ = folder_ + "/repo.sqlite";
    testing_support::ExecuteSql(path_, "create table t (id integer primary key, name text);"
                                       "insert into t values (1, 'before');");
  }
  void TearDown() override {
    if (::geteuid() != 0) ComTest::TearDown();
  }

  TempDir dir_;
  std::string folder_;
  std::string path_;
};

TEST_F(FileAccess, UnreadableFileIsAccessDenied) {
  ASSERT_EQ(::chmod(path_.c_str(), 0200), 0);
  EXPECT_EQ(Hex(ErrorOf([&] { OpenConnection(path_); })), Hex(platform::E_ACCESSDENIED));
}

TEST_F(FileAccess, FileInAFolderThatCannotBeEnteredIsAccessDenied) {
  ASSERT_EQ(::chmod(folder_.c_str(), 0600), 0);
  EXPECT_EQ(Hex(ErrorOf([&] { OpenConnection(path_); })), Hex(platform::E_ACCESSDENIED));
}

struct ReadOnlyCase {
  const char* name;
  bool folder;  // the folder is read-only, not the file
};

void PrintTo(const ReadOnlyCase& printed, std::ostream* out) { *out << printed.name; }

class ReadOnlyAccess : public FileAccess, public ::testing::WithParamInterface<ReadOnlyCase> {};

TEST_P(ReadOnlyAccess, ReadsAndRefusesChanges) {
  ASSERT_EQ(::chmod(GetParam().folder ? folder_.c_str() : path_.c_str(), GetParam().folder ? 0500 : 0400), 0);
  const std::string before = testing_support::ReadFileBytes(path_);
  {
    const ComPtr<ado::Connection> connection = OpenConnection(path_);
    EXPECT_EQ(QueryColumn(connection, "select name from t", "name"), std::vector<std::string>{"before"});
    EXPECT_EQ(Hex(ErrorOf([&] { ExecuteStatement(connection, "update t set name = 'after'"); })),
              Hex(platform::DB_SEC_E_PERMISSIONDENIED));
    connection->BeginTrans();
    EXPECT_EQ(Hex(ErrorOf([&] { ExecuteStatement(connection, "update t set name = 'after'"); })),
              Hex(platform::DB_SEC_E_PERMISSIONDENIED));
    connection->RollbackTrans();
    connection->Close();
  }
  EXPECT_EQ(testing_support::ReadFileBytes(path_), before);
}

INSTANTIATE_TEST_SUITE_P(Permissions, ReadOnlyAccess,
                         ::testing::Values(ReadOnlyCase{"ReadOnlyFile", false}, ReadOnlyCase{"ReadOnlyFolder", true}),
                         [](const ::testing::TestParamInfo<ReadOnlyCase>& case_info) {
                           return std::string(case_info.param.name);
                         });

}  // namespace
