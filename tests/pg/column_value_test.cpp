// The VARIANT types Recordset.Collect hands out for a PostgreSQL server's
// values: by the column's type, NULL as VT_NULL in every type, values a
// type's VARIANT cannot hold as their text, and column names as the server
// spells them.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>

#include "oleaut/ole_date.h"
#include "pg/pg_fixture.h"

namespace {

using namespace pg_testing;
using platform::VARTYPE;

// A value as "TYPE:text", so that one comparison shows both.
std::string Describe(const Variant& value) {
  char number[32];
  switch (value.vt) {
    case platform::VT_NULL:
      return "NULL";
    case platform::VT_I4:
      return "I4:" + std::to_string(value.lVal);
    case platform::VT_I8:
      return "I8:" + std::to_string(value.llVal);
    case platform::VT_R8: {
      const auto written = std::to_chars(number, number + sizeof number, value.dblVal);
      return "R8:" + std::string(number, written.ptr);
    }
    case platform::VT_BOOL:
      return value.boolVal == platform::VARIANT_TRUE ? "BOOL:true"
                                                     : value.boolVal == platform::VARIANT_FALSE ? "BOOL:false"
                                                                                                : "BOOL:?";
    case platform::VT_DATE:
      return "DATE:" + platform::FormatDateText(value.date).value_or("out of range");
    case platform::VT_BSTR:
      return "BSTR:" + std::string(platform::BstrView(value.bstrVal));
    default:
      return "vt " + std::to_string(value.vt);
  }
}

class PgColumnValues : public PgTest {
 protected:
  Variant ValueOf(const std::string& expression) {
    Statement statement(connection_, "select " + expression + " as value");
    ado::Recordset* rows = statement.Open();
    EXPECT_FALSE(rows->GetEOF());
    return Collect(rows, "value");
  }
};

struct TypeCase {
  const char* name;
  const char* expression;
  std::string expected;
};

void PrintTo(const TypeCase& printed, std::ostream* out) { *out << printed.name; }

class PgColumnTypes : public PgColumnValues, public ::testing::WithParamInterface<TypeCase> {};

TEST_P(PgColumnTypes, MapToTheirVariantType) { EXPECT_EQ(Describe(ValueOf(GetParam().expression)), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Types, PgColumnTypes,
    ::testing::Values(
        TypeCase{"SmallintIsI4", "(-32768)::smallint", "I4:-32768"},
        TypeCase{"IntegerIsI4", "2147483647::integer", "I4:2147483647"},
        TypeCase{"IntegerMinimum", "(-2147483648)::integer", "I4:-2147483648"},
        // A bigint stays I8 however small its value.
        TypeCase{"SmallBigintIsI8", "7::bigint", "I8:7"},
        TypeCase{"BigintIsI8", "(-9223372036854775808)::bigint", "I8:-9223372036854775808"},
        TypeCase{"RealIsR8", "1.5::real", "R8:1.5"},
        TypeCase{"DoubleIsR8Exactly", "0.1::double precision", "R8:0.1"},
        TypeCase{"DoubleThirdIsR8Exactly", "(1::double precision / 3)", "R8:0.3333333333333333"},
        TypeCase{"NumericIsR8", "123.25::numeric", "R8:123.25"},
        TypeCase{"NumericNaN", "'NaN'::numeric", "R8:nan"},
        TypeCase{"DoubleInfinity", "'-Infinity'::double precision", "R8:-inf"},
        TypeCase{"NumericBeyondDoubleIsText", "1e400::numeric", "BSTR:1" + std::string(400, '0')},
        TypeCase{"TrueIsBool", "true", "BOOL:true"},
        TypeCase{"FalseIsBool", "false", "BOOL:false"},
        TypeCase{"TextIsBstr", "'it''s \"x\"'::text", "BSTR:it's \"x\""},
        TypeCase{"Utf8TextKeepsItsBytes", "'\xC3\xA9t\xC3\xA9'::text", "BSTR:\xC3\xA9t\xC3\xA9"},
        TypeCase{"EmptyTextIsAnEmptyBstr", "''::text", "BSTR:"},
        TypeCase{"VarcharIsBstr", "'{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}'::varchar(40)",
                 "BSTR:{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}"},
        TypeCase{"CharIsBstrPadded", "'ab'::char(5)", "BSTR:ab   "},
        TypeCase{"NameIsBstr", "'t_object'::name", "BSTR:t_object"},
        TypeCase{"DateIsDate", "'2024-03-04'::date", "DATE:2024-03-04"},
        TypeCase{"TimestampIsDate", "'2024-03-04 09:12:07'::timestamp", "DATE:2024-03-04 09:12:07"},
        TypeCase{"TimestampBeforeDayZero", "'1899-12-29 06:00'::timestamp", "DATE:1899-12-29 06:00:00"},
        TypeCase{"TimestampOutOfRangeIsText", "'0044-03-15 BC'::timestamp", "BSTR:0044-03-15 00:00:00 BC"},
        TypeCase{"InfinityIsText", "'infinity'::timestamp", "BSTR:infinity"},
        TypeCase{"TimeIsText", "'09:12:00'::time", "BSTR:09:12:00"},
        TypeCase{"ByteaIsItsText", "'\\x00ff'::bytea", "BSTR:\\x00ff"},
        TypeCase{"UuidIsText", "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'::uuid",
                 "BSTR:a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11"},
        TypeCase{"NullIntegerIsNull", "null::integer", "NULL"},
        TypeCase{"NullBigintIsNull", "null::bigint", "NULL"},
        TypeCase{"NullDoubleIsNull", "null::double precision", "NULL"},
        TypeCase{"NullBooleanIsNull", "null::boolean", "NULL"},
        TypeCase{"NullTextIsNull", "null::text", "NULL"},
        TypeCase{"NullTimestampIsNull", "null::timestamp", "NULL"},
        TypeCase{"UnknownNullIsNull", "null", "NULL"}),
    CaseName());

TEST_F(PgColumnValues, TimestampKeepsFractionsOfASecond) {
  const Variant value = ValueOf("'2024-03-04 09:12:00.5'::timestamp");
  ASSERT_EQ(value.vt, platform::VT_DATE);
  EXPECT_NEAR(value.date, 45355.0 + (9 * 3600 + 12 * 60 + 0.5) / 86400.0, 1e-10);
}

// A timestamptz reads as the wall-clock time of the session's time zone,
// whatever the zone's offset looks like.
TEST_F(PgColumnValues, TimestampWithZoneIsTheSessionsWallClock) {
  for (const auto& [zone, expected] : {std::pair{"UTC", "DATE:2024-03-04 03:42:00"},
                                       std::pair{"Asia/Kolkata", "DATE:2024-03-04 09:12:00"},
                                       std::pair{"America/St_Johns", "DATE:2024-03-04 00:12:00"}}) {
    SCOPED_TRACE(zone);
    ExecuteStatement(connection_, std::string("set time zone '") + zone + "'");
    EXPECT_EQ(Describe(ValueOf("'2024-03-04 03:42:00+00'::timestamptz")), expected);
  }
}

TEST_F(PgColumnValues, ColumnsOfATableKeepTheirTypesAndNames) {
  database_.Execute(
      "create table v (id integer primary key, small smallint, big bigint, flag boolean, at timestamp,"
      " \"MixedCase\" text);"
      "insert into v values (1, 3, 4, true, '2024-03-04 09:12:00', 'kept'), (2, null, null, null, null, null);");
  Statement statement(connection_, "select small, BIG, Flag, at, \"MixedCase\" from v order by id");
  ado::Recordset* rows = statement.Open();
  ASSERT_FALSE(rows->GetEOF());
  // Names are looked up without regard to case, whatever the server's spelling.
  EXPECT_EQ(Describe(Collect(rows, "SMALL")), "I4:3");
  EXPECT_EQ(Describe(Collect(rows, "big")), "I8:4");
  EXPECT_EQ(Describe(Collect(rows, "flag")), "BOOL:true");
  EXPECT_EQ(Describe(Collect(rows, "at")), "DATE:2024-03-04 09:12:00");
  EXPECT_EQ(Describe(Collect(rows, "mixedcase")), "BSTR:kept");
  rows->MoveNext();
  ASSERT_FALSE(rows->GetEOF());
  for (const char* column : {"small", "big", "flag", "at", "MixedCase"}) {
    EXPECT_EQ(Describe(Collect(rows, column)), "NULL") << column;
  }
  rows->MoveNext();
  EXPECT_TRUE(rows->GetEOF());
}

TEST_F(PgColumnValues, StatementWithoutRowsOpensNoRecordset) {
  Statement statement(connection_, "update t set name = name where id = 1");
  const Variant missing = Variant::Missing();
  statement.Recordset()->Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdUnknown);
  EXPECT_EQ(Hex(ErrorOf([&] { statement.Recordset()->GetEOF(); })), Hex(platform::adErrObjectClosed));
  // A query that yields no row opens at EOF.
  EXPECT_TRUE(Statement(connection_, "select id from t where id < 0").Open()->GetEOF());
}

}  // namespace
