// The VARIANT types Recordset.Collect hands out for SQLite values: by storage
// class, refined by the column's declared type for booleans and dates, and
// texts exactly as stored.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "ado_fixture.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform_testing;
using platform::VARTYPE;
using testing_support::TempDir;

constexpr double kMarch4th2024 = 45355.0;
constexpr double kNineTwelve = (9 * 60 + 12) / 1440.0;

class ColumnValues : public testing_support::ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    path_ = dir_.File("values.sqlite");
    testing_support::ExecuteSql(
        path_,
        "create table v (id integer primary key, i integer, r double, t text, vc varchar(20), b boolean, bit_flag bit,"
        " d datetime, ts timestamp, small smallint, tiny tinyint, untyped, bl blob);");
    connection_ = OpenConnection(path_);
  }

  // The value of `expression` in one row of v holding `row_values`.
  Variant ValueOf(const std::string& row_values, const std::string& expression) {
    testing_support::ExecuteSql(path_, "delete from v; insert into v " + row_values + ";");
    Statement statement(connection_, "select " + expression + " as value from v");
    ado::Recordset* rows = statement.Open();
    EXPECT_FALSE(rows->GetEOF());
    return Collect(rows, "value");
  }

  TempDir dir_;
  std::string path_;
  ComPtr<ado::Connection> connection_;
};

TEST_F(ColumnValues, IntegersAreI4WithinThirtyTwoBitsAndI8Beyond) {
  struct Case {
    const char* stored;
    VARTYPE type;
    std::int64_t value;
  };
  for (const Case& c : {Case{"0", platform::VT_I4, 0}, Case{"-45", platform::VT_I4, -45},
                        Case{"2147483647", platform::VT_I4, 2147483647},
                        Case{"-2147483648", platform::VT_I4, -2147483648LL},
                        Case{"2147483648", platform::VT_I8, 2147483648LL},
                        Case{"-2147483649", platform::VT_I8, -2147483649LL},
                        Case{"9223372036854775807", platform::VT_I8, 9223372036854775807LL}}) {
    SCOPED_TRACE(c.stored);
    const Variant value = ValueOf(std::string("(i) values (") + c.stored + ")", "i");
    ASSERT_EQ(value.vt, c.type);
    EXPECT_EQ(c.type == platform::VT_I4 ? value.lVal : value.llVal, c.value);
  }
}

TEST_F(ColumnValues, RealsAreDoubles) {
  const Variant value = ValueOf("(r) values (1.5)", "r");
  ASSERT_EQ(value.vt, platform::VT_R8);
  EXPECT_EQ(value.dblVal, 1.5);
  // A whole number in a DOUBLE column is still a real.
  EXPECT_EQ(ValueOf("(r) values (150)", "r").vt, platform::VT_R8);
  EXPECT_EQ(ValueOf("(i) values (2.25)", "i").vt, platform::VT_R8);
}

TEST_F(ColumnValues, TextsAreHandedOutExactlyAsStored) {
  // Bytes of no one encoding, an embedded NUL, quotes and trailing spaces.
  const Variant value = ValueOf("(t) values (cast(x'C3A9E9FF00412722202020' as text))", "t");
  ASSERT_EQ(value.vt, platform::VT_BSTR);
  EXPECT_EQ(platform::BstrView(value.bstrVal), std::string_view("\xC3\xA9\xE9\xFF\0A'\"   ", 11));

  const Variant guid = ValueOf("(vc) values ('{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}')", "vc");
  ASSERT_EQ(guid.vt, platform::VT_BSTR);
  EXPECT_EQ(platform::BstrView(guid.bstrVal), "{7D1E2F30-8B5C-4A66-B2D9-3E4F5A6B7C02}");
}

TEST_F(ColumnValues, EmptyTextIsAnEmptyBstrNotNull) {
  const Variant value = ValueOf("(t) values ('')", "t");
  ASSERT_EQ(value.vt, platform::VT_BSTR);
  EXPECT_EQ(platform::SysStringLen(value.bstrVal), 0u);
}

TEST_F(ColumnValues, TextInANumberColumnStaysText) {
  const Variant value = ValueOf("(i) values ('12abc')", "i");
  ASSERT_EQ(value.vt, platform::VT_BSTR);
  EXPECT_EQ(platform::BstrView(value.bstrVal), "12abc");
}

TEST_F(ColumnValues, BlobsAreTheirBytes) {
  const Variant value = ValueOf("(bl) values (x'00FF10')", "bl");
  ASSERT_EQ(value.vt, platform::VT_BSTR);
  EXPECT_EQ(platform::BstrView(value.bstrVal), std::string_view("\0\xFF\x10", 3));
}

TEST_F(ColumnValues, NullIsVtNullInEveryColumn) {
  for (const char* column : {"i", "r", "t", "vc", "b", "bit_flag", "d", "ts", "untyped", "bl"}) {
    SCOPED_TRACE(column);
    EXPECT_EQ(ValueOf("(id) values (1)", column).vt, platform::VT_NULL);
  }
}

