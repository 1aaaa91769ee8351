// QueryFirstValue and QueryIdList on real SQLite files.
//
// The file holds one table, v, whose `id` column has no declared type, so a
// row can hold any value the way a damaged or hand-edited repository might:
// texts, NULLs, numbers beyond 32 bits. Rows are read in the order of k.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "fake_connection.h"
#include "repository/repository_database.h"
#include "system_test_support.h"

namespace {

using namespace system_testing;
using platform::HRESULT;
using reconsider::RepositoryDatabase;

constexpr char kTable[] = "create table v (k INTEGER PRIMARY KEY, id, txt VARCHAR(50));";
constexpr char kIdQuery[] = "select id from v order by k";
constexpr char kTextQuery[] = "select txt from v order by k";

char* HeapCopy(const std::optional<std::string>& text) {
  return text ? strdup(text->c_str()) : nullptr;
}

class QueryPrimitivesTest : public RepositoryTest {
 protected:
  void OpenWithRows(const std::string& rows_sql) {
    OpenQuietly(database_, MakeDatabase(std::string(kTable) + rows_sql));
  }

  RepositoryDatabase database_;
};

// ---------------------------------------------------------------------------
// QueryIdList

struct IdListCase {
  const char* name;
  const char* rows;  // inserts into v
  const char* sql;
  std::optional<std::string> start;
  int count;
  std::optional<std::string> list;
  HRESULT error;  // S_OK: nothing printed
};

class QueryIdListTest : public QueryPrimitivesTest, public ::testing::WithParamInterface<IdListCase> {};

TEST_P(QueryIdListTest, AppendsEveryRowOrReportsTheFailure) {
  const IdListCase& test = GetParam();
  OpenWithRows(test.rows);
  char* list = HeapCopy(test.start);
  const auto result = Capture([&] { return database_.QueryIdList(test.sql, "id", &list); });
  EXPECT_EQ(result.value, test.count);
  EXPECT_EQ(TakeText(list), test.list);
  EXPECT_EQ(result.printed, test.error == platform::S_OK ? "" : ErrLine(test.error));
}

const char kThreeRows[] = "insert into v (k, id) values (1, 14), (2, 15), (3, 16);";

INSTANTIATE_TEST_SUITE_P(
    Rows, QueryIdListTest,
    ::testing::Values(
        IdListCase{"NoRowsLeavesNullList", "", kIdQuery, std::nullopt, 0, std::nullopt, platform::S_OK},
        IdListCase{"NoRowsLeavesHeldList", "", kIdQuery, "12", 0, "12", platform::S_OK},
        IdListCase{"RowsStartANullList", kThreeRows, kIdQuery, std::nullopt, 3, "14,15,16", platform::S_OK},
        IdListCase{"RowsFollowHeldIds", "insert into v (k, id) values (1, 14), (2, 15);", kIdQuery, "12", 2,
                   "12,14,15", platform::S_OK},
        IdListCase{"Int32Limits", "insert into v (k, id) values (1, -2147483648), (2, 2147483647);", kIdQuery,
                   std::nullopt, 2, "-2147483648,2147483647", platform::S_OK},
        IdListCase{"DigitTextConverts", "insert into v (k, id) values (1, '12'), (2, '-3');", kIdQuery,
                   std::nullopt, 2, "12,-3", platform::S_OK},
        IdListCase{"DuplicateRowsAllAppended", "insert into v (k, id) values (1, 7), (2, 7);", kIdQuery, "7", 2,
                   "7,7,7", platform::S_OK}),
    CaseName());

// After a failure the list holds what was appended before it.
INSTANTIATE_TEST_SUITE_P(
    Failures, QueryIdListTest,
    ::testing::Values(
        IdListCase{"NullId", "insert into v (k, id) values (1, 14), (2, NULL), (3, 16);", kIdQuery, "12",
                   reconsider::kQueryFailed, "12,14", platform::DISP_E_TYPEMISMATCH},
        IdListCase{"NullIdFirst", "insert into v (k, id) values (1, NULL);", kIdQuery, std::nullopt,
                   reconsider::kQueryFailed, std::nullopt, platform::DISP_E_TYPEMISMATCH},
        IdListCase{"EmptyText", "insert into v (k, id) values (1, 14), (2, '');", kIdQuery, std::nullopt,
                   reconsider::kQueryFailed, "14", platform::DISP_E_TYPEMISMATCH},
        IdListCase{"WordText", "insert into v (k, id) values (1, 'x');", kIdQuery, "12",
                   reconsider::kQueryFailed, "12", platform::DISP_E_TYPEMISMATCH},
        IdListCase{"AboveInt32", "insert into v (k, id) values (1, 14), (2, 2147483648);", kIdQuery, "12",
                   reconsider::kQueryFailed, "12,14", platform::DISP_E_OVERFLOW},
        IdListCase{"FarBeyondInt32", "insert into v (k, id) values (1, 5000000000);", kIdQuery, "12",
                   reconsider::kQueryFailed, "12", platform::DISP_E_OVERFLOW},
        IdListCase{"BelowInt32", "insert into v (k, id) values (1, -2147483649);", kIdQuery, std::nullopt,
                   reconsider::kQueryFailed, std::nullopt, platform::DISP_E_OVERFLOW},
        IdListCase{"MissingTable", kThreeRows, "select id from absent", "12", reconsider::kQueryFailed, "12",
                   platform::DB_E_NOTABLE},
        IdListCase{"MissingColumn", kThreeRows, "select no_such from v", "12", reconsider::kQueryFailed, "12",
                   platform::DB_E_BADCOLUMNID},
        IdListCase{"FaultySql", kThreeRows, "selec id from v", "12", reconsider::kQueryFailed, "12",
                   platform::DB_E_ERRORSINCOMMAND},
        IdListCase{"ResultLacksTheColumn", kThreeRows, "select id as other from v", "12",
                   reconsider::kQueryFailed, "12", platform::adErrItemNotFound}),
    CaseName());

// ---------------------------------------------------------------------------
// QueryFirstValue

struct FirstValueCase {
  const char* name;
  const char* rows;
  const char* sql;
  const char* column;
  std::optional<std::string> value;
  HRESULT error;
};

class QueryFirstValueTest : public QueryPrimitivesTest,
                            public ::testing::WithParamInterface<FirstValueCase> {};

TEST_P(QueryFirstValueTest, ReadsTheFirstRowOrReportsTheFailure) {
  const FirstValueCase& test = GetParam();
  OpenWithRows(test.rows);
  const auto result = CaptureText([&] { return database_.QueryFirstValue(test.sql, test.column); });
  EXPECT_EQ(result.value, test.value);
  EXPECT_EQ(result.printed, test.error == platform::S_OK ? "" : ErrLine(test.error));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, QueryFirstValueTest,
    ::testing::Values(
        FirstValueCase{"NoRowsIsNull", "", kTextQuery, "txt", std::nullopt, platform::S_OK},
        FirstValueCase{"FirstOfSeveralRows", "insert into v (k, txt) values (1, 'first'), (2, 'second');",
                       kTextQuery, "txt", "first", platform::S_OK},
        FirstValueCase{"EmptyTextIsEmptyNotNull", "insert into v (k, txt) values (1, ''), (2, 'second');",
                       kTextQuery, "txt", "", platform::S_OK},
        FirstValueCase{"TextKeepsQuotesAndSpaces", "insert into v (k, txt) values (1, ' it''s {x} ');",
                       kTextQuery, "txt", " it's {x} ", platform::S_OK},
        FirstValueCase{"IntegerAsDecimalText", "insert into v (k, id) values (1, -14);", kIdQuery, "id", "-14",
                       platform::S_OK},
        FirstValueCase{"IntegerBeyond32BitsAsText", "insert into v (k, id) values (1, 5000000000);", kIdQuery,
                       "id", "5000000000", platform::S_OK}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Failures, QueryFirstValueTest,
    ::testing::Values(
        FirstValueCase{"NullValue", "insert into v (k, txt) values (1, NULL), (2, 'second');", kTextQuery,
                       "txt", std::nullopt, platform::DISP_E_TYPEMISMATCH},
        FirstValueCase{"MissingTable", "", "select txt from absent", "txt", std::nullopt,
                       platform::DB_E_NOTABLE},
        FirstValueCase{"FaultySql", "", "select txt frm v", "txt", std::nullopt,
                       platform::DB_E_ERRORSINCOMMAND},
        FirstValueCase{"ResultLacksTheColumn", "insert into v (k, txt) values (1, 'a');", kTextQuery, "other",
                       std::nullopt, platform::adErrItemNotFound}),
    CaseName());

// ---------------------------------------------------------------------------

// A failed query leaves nothing behind that stops the next one.
TEST_F(QueryPrimitivesTest, ObjectStaysUsableAfterFailures) {
  OpenWithRows("insert into v (k, id, txt) values (1, 14, 'a'), (2, NULL, 'b');");
  char* list = nullptr;
  EXPECT_EQ(PrintedBy([&] { database_.QueryIdList(kIdQuery, "id", &list); }),
            ErrLine(platform::DISP_E_TYPEMISMATCH));
  EXPECT_EQ(PrintedBy([&] { std::free(database_.QueryFirstValue("select x from absent", "x")); }),
            ErrLine(platform::DB_E_NOTABLE));

  const auto count = Capture([&] { return database_.QueryIdList("select id from v where k = 1", "id", &list); });
  EXPECT_EQ(count.value, 1);
  EXPECT_EQ(count.printed, "");
  EXPECT_EQ(TakeText(list), "14,14");
  const auto text = CaptureText([&] { return database_.QueryFirstValue("select txt from v where k = 2", "txt"); });
  EXPECT_EQ(text.value, "b");
  EXPECT_EQ(text.printed, "");
}

// The Command and Recordset each query makes come from the class registry.
TEST_F(QueryPrimitivesTest, ClassThatCannotBeMadeFailsWithOneLine) {
  OpenWithRows(kThreeRows);
  for (const platform::CLSID& clsid : {ado::CLSID_Command, ado::CLSID_Recordset}) {
    UnregisteredClass missing(clsid);
    char* list = strdup("12");
    const auto count = Capture([&] { return database_.QueryIdList(kIdQuery, "id", &list); });
    EXPECT_EQ(count.value, reconsider::kQueryFailed);
    EXPECT_EQ(count.printed, ErrLine(platform::REGDB_E_CLASSNOTREG));
    EXPECT_EQ(TakeText(list), "12");

    const auto value = CaptureText([&] { return database_.QueryFirstValue(kIdQuery, "id"); });
    EXPECT_EQ(value.value, std::nullopt);
    EXPECT_EQ(value.printed, ErrLine(platform::REGDB_E_CLASSNOTREG));
  }
}

}  // namespace
