#include "oleaut/ole_date.h"

#include <cmath>
#include <cstdio>

namespace platform {
namespace {

constexpr int kSecondsPerDay = 86400;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
long DaysFromCivil(long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<long>(day_of_era) - 719468;
}

void CivilFromDays(long days, int* year, int* month, int* day) {
  days += 719468;
  const long era = (days >= 0 ? days : days - 146096) / 146097;
  const auto day_of_era = static_cast<unsigned>(days - era * 146097);
  const unsigned year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const unsigned shifted_month = (5 * day_of_year + 2) / 153;
  *day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  *month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  *year = static_cast<int>(static_cast<long>(year_of_era) + era * 400 + (*month <= 2 ? 1 : 0));
}

const long kEpochDays = DaysFromCivil(1899, 12, 30);

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// Reads exactly `digits` decimal digits at `*position`.
bool ReadNumber(std::string_view text, std::size_t* position, int digits, int* value) {
  if (*position + static_cast<std::size_t>(digits) > text.size()) return false;
  int result = 0;
  for (int i = 0; i < digits; ++i) {
    const char c = text[*position + static_cast<std::size_t>(i)];
    if (c < '0' || c > '9') return false;
    result = result * 10 + (c - '0');
  }
  *position += static_cast<std::size_t>(digits);
  *value = result;
  return true;
}

bool ReadTime(std::string_view text, std::size_t* position, CivilDateTime* civil) {
  if (!ReadNumber(text, position, 2, &civil->hour)) return false;
  if (*position >= text.size() || text[*position] != ':') return false;
  ++*position;
  if (!ReadNumber(text, position, 2, &civil->minute)) return false;
  civil->second = 0;
  if (*position < text.size() && text[*position] == ':') {
    ++*position;
    if (!ReadNumber(text, position, 2, &civil->second)) return false;
  }
  return true;
}

}  // namespace

bool IsDateInRange(double value) {
  return std::isfinite(value) && value >= kMinimumDate && value < kMaximumDate + 1e-8;
}

std::optional<DATE> DateFromCivil(const CivilDateTime& civil) {
  if (civil.year < 100 || civil.year > 9999 || civil.month < 1 || civil.month > 12) return std::nullopt;
  if (civil.day < 1 || civil.day > DaysInMonth(civil.year, civil.month)) return std::nullopt;
  if (civil.hour < 0 || civil.hour > 23 || civil.minute < 0 || civil.minute > 59) return std::nullopt;
  if (civil.second < 0 || civil.second > 59) return std::nullopt;
  const long days = DaysFromCivil(civil.year, static_cast<unsigned>(civil.month),
                                  static_cast<unsigned>(civil.day)) -
                    kEpochDays;
  const double fraction =
      static_cast<double>(civil.hour * 3600 + civil.minute * 60 + civil.second) / kSecondsPerDay;
  return days < 0 ? static_cast<double>(days) - fraction : static_cast<double>(days) + fraction;
}

std::optional<CivilDateTime> CivilFromDate(DATE date) {
  if (!IsDateInRange(date)) return std::nullopt;
  const double whole = std::trunc(date);
  const double fraction = std::fabs(date - whole);
  long days = static_cast<long>(whole);
  long seconds = std::lround(fraction * kSecondsPerDay);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    ++days;
  }
  CivilDateTime civil{};
  CivilFromDays(days + kEpochDays, &civil.year, &civil.month, &civil.day);
  civil.hour = static_cast<int>(seconds / 3600);
  civil.minute = static_cast<int>(seconds / 60 % 60);
  civil.second = static_cast<int>(seconds % 60);
  return civil;
}

std::optional<DATE> ParseDateText(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  CivilDateTime civil{1899, 12, 30, 0, 0, 0};
  std::size_t position = 0;
  if (text.size() >= 3 && text[2] == ':') {
    if (!ReadTime(text, &position, &civil)) return std::nullopt;
  } else {
    if (!ReadNumber(text, &position, 4, &civil.year)) return std::nullopt;
    if (position >= text.size() || text[position++] != '-') return std::nullopt;
    if (!ReadNumber(text, &position, 2, &civil.month)) return std::nullopt;
    if (position >= text.size() || text[position++] != '-') return std::nullopt;
    if (!ReadNumber(text, &position, 2, &civil.day)) return std::nullopt;
    if (position < text.size()) {
      if (text[position] != ' ' && text[position] != 'T') return std::nullopt;
      ++position;
      if (!ReadTime(text, &position, &civil)) return std::nullopt;
    }
  }
  if (position != text.size()) return std::nullopt;
  return DateFromCivil(civil);
}

std::optional<std::string> FormatDateText(DATE date) {
  const std::optional<CivilDateTime> civil = CivilFromDate(date);
  if (!civil) return std::nullopt;
  const bool has_time = civil->hour != 0 || civil->minute != 0 || civil->second != 0;
  const bool has_date = !(civil->year == 1899 && civil->month == 12 && civil->day == 30);
  char text[32];
  if (has_date && has_time) {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", civil->year, civil->month,
                  civil->day, civil->hour, civil->minute, civil->second);
  } else if (has_time) {
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", civil->hour, civil->minute, civil->second);
  } else {
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", civil->year, civil->month, civil->day);
  }
  return std::string(text);
}

}  // namespace platform