TEST_F(ColumnValues, BooleanColumnsAreVtBool) {
  struct Case {
    const char* row;
    const char* column;
    platform::VARIANT_BOOL value;
  };
  for (const Case& c : {Case{"(b) values (1)", "b", platform::VARIANT_TRUE},
                        Case{"(b) values (0)", "b", platform::VARIANT_FALSE},
                        Case{"(b) values (-1)", "b", platform::VARIANT_TRUE},
                        Case{"(b) values (2)", "b", platform::VARIANT_TRUE},
                        Case{"(bit_flag) values (1)", "bit_flag", platform::VARIANT_TRUE},
                        Case{"(bit_flag) values (0)", "bit_flag", platform::VARIANT_FALSE}}) {
    SCOPED_TRACE(c.row);
    const Variant value = ValueOf(c.row, c.column);
    ASSERT_EQ(value.vt, platform::VT_BOOL);
    EXPECT_EQ(value.boolVal, c.value);
  }
}

TEST_F(ColumnValues, DateColumnsAreVtDate) {
  struct Case {
    const char* row;
    const char* column;
    double date;
  };
  for (const Case& c : {Case{"(d) values ('2024-03-04 09:12:00')", "d", kMarch4th2024 + kNineTwelve},
                        Case{"(d) values ('2024-03-04')", "d", kMarch4th2024},
                        Case{"(d) values ('09:12:00')", "d", kNineTwelve},
                        Case{"(d) values ('2024-03-04T09:12')", "d", kMarch4th2024 + kNineTwelve},
                        Case{"(ts) values ('2024-03-04 09:12:00')", "ts", kMarch4th2024 + kNineTwelve},
                        Case{"(d) values (45355.5)", "d", kMarch4th2024 + 0.5}}) {
    SCOPED_TRACE(c.row);
    const Variant value = ValueOf(c.row, c.column);
    ASSERT_EQ(value.vt, platform::VT_DATE);
    EXPECT_NEAR(value.date, c.date, 1e-9);
  }
}

TEST_F(ColumnValues, DateColumnTextThatIsNoDateStaysText) {
  for (const char* text : {"soon", "2024-02-30", "", "2024-03-04 25:00"}) {
    SCOPED_TRACE(text);
    const Variant value = ValueOf(std::string("(d) values ('") + text + "')", "d");
    ASSERT_EQ(value.vt, platform::VT_BSTR);
    EXPECT_EQ(platform::BstrView(value.bstrVal), text);
  }
}

TEST_F(ColumnValues, OtherNumberTypesArePlainIntegersAndDoubles) {
  EXPECT_EQ(ValueOf("(small) values (3)", "small").vt, platform::VT_I4);
  EXPECT_EQ(ValueOf("(tiny) values (3)", "tiny").vt, platform::VT_I4);
  EXPECT_EQ(ValueOf("(untyped) values (3)", "untyped").vt, platform::VT_I4);
  EXPECT_EQ(ValueOf("(untyped) values (0.5)", "untyped").vt, platform::VT_R8);
}

TEST_F(ColumnValues, DeclaredTypeFollowsTheColumnThroughAnAlias) {
  EXPECT_EQ(ValueOf("(b) values (1)", "b").vt, platform::VT_BOOL);
  // An expression has no declared type: its storage class decides.
  EXPECT_EQ(ValueOf("(b) values (1)", "b + 0").vt, platform::VT_I4);
  EXPECT_EQ(ValueOf("(d) values ('2024-03-04')", "d || ''").vt, platform::VT_BSTR);
  // Texts that read as dates or flags stay texts outside date and flag columns.
  EXPECT_EQ(ValueOf("(vc) values ('2024-03-04')", "vc").vt, platform::VT_BSTR);
  EXPECT_EQ(ValueOf("(t) values ('True')", "t").vt, platform::VT_BSTR);
}

TEST_F(ColumnValues, SampleRepositoryValuesHaveTheirTypes) {
  const std::string path = dir_.File("sample.sqlite");
  testing_support::CopyFile(testing_support::FixturePath("repositories/sample.sqlite"), path);
  const ComPtr<ado::Connection> sample = OpenConnection(path);
  Statement statement(sample,
                      "select object_id, name, createddate, isactive, effort, alias from t_object "
                      "where object_id = 100");
  ado::Recordset* rows = statement.Open();
  EXPECT_EQ(Collect(rows, "object_id").vt, platform::VT_I4);
  EXPECT_EQ(Collect(rows, "name").vt, platform::VT_BSTR);
  const Variant created = Collect(rows, "createddate");
  ASSERT_EQ(created.vt, platform::VT_DATE);
  EXPECT_NEAR(created.date, kMarch4th2024 + kNineTwelve, 1e-9);
  EXPECT_EQ(Collect(rows, "isactive").vt, platform::VT_BOOL);
  EXPECT_EQ(Collect(rows, "effort").vt, platform::VT_R8);
  EXPECT_EQ(Collect(rows, "alias").vt, platform::VT_NULL);
}

TEST_F(ColumnValues, CollectReplacesWhatTheVariantHeld) {
  testing_support::ExecuteSql(path_, "insert into v (t) values ('new');");
  Statement statement(connection_, "select t from v");
  ado::Recordset* rows = statement.Open();
  Variant value("old text");  // freed by the call (the sanitizer build sees a leak otherwise)
  ASSERT_EQ(rows->get_Collect(Variant("t"), &value), platform::S_OK);
  EXPECT_EQ(platform::BstrView(value.bstrVal), "new");
}

}  // namespace
