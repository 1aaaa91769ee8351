// RepositoryDatabase::Open and Close: the one connection, its failures and
// its end, on real files and with a fake Connection class.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "fake_connection.h"
#include "reconsider/reconsider_tagger.h"
#include "repository/repository_database.h"
#include "system_test_support.h"

namespace {

using namespace system_testing;
using platform::HRESULT;
using reconsider::RepositoryDatabase;

constexpr char kMarkerGuidQuery[] =
    "select value from t_objectproperties where property = 'RootPackageID'";

std::string MarkerRows(const std::string& guid) {
  return "insert into t_object (object_id, object_type, name, package_id) values (100, 'Text', "
         "'##MorlaneInfo##', 1);"
         "insert into t_objectproperties (propertyid, object_id, property, value) values (1, 100, "
         "'RootPackageID', '" + guid + "');";
}

// ---------------------------------------------------------------------------
// Real files.

class RepositoryOpenTest : public RepositoryTest {};

TEST_F(RepositoryOpenTest, OpensQuietlyAndMakesCommitsDurable) {
  const std::string path = MakeSample();
  RepositoryDatabase database;
  const auto opened = Capture([&] { return database.Open(path.c_str()); });
  EXPECT_EQ(opened.value, reconsider::kOpenSucceeded);
  EXPECT_EQ(opened.printed, "");
  // The commit mode the connection sets is the durable one (SQLite's
  // "extra" synchronous level).
  const auto mode = CaptureText([&] { return database.QueryFirstValue("pragma synchronous", "synchronous"); });
  EXPECT_EQ(mode.value, "3");
  EXPECT_EQ(mode.printed, "");
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
}

TEST_F(RepositoryOpenTest, PathWithSeparatorsQuotesAndSpacesOpens) {
  const std::string path = MakeRepository(MarkerRows("{G}"), "my repo; v2 'final'=1.sqlite");
  RepositoryDatabase database;
  OpenQuietly(database, path);
  const auto guid = CaptureText([&] { return database.QueryFirstValue(kMarkerGuidQuery, "value"); });
  EXPECT_EQ(guid.value, "{G}");
  EXPECT_EQ(guid.printed, "");
}

struct OpenFailureCase {
  const char* name;
  // Makes the path to open inside the scratch folder.
  std::string (*make)(const testing_support::TempDir& dir);
  HRESULT code;
};

class RepositoryOpenFailureTest : public RepositoryTest,
                                  public ::testing::WithParamInterface<OpenFailureCase> {};

// Open prints the bare message, with no "Err :: " in front, and leaves the
// object without a connection: Close has nothing to do and prints nothing.
TEST_P(RepositoryOpenFailureTest, PrintsBareMessageOnceAndKeepsNoConnection) {
  const OpenFailureCase& test = GetParam();
  const std::string path = test.make(dir_);
  RepositoryDatabase database;
  const auto opened = Capture([&] { return database.Open(path.c_str()); });
  EXPECT_EQ(opened.value, reconsider::kOpenFailed);
  EXPECT_EQ(opened.printed, BareLine(test.code));
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RepositoryOpenFailureTest,
    ::testing::Values(
        OpenFailureCase{"MissingFile",
                        [](const testing_support::TempDir& dir) { return dir.File("absent.sqlite"); },
                        platform::E_FILE_NOT_FOUND},
        OpenFailureCase{"MissingFolder",
                        [](const testing_support::TempDir& dir) { return dir.File("absent/repo.sqlite"); },
                        platform::E_PATH_NOT_FOUND},
        OpenFailureCase{"FileIsNoDatabase",
                        [](const testing_support::TempDir& dir) {
                          const std::string path = dir.File("notes.txt");
                          std::ofstream(path) << "not a repository, just some text long enough\n";
                          return path;
                        },
                        platform::E_BAD_FORMAT}),
    CaseName());

TEST_F(RepositoryOpenTest, CloseWithoutConnectionPrintsNothing) {
  RepositoryDatabase never_opened;
  EXPECT_EQ(PrintedBy([&] { never_opened.Close(); }), "");

  RepositoryDatabase database;
  OpenQuietly(database, MakeSample());
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
}

// After Close the object has no connection: a query fails with one line.
TEST_F(RepositoryOpenTest, QueryAfterCloseFailsWithOneLine) {
  RepositoryDatabase database;
  OpenQuietly(database, MakeSample());
  database.Close();
  const auto guid = CaptureText([&] { return database.QueryFirstValue(kMarkerGuidQuery, "value"); });
  EXPECT_EQ(guid.value, std::nullopt);
  EXPECT_EQ(guid.printed, ErrLine(platform::adErrInvalidConnection));
}

TEST_F(RepositoryOpenTest, SecondOpenSwitchesToTheNewFile) {
  const std::string first = MakeRepository(MarkerRows("{FIRST}"), "first.sqlite");
  const std::string second = MakeRepository(MarkerRows("{SECOND}"), "second.sqlite");
  RepositoryDatabase database;
  OpenQuietly(database, first);
  OpenQuietly(database, second);
  const auto guid = CaptureText([&] { return database.QueryFirstValue(kMarkerGuidQuery, "value"); });
  EXPECT_EQ(guid.value, "{SECOND}");
  EXPECT_EQ(guid.printed, "");
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
}

// ---------------------------------------------------------------------------
// A fake Connection class.

class FakeConnectionOpenTest : public testing_support::ComTest {
 protected:
  FakeConnectionScript& Script() { return fake_.Script(); }
  int CloseCalls() {
    int calls = 0;
    for (const auto& record : Script().connections) {
      calls += record.close_calls;
    }
    return calls;
  }

