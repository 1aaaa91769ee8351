// VariantChangeType: the conversions the system relies on, their failures,
// and what happens to the values' storage (in place, same type, failures).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "com/com_error.h"
#include "com/unknown.h"
#include "oleaut/bstr.h"
#include "oleaut/ole_date.h"
#include "oleaut/variant.h"

namespace {

using namespace platform;

// 2024-03-04 is day 45355 after 1899-12-30.
constexpr DATE kMarch4th2024 = 45355.0;
constexpr DATE kNineTwelve = (9 * 3600 + 12 * 60) / 86400.0;

Variant Text(std::string_view text) { return Variant(text); }

std::string Describe(const VARIANT& value) {
  switch (value.vt) {
    case VT_EMPTY: return "EMPTY";
    case VT_NULL: return "NULL";
    case VT_I4: return "I4 " + std::to_string(value.lVal);
    case VT_I8: return "I8 " + std::to_string(value.llVal);
    case VT_R8: return "R8 " + std::to_string(value.dblVal);
    case VT_DATE: return "DATE " + std::to_string(value.date);
    case VT_BOOL: return "BOOL " + std::to_string(value.boolVal);
    case VT_BSTR: return "BSTR \"" + std::string(BstrView(value.bstrVal)) + "\"";
    case VT_ERROR: return "ERROR";
    default: return "vt " + std::to_string(value.vt);
  }
}

struct Conversion {
  const char* name;
  Variant source;
  VARTYPE target;
  HRESULT result;
  Variant expected;  // for a failure: ignored
};

void PrintTo(const Conversion& conversion, std::ostream* out) {
  *out << conversion.name << ": " << Describe(conversion.source) << " to vt " << conversion.target;
}

bool SameValue(const VARIANT& a, const VARIANT& b) {
  if (a.vt != b.vt) return false;
  switch (a.vt) {
    case VT_EMPTY:
    case VT_NULL: return true;
    case VT_I4: return a.lVal == b.lVal;
    case VT_I8: return a.llVal == b.llVal;
    case VT_R8: return a.dblVal == b.dblVal || (std::isnan(a.dblVal) && std::isnan(b.dblVal));
    case VT_DATE: return std::abs(a.date - b.date) < 1e-9;
    case VT_BOOL: return a.boolVal == b.boolVal;
    case VT_BSTR: return BstrView(a.bstrVal) == BstrView(b.bstrVal);
    case VT_ERROR: return a.scode == b.scode;
    case VT_UNKNOWN: return a.punkVal == b.punkVal;
    default: return false;
  }
}

std::string CaseName(const ::testing::TestParamInfo<Conversion>& case_info) {
  return case_info.param.name;
}

class ChangeType : public ::testing::TestWithParam<Conversion> {};

TEST_P(ChangeType, GivesTheExpectedValueOrFailure) {
  const Conversion& conversion = GetParam();
  Variant converted;
  const HRESULT result = VariantChangeType(&converted, &conversion.source, 0, conversion.target);
  ASSERT_EQ(result, conversion.result) << "got " << Describe(converted);
  if (Failed(result)) {
    EXPECT_EQ(converted.vt, VT_EMPTY) << "a failed conversion left " << Describe(converted);
  } else {
    EXPECT_TRUE(SameValue(converted, conversion.expected))
        << "got " << Describe(converted) << ", expected " << Describe(conversion.expected);
  }
}

TEST_P(ChangeType, GivesTheSameInPlace) {
  const Conversion& conversion = GetParam();
  Variant value = conversion.source;
  const HRESULT result = VariantChangeType(&value, &value, 0, conversion.target);
  ASSERT_EQ(result, conversion.result);
  // A failure leaves the value as it was; a success replaces it.
  EXPECT_TRUE(SameValue(value, Failed(result) ? conversion.source : conversion.expected))
      << "got " << Describe(value);
}

const Conversion kTextToNumber[] = {
    {"Plain", Text("12"), VT_I4, S_OK, Variant(12)},
    {"SpacesAndSign", Text(" -3 "), VT_I4, S_OK, Variant(-3)},
    {"TabsAndLineBreaks", Text("\t42\r\n"), VT_I4, S_OK, Variant(42)},
    {"PlusSign", Text("+7"), VT_I4, S_OK, Variant(7)},
    {"Exponent", Text("1.5e2"), VT_I4, S_OK, Variant(150)},
    {"HalfRoundsToEvenDown", Text("2.5"), VT_I4, S_OK, Variant(2)},
    {"HalfRoundsToEvenUp", Text("3.5"), VT_I4, S_OK, Variant(4)},
    {"NegativeHalfRoundsToEven", Text("-2.5"), VT_I4, S_OK, Variant(-2)},
    {"LeadingPoint", Text(".6"), VT_I4, S_OK, Variant(1)},
    {"Largest", Text("2147483647"), VT_I4, S_OK, Variant(2147483647)},
    {"Smallest", Text("-2147483648"), VT_I4, S_OK, Variant(std::numeric_limits<std::int32_t>::min())},
    {"AboveRange", Text("2147483648"), VT_I4, DISP_E_OVERFLOW, {}},
    {"BelowRange", Text("-2147483649"), VT_I4, DISP_E_OVERFLOW, {}},
    {"HalfAboveRangeRoundsOut", Text("2147483647.5"), VT_I4, DISP_E_OVERFLOW, {}},
    {"BeyondSixtyFourBits", Text("99999999999999999999"), VT_I4, DISP_E_OVERFLOW, {}},
    {"InfiniteExponent", Text("1e999"), VT_I4, DISP_E_OVERFLOW, {}},
    {"Letters", Text("abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"Empty", Text(""), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"OnlySpaces", Text("   "), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"TrailingLetters", Text("12abc"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"InnerSpace", Text("1 2"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"OnlySign", Text("-"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"TwoSigns", Text("+-5"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"OnlyPoint", Text("."), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"ExponentWithoutDigits", Text("1e"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"Hexadecimal", Text("0x10"), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"EmbeddedNul", Text(std::string_view("12\0" "3", 4)), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"NullBstrIsEmptyText", [] { Variant v; v.vt = VT_BSTR; v.bstrVal = nullptr; return v; }(), VT_I4,
     DISP_E_TYPEMISMATCH, {}},
    {"ToI8Exact", Text("9007199254740993"), VT_I8, S_OK, Variant::Int64(9007199254740993)},
    {"ToI8Smallest", Text("-9223372036854775808"), VT_I8, S_OK,
     Variant::Int64(std::numeric_limits<std::int64_t>::min())},
    {"ToI8AboveRange", Text("9223372036854775808"), VT_I8, DISP_E_OVERFLOW, {}},
    {"ToDouble", Text(" 1.25 "), VT_R8, S_OK, Variant::Double(1.25)},
    {"ToDoubleInfinite", Text("1e999"), VT_R8, DISP_E_OVERFLOW, {}},
    {"ToBooleanTrueWord", Text(" true "), VT_BOOL, S_OK, Variant::Boolean(true)},
    {"ToBooleanFalseWord", Text("FALSE"), VT_BOOL, S_OK, Variant::Boolean(false)},
    {"ToBooleanNumber", Text("2"), VT_BOOL, S_OK, Variant::Boolean(true)},
    {"ToBooleanZero", Text("0"), VT_BOOL, S_OK, Variant::Boolean(false)},
    {"ToBooleanWord", Text("yes"), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
};
INSTANTIATE_TEST_SUITE_P(TextToNumber, ChangeType, ::testing::ValuesIn(kTextToNumber),
                         CaseName);

const Conversion kNumberToNumber[] = {
    {"I8InRange", Variant::Int64(-5), VT_I4, S_OK, Variant(-5)},
    {"I8Largest", Variant::Int64(2147483647), VT_I4, S_OK, Variant(2147483647)},
    {"I8AboveRange", Variant::Int64(2147483648LL), VT_I4, DISP_E_OVERFLOW, {}},
    {"I8BelowRange", Variant::Int64(-2147483649LL), VT_I4, DISP_E_OVERFLOW, {}},
    {"I8Wide", Variant::Int64(std::numeric_limits<std::int64_t>::max()), VT_I4, DISP_E_OVERFLOW, {}},
    {"I4ToI8", Variant(-7), VT_I8, S_OK, Variant::Int64(-7)},
    {"I4ToDouble", Variant(-7), VT_R8, S_OK, Variant::Double(-7.0)},
    {"DoubleRoundsDown", Variant::Double(1.4), VT_I4, S_OK, Variant(1)},
    {"DoubleRoundsUp", Variant::Double(1.6), VT_I4, S_OK, Variant(2)},
    {"DoubleHalfToEvenDown", Variant::Double(0.5), VT_I4, S_OK, Variant(0)},
    {"DoubleHalfToEvenUp", Variant::Double(1.5), VT_I4, S_OK, Variant(2)},
    {"DoubleNegativeHalfToEven", Variant::Double(-1.5), VT_I4, S_OK, Variant(-2)},
    {"DoubleNegativeHalfToEvenUp", Variant::Double(-0.5), VT_I4, S_OK, Variant(0)},
    {"DoubleNegative", Variant::Double(-2.7), VT_I4, S_OK, Variant(-3)},
    {"DoubleLowestThatFits", Variant::Double(-2147483648.5), VT_I4, S_OK,
     Variant(std::numeric_limits<std::int32_t>::min())},
    {"DoubleAboveRange", Variant::Double(2147483648.0), VT_I4, DISP_E_OVERFLOW, {}},
    {"DoubleBelowRange", Variant::Double(-2147483649.0), VT_I4, DISP_E_OVERFLOW, {}},
    {"DoubleNotANumber", Variant::Double(std::numeric_limits<double>::quiet_NaN()), VT_I4, DISP_E_OVERFLOW, {}},
    {"DoubleInfinite", Variant::Double(std::numeric_limits<double>::infinity()), VT_I4, DISP_E_OVERFLOW, {}},
    {"DoubleToI8", Variant::Double(1e15 + 0.5), VT_I8, S_OK, Variant::Int64(1000000000000000)},
    {"DoubleToI8AboveRange", Variant::Double(9.3e18), VT_I8, DISP_E_OVERFLOW, {}},
    {"DateRounds", Variant::Date(kMarch4th2024 + 0.5), VT_I4, S_OK, Variant(45356)},
    {"TrueIsMinusOne", Variant::Boolean(true), VT_I4, S_OK, Variant(-1)},
    {"FalseIsZero", Variant::Boolean(false), VT_I4, S_OK, Variant(0)},
    {"TrueToDouble", Variant::Boolean(true), VT_R8, S_OK, Variant::Double(-1.0)},
    {"NumberToBoolean", Variant(5), VT_BOOL, S_OK, Variant::Boolean(true)},
    {"ZeroToBoolean", Variant(0), VT_BOOL, S_OK, Variant::Boolean(false)},
    {"FractionToBoolean", Variant::Double(0.25), VT_BOOL, S_OK, Variant::Boolean(true)},
};
INSTANTIATE_TEST_SUITE_P(NumberToNumber, ChangeType, ::testing::ValuesIn(kNumberToNumber),
                         CaseName);

const Conversion kToText[] = {
    {"I4", Variant(2024), VT_BSTR, S_OK, Text("2024")},
    {"I4Negative", Variant(-45), VT_BSTR, S_OK, Text("-45")},
    {"I4Smallest", Variant(std::numeric_limits<std::int32_t>::min()), VT_BSTR, S_OK, Text("-2147483648")},
    {"I8", Variant::Int64(9223372036854775807LL), VT_BSTR, S_OK, Text("9223372036854775807")},
    {"I8Negative", Variant::Int64(-4294967296LL), VT_BSTR, S_OK, Text("-4294967296")},
    {"True", Variant::Boolean(true), VT_BSTR, S_OK, Text("-1")},
    {"False", Variant::Boolean(false), VT_BSTR, S_OK, Text("0")},
    {"DoubleWhole", Variant::Double(150.0), VT_BSTR, S_OK, Text("150")},
    {"DoubleFraction", Variant::Double(-1.5), VT_BSTR, S_OK, Text("-1.5")},
    {"DoubleTenth", Variant::Double(0.1), VT_BSTR, S_OK, Text("0.1")},
    {"DateAndTime", Variant::Date(kMarch4th2024 + kNineTwelve), VT_BSTR, S_OK, Text("2024-03-04 09:12:00")},
    {"DateOnly", Variant::Date(kMarch4th2024), VT_BSTR, S_OK, Text("2024-03-04")},
    {"TimeOnly", Variant::Date(kNineTwelve), VT_BSTR, S_OK, Text("09:12:00")},
    {"DateBeforeTheEpoch", Variant::Date(-1.25), VT_BSTR, S_OK, Text("1899-12-29 06:00:00")},
    {"DateRoundsToTheSecond", Variant::Date(kMarch4th2024 + 0.99999999), VT_BSTR, S_OK, Text("2024-03-05")},
    {"DateOutOfRange", Variant::Date(3e6), VT_BSTR, DISP_E_OVERFLOW, {}},
    {"Empty", Variant(), VT_BSTR, S_OK, Text("")},
};
INSTANTIATE_TEST_SUITE_P(ToText, ChangeType, ::testing::ValuesIn(kToText),
                         CaseName);

const Conversion kDates[] = {
    {"TextDateAndTime", Text("2024-03-04 09:12:00"), VT_DATE, S_OK, Variant::Date(kMarch4th2024 + kNineTwelve)},
    {"TextWithT", Text("2024-03-04T09:12"), VT_DATE, S_OK, Variant::Date(kMarch4th2024 + kNineTwelve)},
    {"TextDateOnly", Text("2024-03-04"), VT_DATE, S_OK, Variant::Date(kMarch4th2024)},
    {"TextTimeOnly", Text("09:12:00"), VT_DATE, S_OK, Variant::Date(kNineTwelve)},
    {"TextLeapDay", Text("2024-02-29"), VT_DATE, S_OK, Variant::Date(kMarch4th2024 - 4)},
    {"TextBeforeTheEpoch", Text("1899-12-29 06:00:00"), VT_DATE, S_OK, Variant::Date(-1.25)},
    {"TextNoSuchDay", Text("2023-02-29"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
    {"TextNoSuchHour", Text("24:00"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
    {"TextNotADate", Text("March 4th"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
    {"TextTrailing", Text("2024-03-04 09:12:00x"), VT_DATE, DISP_E_TYPEMISMATCH, {}},
    {"TextEmpty", Text(""), VT_DATE, DISP_E_TYPEMISMATCH, {}},
    {"Number", Variant(45355), VT_DATE, S_OK, Variant::Date(kMarch4th2024)},
    {"NumberOutOfRange", Variant::Int64(10000000), VT_DATE, DISP_E_OVERFLOW, {}},
};
INSTANTIATE_TEST_SUITE_P(Dates, ChangeType, ::testing::ValuesIn(kDates),
                         CaseName);

const Conversion kNothingAndMissing[] = {
    {"EmptyToI4", Variant(), VT_I4, S_OK, Variant(0)},
    {"EmptyToDouble", Variant(), VT_R8, S_OK, Variant::Double(0)},
    {"EmptyToBoolean", Variant(), VT_BOOL, S_OK, Variant::Boolean(false)},
    {"EmptyToNull", Variant(), VT_NULL, S_OK, Variant::Null()},
    {"NullToI4", Variant::Null(), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"NullToText", Variant::Null(), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
    {"NullToBoolean", Variant::Null(), VT_BOOL, DISP_E_TYPEMISMATCH, {}},
    {"NullToDate", Variant::Null(), VT_DATE, DISP_E_TYPEMISMATCH, {}},
    {"NumberToNull", Variant(1), VT_NULL, DISP_E_TYPEMISMATCH, {}},
    {"MissingToI4", Variant::Missing(), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"MissingToText", Variant::Missing(), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
    {"ObjectToI4", Variant::Object(nullptr), VT_I4, DISP_E_TYPEMISMATCH, {}},
    {"ObjectToText", Variant::Object(nullptr), VT_BSTR, DISP_E_TYPEMISMATCH, {}},
    {"UnknownTarget", Variant(1), static_cast<VARTYPE>(17), DISP_E_BADVARTYPE, {}},
};
INSTANTIATE_TEST_SUITE_P(NothingAndMissing, ChangeType, ::testing::ValuesIn(kNothingAndMissing),
                         CaseName);

// An object that counts its references, to see what conversions do to them.
class CountedObject : public IUnknown {
 public:
  HRESULT QueryInterface(const IID& iid, void** object) override {
    *object = iid == IUnknown::kIid ? this : nullptr;
    if (*object == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++references; }
  ULONG Release() override { return --references; }
  ~CountedObject() override = default;
  ULONG references = 1;
};

TEST(ChangeTypeStorage, SameTypeCopiesTheTextIntoItsOwnStorage) {
  const std::string_view bytes("a\0b", 3);
  Variant source(bytes);
  Variant destination("old text");
  ASSERT_EQ(VariantChangeType(&destination, &source, 0, VT_BSTR), S_OK);
  ASSERT_EQ(destination.vt, VT_BSTR);
  EXPECT_NE(destination.bstrVal, source.bstrVal);
  EXPECT_EQ(BstrView(destination.bstrVal), bytes);
  source.Clear();
  EXPECT_EQ(BstrView(destination.bstrVal), bytes);
}

TEST(ChangeTypeStorage, SameTypeCountsAReferenceOnAnObject) {
  CountedObject object;
  {
    const Variant source = Variant::Object(&object);
    EXPECT_EQ(object.references, 2u);
    Variant destination;
    ASSERT_EQ(VariantChangeType(&destination, &source, 0, VT_UNKNOWN), S_OK);
    EXPECT_EQ(destination.punkVal, &object);
    EXPECT_EQ(object.references, 3u);
  }
  EXPECT_EQ(object.references, 1u);
}

TEST(ChangeTypeStorage, ConvertingAnObjectAwayFailsAndKeepsItsReference) {
  CountedObject object;
  {
    Variant value = Variant::Object(&object);
    EXPECT_EQ(VariantChangeType(&value, &value, 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(value.vt, VT_UNKNOWN);
    EXPECT_EQ(object.references, 2u);
  }
  EXPECT_EQ(object.references, 1u);
}

TEST(ChangeTypeStorage, FailureLeavesTheDestinationAlone) {
  const Variant source("abc");
  Variant destination(77);
  EXPECT_EQ(VariantChangeType(&destination, &source, 0, VT_I4), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(destination.vt, VT_I4);
  EXPECT_EQ(destination.lVal, 77);
}

TEST(ChangeTypeStorage, ReplacesATextHeldByTheDestination) {
  // The text the destination held is freed (the sanitizer build sees a leak).
  Variant destination("held before");
  const Variant source = Variant::Double(2.5);
  ASSERT_EQ(VariantChangeType(&destination, &source, 0, VT_BSTR), S_OK);
  EXPECT_EQ(BstrView(destination.bstrVal), "2.5");
}

TEST(ChangeTypeStorage, RefusesNullArguments) {
  Variant value(1);
  EXPECT_EQ(VariantChangeType(nullptr, &value, 0, VT_I4), E_INVALIDARG);
  EXPECT_EQ(VariantChangeType(&value, nullptr, 0, VT_I4), E_INVALIDARG);
}

TEST(VariantObject, ChangeTypeRaisesTheFailure) {
  Variant value("2147483648");
  try {
    value.ChangeType(VT_I4);
    FAIL() << "no error raised";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), DISP_E_OVERFLOW);
  }
  EXPECT_EQ(BstrView(value.bstrVal), "2147483648");
  value.ChangeType(VT_I8);
  EXPECT_EQ(value.vt, VT_I8);
  EXPECT_EQ(value.llVal, 2147483648LL);
}

TEST(VariantObject, CopiesOwnTheirText) {
  Variant original("shared?");
  const Variant copy = original;
  Variant assigned(5);
  assigned = original;
  EXPECT_NE(copy.bstrVal, original.bstrVal);
  EXPECT_NE(assigned.bstrVal, original.bstrVal);
  original.Clear();
  EXPECT_EQ(original.vt, VT_EMPTY);
  EXPECT_EQ(BstrView(copy.bstrVal), "shared?");
  EXPECT_EQ(BstrView(assigned.bstrVal), "shared?");
}

TEST(VariantObject, MissingIsTheParamNotFoundError) {
  const Variant missing = Variant::Missing();
  EXPECT_EQ(missing.vt, VT_ERROR);
  EXPECT_EQ(missing.scode, DISP_E_PARAMNOTFOUND);
}

TEST(VariantObject, ClearRefusesAnUnknownType) {
  VARIANT value;
  VariantInit(&value);
  value.vt = 17;
  EXPECT_EQ(VariantClear(&value), DISP_E_BADVARTYPE);
  Variant destination;
  EXPECT_EQ(VariantCopy(&destination, &value), DISP_E_BADVARTYPE);
  EXPECT_EQ(destination.vt, VT_EMPTY);
}

}  // namespace
