// Values between VARIANTs and a PostgreSQL server's texts, without a server:
// the texts parameters travel as, and the dates read from the server's ISO
// texts.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "com/hresult.h"
#include "oleaut/ole_date.h"
#include "oleaut/variant.h"
#include "provider/pg/pg_values.h"

namespace {

using namespace platform;
using provider::pg::ParameterText;
using provider::pg::ParseServerDate;

constexpr double kMarch4th2024 = 45355.0;
constexpr double kNineTwelve = (9 * 60 + 12) / 1440.0;
constexpr double kSecond = 1 / 86400.0;

std::optional<std::string> TextOf(const VARIANT& value) {
  std::optional<std::string> text = std::string("unset");
  EXPECT_EQ(ParameterText(value, &text), S_OK);
  return text;
}

TEST(PgParameterText, SpellsEachTypeAsTheServerReadsIt) {
  EXPECT_EQ(TextOf(Variant(-42)), "-42");
  EXPECT_EQ(TextOf(Variant::Int64(9223372036854775807LL)), "9223372036854775807");
  EXPECT_EQ(TextOf(Variant::Boolean(true)), "true");
  EXPECT_EQ(TextOf(Variant::Boolean(false)), "false");
  EXPECT_EQ(TextOf(Variant("x' or '1'='1")), "x' or '1'='1");
  EXPECT_EQ(TextOf(Variant::Null()), std::nullopt);
  EXPECT_EQ(TextOf(Variant()), std::nullopt);
  // A date is always date and time, even at midnight or on day 0.
  EXPECT_EQ(TextOf(Variant::Date(kMarch4th2024)), "2024-03-04 00:00:00");
  EXPECT_EQ(TextOf(Variant::Date(kNineTwelve)), "1899-12-30 09:12:00");
}

TEST(PgParameterText, DoublesReadBackExactly) {
  for (const double number : {0.1, 1.0 / 3, -2.5e-300, 1e300, 123456789.125, 0.0}) {
    SCOPED_TRACE(number);
    const std::optional<std::string> text = TextOf(Variant::Double(number));
    ASSERT_TRUE(text);
    EXPECT_EQ(std::stod(*text), number);
  }
  EXPECT_EQ(TextOf(Variant::Double(0.1)), "0.1");
  EXPECT_EQ(TextOf(Variant::Double(std::numeric_limits<double>::quiet_NaN())), "NaN");
  EXPECT_EQ(TextOf(Variant::Double(std::numeric_limits<double>::infinity())), "Infinity");
  EXPECT_EQ(TextOf(Variant::Double(-std::numeric_limits<double>::infinity())), "-Infinity");
}

TEST(PgParameterText, RefusesWhatNoServerTextHolds) {
  std::optional<std::string> text;
  EXPECT_EQ(ParameterText(Variant(std::string_view("a\0b", 3)), &text), DB_E_CANTCONVERTVALUE);
  EXPECT_EQ(ParameterText(Variant::Date(kMaximumDate + 2), &text), DISP_E_OVERFLOW);
  EXPECT_EQ(ParameterText(Variant::Missing(), &text), DISP_E_TYPEMISMATCH);
}

struct DateCase {
  const char* text;
  std::optional<double> date;
};

void PrintTo(const DateCase& printed, std::ostream* out) { *out << '"' << printed.text << '"'; }

class PgServerDate : public ::testing::TestWithParam<DateCase> {};

TEST_P(PgServerDate, ReadsTheIsoStyle) {
  const std::optional<DATE> date = ParseServerDate(GetParam().text);
  ASSERT_EQ(date.has_value(), GetParam().date.has_value());
  if (date) {
    EXPECT_NEAR(*date, *GetParam().date, 1e-9);
  }
}

INSTANTIATE_TEST_SUITE_P(
    PgTexts, PgServerDate,
    ::testing::Values(DateCase{"2024-03-04", kMarch4th2024},
                      DateCase{"2024-03-04 09:12:00", kMarch4th2024 + kNineTwelve},
                      DateCase{"2024-03-04 09:12:00.5", kMarch4th2024 + kNineTwelve + kSecond / 2},
                      DateCase{"2024-03-04 09:12:00.000001", kMarch4th2024 + kNineTwelve + kSecond / 1e6},
                      DateCase{"2024-03-04 09:12:00+01", kMarch4th2024 + kNineTwelve},
                      DateCase{"2024-03-04 09:12:00.25-03:30", kMarch4th2024 + kNineTwelve + kSecond / 4},
                      DateCase{"2024-03-04 09:12:00+05:30:15", kMarch4th2024 + kNineTwelve},
                      // Before day 0 the time of day counts away from zero.
                      DateCase{"1899-12-29 06:00:00.5", -1.25 - kSecond / 2},
                      DateCase{"0100-01-01", kMinimumDate},
                      DateCase{"0099-12-31", std::nullopt},
                      DateCase{"0044-03-15 BC", std::nullopt},
                      DateCase{"10000-01-01", std::nullopt},
                      DateCase{"infinity", std::nullopt},
                      DateCase{"-infinity", std::nullopt},
                      DateCase{"2024-03-04 09:12:00.", std::nullopt},
                      DateCase{"2024-03-04 09:12:00 x", std::nullopt},
                      DateCase{"04/03/2024 09:12:00", std::nullopt}));

}  // namespace
