// Command parameters: values are bound to the statement's "?" placeholders in
// the order they were appended, converted to their declared type, and never
// become part of the statement's text.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ado_fixture.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform_testing;
using platform::S_OK;
using testing_support::QueryRows;
using testing_support::Rows;
using testing_support::TempDir;

class Parameters : public testing_support::ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    path_ = dir_.File("repo.sqlite");
    testing_support::ExecuteSql(path_,
                                "create table t (id integer primary key, name text, flag boolean, at datetime);"
                                "insert into t values (1, 'plain', 0, null), (2, 'O''Brien', 1, '2024-03-04 09:12:00'),"
                                " (3, null, 0, null);");
    connection_ = OpenConnection(path_);
  }

  std::vector<std::string> IdsWhere(const std::string& condition, const std::vector<ParameterValue>& parameters) {
    return QueryColumn(connection_, "select id from t where " + condition + " order by id", "id", parameters);
  }

  TempDir dir_;
  std::string path_;
  ComPtr<ado::Connection> connection_;
};

TEST_F(Parameters, TextValueMatchesExactlyItself) {
  EXPECT_EQ(IdsWhere("name = ?", {TextParameter("O'Brien")}), std::vector<std::string>{"2"});
  EXPECT_EQ(IdsWhere("name = ?", {TextParameter("plain")}), std::vector<std::string>{"1"});
}

