// Statements and their parameters on a PostgreSQL server: "?" is a
// placeholder only outside literals, identifiers and comments; values travel
// beside the statement (a value holding SQL changes nothing); a text holding
// more than one statement is refused before anything runs.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pg/pg_fixture.h"
#include "support/sqlite_file.h"

namespace {

using namespace pg_testing;

using PgParameters = PgTest;

struct PlaceholderCase {
  const char* name;
  const char* statement;  // yields columns q (a literal) and p (the value)
  const char* literal;
};

void PrintTo(const PlaceholderCase& printed, std::ostream* out) { *out << printed.name; }

class PgPlaceholders : public PgTest, public ::testing::WithParamInterface<PlaceholderCase> {};

TEST_P(PgPlaceholders, AreOnlyOutsideQuotedTextAndComments) {
  Statement statement(connection_, GetParam().statement, {TextParameter("value")});
  ado::Recordset* rows = statement.Open();
  ASSERT_FALSE(rows->GetEOF());
  EXPECT_EQ(platform::BstrView(Collect(rows, "q").bstrVal), GetParam().literal);
  EXPECT_EQ(platform::BstrView(Collect(rows, "p").bstrVal), "value");
}

INSTANTIATE_TEST_SUITE_P(
    Statements, PgPlaceholders,
    ::testing::Values(PlaceholderCase{"StringLiteral", "select 'a?b' as q, ? as p", "a?b"},
                      PlaceholderCase{"DoubledQuote", "select 'it''s ?' as q, ? as p", "it's ?"},
                      PlaceholderCase{"EscapeString", "select E'\\'?\\\\' as q, ? as p", "'?\\"},
                      PlaceholderCase{"DollarQuote", "select $$?'?$$ as q, ? as p", "?'?"},
                      PlaceholderCase{"TaggedDollarQuote", "select $x$ $$ ? $x$ as q, ? as p", " $$ ? "},
                      PlaceholderCase{"QuotedIdentifier", "select \"?\".q, ? as p from (select '?' as q) as \"?\"",
                                      "?"},
                      PlaceholderCase{"Comments", "select /* ? /* ? */ ? */ '-' as q, -- ?\n ? as p", "-"},
                      PlaceholderCase{"Cast", "select 'c' as q, ?::text as p", "c"}),
    CaseName());

TEST_F(PgParameters, ValuesOfEachTypeReachTheServerAsThatValue) {
  database_.Execute("create table v (i integer, b bigint, r double precision, f boolean, d timestamp, s text)");
  ExecuteStatement(connection_, "insert into v values (?, ?, ?, ?, ?, ?)",
                   {IntegerParameter(-7),
                    {ado::adBigInt, Variant::Int64(9007199254740993LL)},
                    {ado::adDouble, Variant::Double(0.1)},
                    {ado::adBoolean, Variant::Boolean(true)},
                    {ado::adDate, Variant::Date(45355.0 + 0.5)},
                    {ado::adVarChar, Variant::Null()}});
  EXPECT_EQ(database_.Query("select i, b, r = 0.1, f, d, s is null from v"),
            (Rows{{"-7", "9007199254740993", "t", "t", "2024-03-04 12:00:00", "t"}}));
}

TEST_F(PgParameters, TextIsStoredByteForByte) {
  const std::string text = "it's \"x\"; -- \xC3\xA9 $$ ? \\ end";
  ExecuteStatement(connection_, "update t set name = ? where id = 1", {TextParameter(text)});
  EXPECT_EQ(database_.Query("select encode(convert_to(name, 'UTF8'), 'hex') from t where id = 1").at(0).at(0),
            "69742773202278223b202d2d20c3a9202424203f205c20656e64");
  EXPECT_EQ(QueryColumn(connection_, "select id from t where name = ?", "id", {TextParameter(text)}),
            std::vector<std::string>{"1"});
}

// The root package's GUID is the one value the run binds; one that holds a
// quote or SQL matches nothing and changes nothing.
TEST_F(PgParameters, ValueHoldingSqlIsNeverSpliced) {
  testing_support::TempDir dir;
  testing_support::CreateSampleRepository(dir.File("sample.sqlite"));
  database_.LoadSqlite(dir.File("sample.sqlite"));
  const Rows before = database_.Dump();
  for (const char* value : {"x' or '1'='1", "'; drop table t_package; --", "' or 1=1 --", "\"t_package\"",
                            "{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}' or 'a'='a", "$$ or true --", "?",
                            "1) or (1=1"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(QueryColumn(connection_, "select package_id from t_package where ov_guid = ?", "package_id",
                          {TextParameter(value)}),
              std::vector<std::string>{});
    ExecuteStatement(connection_, "update t_object set tagged = 1 where ov_guid = ?", {TextParameter(value)});
  }
  EXPECT_EQ(database_.Dump(), before);
  EXPECT_EQ(QueryColumn(connection_, "select package_id from t_package where ov_guid = ?", "package_id",
                        {TextParameter("{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}")}),
            std::vector<std::string>{"2"});
}

TEST_F(PgParameters, TextWithANulCharacterIsRefused) {
  EXPECT_EQ(Hex(ErrorOf([&] {
              ExecuteStatement(connection_, "update t set name = ? where id = 1",
                               {TextParameter(std::string("cut\0here", 8))});
            })),
            Hex(platform::DB_E_CANTCONVERTVALUE));
  EXPECT_EQ(NameOnServer(), "before");
}

struct CountCase {
  const char* name;
  const char* statement;
  int values;
};

void PrintTo(const CountCase& printed, std::ostream* out) { *out << printed.name; }

class PgParameterCount : public PgTest, public ::testing::WithParamInterface<CountCase> {};

TEST_P(PgParameterCount, MustMatchTheValues) {
  std::vector<ParameterValue> values;
  for (int i = 0; i < GetParam().values; ++i) values.push_back(IntegerParameter(i));
  EXPECT_EQ(Hex(ErrorOf([&] { QueryColumn(connection_, GetParam().statement, "id", values); })),
            Hex(platform::DB_E_PARAMNOTOPTIONAL));
}

INSTANTIATE_TEST_SUITE_P(Statements, PgParameterCount,
                         ::testing::Values(CountCase{"FewerValues", "select id from t where id = ? or id = ?", 1},
                                           CountCase{"MoreValues", "select id from t where id = ?", 2},
                                           CountCase{"ValueWithoutPlaceholder", "select id from t", 1},
                                           CountCase{"PlaceholderOnlyInALiteral", "select id from t where name = '?'", 1}),
                         CaseName());

struct RefusedCase {
  const char* name;
  std::string statement;
  HRESULT expected;
};

void PrintTo(const RefusedCase& printed, std::ostream* out) { *out << printed.name; }

class PgRefusedText : public PgTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(PgRefusedText, RunsNothing) {
  const Rows before = database_.Dump();
  EXPECT_EQ(Hex(ErrorOf([&] { ExecuteStatement(connection_, GetParam().statement); })), Hex(GetParam().expected));
  EXPECT_EQ(database_.Dump(), before);
  EXPECT_EQ(database_.Query("select count(*) from pg_tables where tablename = 't'"), (Rows{{"1"}}));
}

INSTANTIATE_TEST_SUITE_P(
    Statements, PgRefusedText,
    ::testing::Values(
        RefusedCase{"TwoUpdates", "update t set name = 'x' where id = 1; delete from t", platform::E_MULTIPLE_STATEMENTS},
        RefusedCase{"AfterALiteral", "update t set name = ';' where id = 1; drop table t", platform::E_MULTIPLE_STATEMENTS},
        RefusedCase{"AfterAComment", "update t set name = 'x' /* ; */; -- ;\n drop table t",
                    platform::E_MULTIPLE_STATEMENTS},
        RefusedCase{"Nothing", " -- nothing\n", platform::DB_E_NOCOMMAND},
        RefusedCase{"OnlySemicolons", " ; ; ", platform::DB_E_NOCOMMAND},
        RefusedCase{"NulInTheText", std::string("update t set name = 'x' where id = 1\0 or true", 45),
                    platform::DB_E_ERRORSINCOMMAND}),
    CaseName());

TEST_F(PgParameters, OneStatementMayEndInSemicolonsAndComments) {
  ExecuteStatement(connection_, "update t set name = ? where id = 1; ; -- done", {TextParameter("after")});
  EXPECT_EQ(NameOnServer(), "after");
}

}  // namespace
