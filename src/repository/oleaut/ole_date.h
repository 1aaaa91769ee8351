// The platform's dates: a double counting days since 1899-12-30, the fraction
// being the time of day. Before that day the whole part is negative and the
// time still counts forward (-1.25 is 1899-12-29 06:00). Dates run from the
// year 100 to the year 9999.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "oleaut/variant.h"

namespace platform {

struct CivilDateTime {
  int year;
  int month;
  int day;
  int hour;
  int minute;
  int second;
};

inline constexpr DATE kMinimumDate = -657434.0;        // 0100-01-01
inline constexpr DATE kMaximumDate = 2958465.99999999;  // 9999-12-31 23:59:59

bool IsDateInRange(double value);

// The date for a civil date and time; nullopt when a field is out of range.
std::optional<DATE> DateFromCivil(const CivilDateTime& civil);
// The civil date and time of `date`, to the nearest second; nullopt outside
// the platform's range.
std::optional<CivilDateTime> CivilFromDate(DATE date);

// Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" (or with "T"), or "HH:MM[:SS]".
std::optional<DATE> ParseDateText(std::string_view text);
// "YYYY-MM-DD" when the time is midnight, "HH:MM:SS" when the date is
// 1899-12-30, both otherwise.
std::optional<std::string> FormatDateText(DATE date);

}  // namespace platform