TEST_F(Parameters, ValueHoldingSqlIsNeverSpliced) {
  const Rows before = testing_support::DumpDatabase(path_);
  for (const char* value : {"x' or '1'='1", "' or 1=1 --", "plain' --", "'; delete from t; --", "\"plain\"",
                            "plain\"; drop table t; --", "?", "1) or (1=1"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(IdsWhere("name = ?", {TextParameter(value)}), std::vector<std::string>{});
    ExecuteStatement(connection_, "update t set name = name where name = ?", {TextParameter(value)});
  }
  EXPECT_EQ(testing_support::DumpDatabase(path_), before);
}

TEST_F(Parameters, ValueIsStoredByteForByte) {
  const std::string bytes("it's \"x\"; -- \xC3\xA9\x01\0end", 20);
  ExecuteStatement(connection_, "update t set name = ? where id = 1",
                   {{ado::adVarWChar, Variant(std::string_view(bytes))}});
  EXPECT_EQ(QueryRows(path_, "select hex(name) from t where id = 1").at(0).at(0),
            "69742773202278223B202D2D20C3A901" "00656E64");
  EXPECT_EQ(IdsWhere("name = ?", {{ado::adBSTR, Variant(std::string_view(bytes))}}), std::vector<std::string>{"1"});
}

TEST_F(Parameters, AreBoundInTheOrderAppended) {
  Statement statement(connection_, "select ? as first, ? as second, ? as third",
                      {TextParameter("a"), IntegerParameter(2), TextParameter("c")});
  ado::Recordset* rows = statement.Open();
  EXPECT_EQ(platform::BstrView(Collect(rows, "first").bstrVal), "a");
  EXPECT_EQ(Collect(rows, "second").lVal, 2);
  EXPECT_EQ(platform::BstrView(Collect(rows, "third").bstrVal), "c");
}

TEST_F(Parameters, NumberedPlaceholdersCountToo) {
  EXPECT_EQ(IdsWhere("id = ?1 or id = ?2", {IntegerParameter(1), IntegerParameter(3)}),
            (std::vector<std::string>{"1", "3"}));
}

struct CountCase {
  const char* name;
  const char* condition;
  int values;
};

void PrintTo(const CountCase& printed, std::ostream* out) { *out << printed.name; }

class ParameterCount : public Parameters, public ::testing::WithParamInterface<CountCase> {};

TEST_P(ParameterCount, MismatchFailsAndRunsNothing) {
  std::vector<ParameterValue> values;
  for (int i = 0; i < GetParam().values; ++i) values.push_back(IntegerParameter(1));
  const Rows before = testing_support::DumpDatabase(path_);
  EXPECT_EQ(Hex(ErrorOf([&] {
              ExecuteStatement(connection_, std::string("delete from t where ") + GetParam().condition, values);
            })),
            Hex(platform::DB_E_PARAMNOTOPTIONAL));
  EXPECT_EQ(testing_support::DumpDatabase(path_), before);
}

INSTANTIATE_TEST_SUITE_P(Counts, ParameterCount,
                         ::testing::Values(CountCase{"NoneForOne", "id = ?", 0}, CountCase{"TwoForOne", "id = ?", 2},
                                           CountCase{"OneForTwo", "id = ? or id = ?", 1},
                                           CountCase{"OneForNone", "id = 1", 1}),
                         [](const ::testing::TestParamInfo<CountCase>& case_info) {
                           return std::string(case_info.param.name);
                         });

struct TypedCase {
  const char* name;
  const char* condition;
  ado::DataTypeEnum type;
  Variant value;
  std::vector<std::string> ids;
};

void PrintTo(const TypedCase& printed, std::ostream* out) { *out << printed.name; }

class TypedParameter : public Parameters, public ::testing::WithParamInterface<TypedCase> {};

TEST_P(TypedParameter, IsConvertedToItsDeclaredType) {
  EXPECT_EQ(IdsWhere(GetParam().condition, {{GetParam().type, GetParam().value}}), GetParam().ids);
}

INSTANTIATE_TEST_SUITE_P(
    Types, TypedParameter,
    ::testing::Values(
        TypedCase{"IntegerFromText", "id = ?", ado::adInteger, Variant(" 2 "), {"2"}},
        TypedCase{"IntegerRoundsHalfToEven", "id = ?", ado::adInteger, Variant::Double(2.5), {"2"}},
        TypedCase{"BigIntFromText", "id < ?", ado::adBigInt, Variant("4294967296"), {"1", "2", "3"}},
        TypedCase{"DoubleFromText", "id > ?", ado::adDouble, Variant("1.5"), {"2", "3"}},
        TypedCase{"TextFromNumber", "name = ?", ado::adVarChar, Variant(12), {}},
        TypedCase{"TextFromNumberMatchesText", "cast(id as text) = ?", ado::adVarChar, Variant(3), {"3"}},
        TypedCase{"BooleanTrue", "flag = ?", ado::adBoolean, Variant::Boolean(true), {"2"}},
        TypedCase{"BooleanFromText", "flag = ?", ado::adBoolean, Variant("False"), {"1", "3"}},
        TypedCase{"DateAsStoredText", "at = ?", ado::adDate, Variant::Date(45355.0 + (9 * 60 + 12) / 1440.0), {"2"}},
        TypedCase{"DateFromText", "at = ?", ado::adDate, Variant("2024-03-04T09:12:00"), {"2"}},
        TypedCase{"NullMatchesNothing", "name = ?", ado::adVarChar, Variant::Null(), {}},
        TypedCase{"NullIsNull", "name is ?", ado::adVarChar, Variant::Null(), {"3"}},
        TypedCase{"EmptyIsNull", "name is ?", ado::adInteger, Variant(), {"3"}}),
    [](const ::testing::TestParamInfo<TypedCase>& case_info) { return std::string(case_info.param.name); });

TEST_F(Parameters, ValueThatDoesNotConvertFailsWhenRun) {
  EXPECT_EQ(Hex(ErrorOf([&] { IdsWhere("id = ?", {{ado::adInteger, Variant("two")}}); })),
            Hex(platform::DISP_E_TYPEMISMATCH));
  EXPECT_EQ(Hex(ErrorOf([&] { IdsWhere("id = ?", {{ado::adInteger, Variant("2147483648")}}); })),
            Hex(platform::DISP_E_OVERFLOW));
  EXPECT_EQ(Hex(ErrorOf([&] { IdsWhere("at = ?", {{ado::adDate, Variant("tomorrow")}}); })),
            Hex(platform::DISP_E_TYPEMISMATCH));
}

TEST_F(Parameters, CreateParameterRefusesWhatTheProviderCannotBind) {
  ComPtr<ado::Command> command;
  platform::MakeObject(command, ado::CLSID_Command);
  const BString name("p");
  const Variant value(1);
  ComPtr<ado::Parameter> parameter;
  EXPECT_EQ(command->raw_CreateParameter(name.Get(), static_cast<ado::DataTypeEnum>(130), ado::adParamInput, 0, value,
                                         parameter.ReleaseAndGetAddressOf()),
            platform::adErrInvalidArgument);
  EXPECT_EQ(command->raw_CreateParameter(name.Get(), ado::adInteger, static_cast<ado::ParameterDirectionEnum>(2), 0,
                                         value, parameter.ReleaseAndGetAddressOf()),
            platform::adErrInvalidArgument);
  EXPECT_EQ(command->raw_CreateParameter(name.Get(), ado::adInteger, ado::adParamInput, -1, value,
                                         parameter.ReleaseAndGetAddressOf()),
            platform::adErrInvalidArgument);
  EXPECT_FALSE(parameter);
  EXPECT_EQ(command->raw_CreateParameter(name.Get(), ado::adInteger, ado::adParamInput, 4, value, nullptr),
            platform::E_POINTER);
}

TEST_F(Parameters, ParameterKeepsWhatItWasMadeWith) {
  ComPtr<ado::Command> command;
  platform::MakeObject(command, ado::CLSID_Command);
  const BString name("element name");
  Variant value("O'Brien");
  const ComPtr<ado::Parameter> parameter =
      command->CreateParameter(name.Get(), ado::adVarWChar, ado::adParamInput, 255, value);
  value.SetInt32(0);  // the parameter holds its own copy

  platform::BSTR got_name = nullptr;
  ASSERT_EQ(parameter->get_Name(&got_name), S_OK);
  EXPECT_EQ(platform::BstrView(got_name), "element name");
  platform::SysFreeString(got_name);
  ado::DataTypeEnum type = ado::adInteger;
  ado::ParameterDirectionEnum direction = static_cast<ado::ParameterDirectionEnum>(0);
  std::int32_t size = 0;
  Variant got_value;
  EXPECT_EQ(parameter->get_Type(&type), S_OK);
  EXPECT_EQ(parameter->get_Direction(&direction), S_OK);
  EXPECT_EQ(parameter->get_Size(&size), S_OK);
  EXPECT_EQ(parameter->get_Value(&got_value), S_OK);
  EXPECT_EQ(type, ado::adVarWChar);
  EXPECT_EQ(direction, ado::adParamInput);
  EXPECT_EQ(size, 255);
  ASSERT_EQ(got_value.vt, platform::VT_BSTR);
  EXPECT_EQ(platform::BstrView(got_value.bstrVal), "O'Brien");
}

TEST_F(Parameters, AppendTakesOnlyParameters) {
  ComPtr<ado::Command> command;
  platform::MakeObject(command, ado::CLSID_Command);
  const ComPtr<ado::Parameters> parameters = command->GetParameters();
  EXPECT_EQ(parameters->raw_Append(connection_.Get()), platform::adErrInvalidArgument);
  EXPECT_EQ(parameters->raw_Append(nullptr), platform::E_POINTER);
  // The command hands out one collection.
  EXPECT_EQ(command->GetParameters().Get(), parameters.Get());
}

TEST_F(Parameters, SameCommandRunsAgainWithTheSameValues) {
  Statement statement(connection_, "select id from t where name = ?", {TextParameter("O'Brien")});
  ado::Recordset* rows = statement.Open();
  EXPECT_EQ(ReadColumn(rows, "id"), std::vector<std::string>{"2"});
  rows->Close();
  statement.Open();
  EXPECT_EQ(ReadColumn(rows, "id"), std::vector<std::string>{"2"});
}

}  // namespace