  FakeConnectionClass fake_;
};

struct FakeOpenFailureCase {
  const char* name;
  void (*arrange)(FakeConnectionScript& script);
  HRESULT code;
};

class FakeConnectionOpenFailureTest : public FakeConnectionOpenTest,
                                      public ::testing::WithParamInterface<FakeOpenFailureCase> {};

// Every failing step of Open prints its bare message once, answers 0 and
// releases whatever connection it made; the object ends up with none.
TEST_P(FakeConnectionOpenFailureTest, PrintsBareMessageAndReleasesTheConnection) {
  GetParam().arrange(Script());
  RepositoryDatabase database;
  const auto opened = Capture([&] { return database.Open("/any/repository.sqlite"); });
  EXPECT_EQ(opened.value, reconsider::kOpenFailed);
  EXPECT_EQ(opened.printed, BareLine(GetParam().code));
  EXPECT_EQ(Script().Alive(), 0);

  const int close_calls = CloseCalls();
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
  EXPECT_EQ(CloseCalls(), close_calls) << "Close reached a connection a failed Open left behind";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FakeConnectionOpenFailureTest,
    ::testing::Values(
        FakeOpenFailureCase{"ClassHandsOutNoObject",
                            [](FakeConnectionScript& script) { script.class_hands_out_nothing = true; },
                            platform::E_POINTER},
        FakeOpenFailureCase{"ConnectionOpenFails",
                            [](FakeConnectionScript& script) { script.open_result = platform::E_ACCESSDENIED; },
                            platform::E_ACCESSDENIED},
        FakeOpenFailureCase{"PropertiesHandsOutNoObject",
                            [](FakeConnectionScript& script) { script.properties_hands_out_nothing = true; },
                            platform::E_POINTER},
        FakeOpenFailureCase{"CommitModePropertyUnknown",
                            [](FakeConnectionScript& script) { script.knows_commit_mode = false; },
                            platform::adErrItemNotFound},
        FakeOpenFailureCase{"CommitModeItemHandsOutNoObject",
                            [](FakeConnectionScript& script) { script.item_hands_out_nothing = true; },
                            platform::E_POINTER},
        FakeOpenFailureCase{"CommitModeValueRefused",
                            [](FakeConnectionScript& script) {
                              script.put_value_result = platform::DB_E_ERRORSOCCURRED;
                            },
                            platform::DB_E_ERRORSOCCURRED}),
    CaseName());

TEST_F(FakeConnectionOpenTest, ConnectionClassNotRegistered) {
  UnregisteredClass missing(ado::CLSID_Connection);
  RepositoryDatabase database;
  const auto opened = Capture([&] { return database.Open("/any/repository.sqlite"); });
  EXPECT_EQ(opened.value, reconsider::kOpenFailed);
  EXPECT_EQ(opened.printed, BareLine(platform::REGDB_E_CLASSNOTREG));
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
}

TEST_F(FakeConnectionOpenTest, OpenSetsTheDurableCommitMode) {
  RepositoryDatabase database;
  ASSERT_EQ(database.Open("/any/repository.sqlite"), reconsider::kOpenSucceeded);
  ASSERT_EQ(Script().connections.size(), 1U);
  EXPECT_EQ(Script().connections[0].open_calls, 1);
  EXPECT_EQ(Script().commit_modes_put, std::vector<int>{1});
}

// An earlier connection is released, not closed, when Open replaces it.
TEST_F(FakeConnectionOpenTest, SecondOpenReleasesTheFirstConnectionWithoutClose) {
  {
    RepositoryDatabase database;
    ASSERT_EQ(database.Open("/first.sqlite"), reconsider::kOpenSucceeded);
    ASSERT_EQ(database.Open("/second.sqlite"), reconsider::kOpenSucceeded);
    ASSERT_EQ(Script().connections.size(), 2U);
    EXPECT_FALSE(Script().connections[0].alive);
    EXPECT_EQ(Script().connections[0].close_calls, 0);
    EXPECT_TRUE(Script().connections[1].alive);
  }
  EXPECT_EQ(Script().connections[1].close_calls, 1);
  EXPECT_FALSE(Script().connections[1].alive);
}

TEST_F(FakeConnectionOpenTest, FailedSecondOpenLeavesNoConnection) {
  RepositoryDatabase database;
  ASSERT_EQ(database.Open("/first.sqlite"), reconsider::kOpenSucceeded);
  Script().open_result = platform::E_FILE_NOT_FOUND;
  const auto opened = Capture([&] { return database.Open("/second.sqlite"); });
  EXPECT_EQ(opened.value, reconsider::kOpenFailed);
  EXPECT_EQ(opened.printed, BareLine(platform::E_FILE_NOT_FOUND));
  EXPECT_EQ(Script().Alive(), 0);
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
  EXPECT_EQ(CloseCalls(), 0);
}

TEST_F(FakeConnectionOpenTest, DestroyingAnOpenObjectClosesTheConnectionOnce) {
  std::unique_ptr<RepositoryDatabase> database = std::make_unique<reconsider::ReconsiderTagger>();
  ASSERT_EQ(database->Open("/any/repository.sqlite"), reconsider::kOpenSucceeded);
  EXPECT_EQ(PrintedBy([&] { database.reset(); }), "");
  ASSERT_EQ(Script().connections.size(), 1U);
  EXPECT_EQ(Script().connections[0].close_calls, 1);
  EXPECT_FALSE(Script().connections[0].alive);
}

TEST_F(FakeConnectionOpenTest, CloseThenDestroyClosesOnce) {
  {
    RepositoryDatabase database;
    ASSERT_EQ(database.Open("/any/repository.sqlite"), reconsider::kOpenSucceeded);
    database.Close();
    EXPECT_FALSE(Script().connections[0].alive);
  }
  EXPECT_EQ(Script().connections[0].close_calls, 1);
}

// A failing Connection.Close is reported with "Err :: " and still ends the
// connection: nothing is left for a second Close.
TEST_F(FakeConnectionOpenTest, FailingCloseReportsOnceAndDropsTheConnection) {
  Script().close_result = platform::E_FAIL;
  RepositoryDatabase database;
  ASSERT_EQ(database.Open("/any/repository.sqlite"), reconsider::kOpenSucceeded);
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), ErrLine(platform::E_FAIL));
  EXPECT_FALSE(Script().connections[0].alive);
  EXPECT_EQ(PrintedBy([&] { database.Close(); }), "");
  EXPECT_EQ(Script().connections[0].close_calls, 1);
}

TEST_F(FakeConnectionOpenTest, FailingCloseInDestructorReportsOnce) {
  Script().close_result = platform::E_FAIL;
  auto database = std::make_unique<RepositoryDatabase>();
  ASSERT_EQ(database->Open("/any/repository.sqlite"), reconsider::kOpenSucceeded);
  EXPECT_EQ(PrintedBy([&] { database.reset(); }), ErrLine(platform::E_FAIL));
  EXPECT_EQ(Script().connections[0].close_calls, 1);
  EXPECT_FALSE(Script().connections[0].alive);
}

}  // namespace
