// ReconsiderTagger::TagObjects: the one write, in one transaction.
//
// Each case runs on a copy of the sample model and compares every value of
// the file, read through a connection of its own, before and after.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "fake_connection.h"
#include "reconsider/reconsider_tagger.h"
#include "system_test_support.h"

namespace {

using namespace system_testing;
using platform::HRESULT;
using reconsider::ReconsiderTagger;
using testing_support::DumpDatabase;
using testing_support::QueryRows;
using testing_support::Rows;

// `before` with `tagged` set to 1 on the t_object rows listed in `ids`.
Rows WithTagged(const std::string& path, Rows before, const std::set<std::string>& ids) {
  const Rows columns = QueryRows(path, "select name from pragma_table_info('t_object') order by cid");
  std::size_t tagged = 0;
  while (columns.at(tagged).at(0) != "tagged") ++tagged;
  for (auto& row : before) {
    // A dumped row starts with its table's name; object_id is t_object's first column.
    if (row.at(0) == "t_object" && ids.count(row.at(1)) != 0) row.at(tagged + 1) = "1";
  }
  return before;
}

class TagObjectsTest : public RepositoryTest {};

struct TagCase {
  const char* name;
  const char* ids;
  std::set<std::string> changed;  // rows whose tagged goes from 0 to 1
};

class TagObjectsSuccessTest : public TagObjectsTest, public ::testing::WithParamInterface<TagCase> {};

// The update is committed when TagObjects returns: another connection sees
// it at once, and it sees nothing else changed.
TEST_P(TagObjectsSuccessTest, SetsTaggedOnExactlyTheListedRows) {
  const TagCase& test = GetParam();
  const std::string path = MakeSample();
  const Rows before = DumpDatabase(path);
  const Rows expected = WithTagged(path, before, test.changed);
  ReconsiderTagger tagger;
  OpenQuietly(tagger, path);

  const auto tagged = Capture([&] { return tagger.TagObjects(test.ids); });
  EXPECT_EQ(tagged.value, reconsider::kTagged);
  EXPECT_EQ(tagged.printed, "");
  EXPECT_EQ(DumpDatabase(path), expected);

  EXPECT_EQ(PrintedBy([&] { tagger.Close(); }), "");
  EXPECT_EQ(DumpDatabase(path), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TagObjectsSuccessTest,
    ::testing::Values(TagCase{"SampleRealisers", "200,205,201,200", {"200", "201", "205"}},
                      TagCase{"SingleId", "201", {"201"}},
                      TagCase{"DuplicateId", "207,207", {"207"}},
                      TagCase{"IdMatchingNoRow", "999,208", {"208"}},
                      TagCase{"NoIdMatches", "999,-5", {}},
                      TagCase{"AlreadyTagged", "112", {}}),
    CaseName());

constexpr char kRefuseRow201[] =
    "create trigger refuse_201 before update on t_object when old.object_id = 201 "
    "begin select raise(%s, 'row 201 is locked'); end;";

std::string RefuseRow201(const std::string& how) {
  std::string sql = kRefuseRow201;
  sql.replace(sql.find("%s"), 2, how);
  return sql;
}

struct TagFailureCase {
  const char* name;
  std::string changes;
  HRESULT code;
};

class TagObjectsFailureTest : public TagObjectsTest, public ::testing::WithParamInterface<TagFailureCase> {};

// A failed update prints one line, answers 0, and commits nothing: not
// while the object stays open, and not when Close ends the transaction.
TEST_P(TagObjectsFailureTest, ReportsOnceAndCommitsNothing) {
  const std::string path = MakeSample(GetParam().changes);
  const Rows before = DumpDatabase(path);
  ReconsiderTagger tagger;
  OpenQuietly(tagger, path);

  const auto tagged = Capture([&] { return tagger.TagObjects("200,201,205"); });
  EXPECT_EQ(tagged.value, reconsider::kTagFailed);
  EXPECT_EQ(tagged.printed, ErrLine(GetParam().code));
  EXPECT_EQ(DumpDatabase(path), before);

  EXPECT_EQ(PrintedBy([&] { tagger.Close(); }), "");
  EXPECT_EQ(DumpDatabase(path), before);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TagObjectsFailureTest,
    ::testing::Values(TagFailureCase{"TriggerAborts", RefuseRow201("abort"), platform::DB_E_INTEGRITYVIOLATION},
                      TagFailureCase{"TriggerFailsHalfWay", RefuseRow201("fail"), platform::DB_E_INTEGRITYVIOLATION},
                      TagFailureCase{"MissingTable", "drop table t_object;", platform::DB_E_NOTABLE}),
    CaseName());

// A trigger that fails on row 201 leaves the rows updated before it changed
// inside the still open transaction; ending the object, by Close or by its
// destruction, rolls them back.
TEST_F(TagObjectsTest, HalfDoneUpdateStaysUncommittedAndIsRolledBack) {
  for (const bool by_close : {true, false}) {
    SCOPED_TRACE(by_close ? "ended by Close" : "ended by destruction");
    const std::string path = MakeSample(RefuseRow201("fail"), by_close ? "close.sqlite" : "destroy.sqlite");
    const Rows before = DumpDatabase(path);
    auto tagger = std::make_unique<ReconsiderTagger>();
    OpenQuietly(*tagger, path);
    ASSERT_EQ(PrintedBy([&] { tagger->TagObjects("200,201,205"); }), ErrLine(platform::DB_E_INTEGRITYVIOLATION));

    // The object's own connection sees row 200 tagged: the transaction is
    // still open and holds the change. Other connections do not see it.
    const auto own_view = CaptureText([&] {
      return tagger->QueryFirstValue("select tagged from t_object where object_id = 200", "tagged");
    });
    EXPECT_EQ(own_view.value, "1");
    EXPECT_EQ(QueryRows(path, "select tagged from t_object where object_id = 200"), (Rows{{"0"}}));

    const std::string printed = PrintedBy([&] {
      if (by_close) tagger->Close();
      tagger.reset();
    });
    EXPECT_EQ(printed, "");
    EXPECT_EQ(DumpDatabase(path), before);
  }
}

TEST_F(TagObjectsTest, WithoutConnectionFailsWithOneLine) {
  ReconsiderTagger never_opened;
  const auto first = Capture([&] { return never_opened.TagObjects("200"); });
  EXPECT_EQ(first.value, reconsider::kTagFailed);
  EXPECT_EQ(first.printed.rfind("Err :: ", 0), 0U) << first.printed;
  EXPECT_EQ(first.printed.find('\n'), first.printed.size() - 1) << first.printed;

  const std::string path = MakeSample();
  const Rows before = DumpDatabase(path);
  ReconsiderTagger closed;
  OpenQuietly(closed, path);
  closed.Close();
  const auto second = Capture([&] { return closed.TagObjects("200"); });
  EXPECT_EQ(second.value, reconsider::kTagFailed);
  EXPECT_EQ(second.printed, first.printed);
  EXPECT_EQ(DumpDatabase(path), before);
}

// When the Command or Recordset cannot be made, TagObjects fails before it
// begins a transaction.
TEST_F(TagObjectsTest, ObjectThatCannotBeMadeFailsBeforeTheTransaction) {
  for (const platform::CLSID& clsid : {ado::CLSID_Command, ado::CLSID_Recordset}) {
    FakeConnectionClass fake;
    UnregisteredClass missing(clsid);
    ReconsiderTagger tagger;
    ASSERT_EQ(tagger.Open("/any/repository.sqlite"), reconsider::kOpenSucceeded);
    const auto tagged = Capture([&] { return tagger.TagObjects("200"); });
    EXPECT_EQ(tagged.value, reconsider::kTagFailed);
    EXPECT_EQ(tagged.printed, ErrLine(platform::REGDB_E_CLASSNOTREG));
    ASSERT_EQ(fake.Script().connections.size(), 1U);
    EXPECT_EQ(fake.Script().connections[0].begin_calls, 0);
    EXPECT_EQ(fake.Script().connections[0].commit_calls, 0);
  }
}

}  // namespace
