// The generated texts. Lengths are fixed by the formats, so every buffer is
// sized once; a note's buffer is reserved for the longest note.
#include "text_fields.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace bench {
namespace {

constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr std::size_t kHexDigitsPerDraw = 16;
constexpr unsigned kBitsPerHexDigit = 4;
constexpr std::uint64_t kHexDigitMask = 0xF;
// Where the dashes fall among the 32 digits: 8-4-4-4-12.
constexpr std::array<std::size_t, 4> kGuidDashAfterDigit = {8, 12, 16, 20};

constexpr std::array<std::string_view, 24> kWords = {
    "order",   "customer", "invoice", "payment", "session", "audit",  "report",   "export",
    "import",  "account",  "login",   "cart",    "product", "catalog", "search",  "review",
    "rating",  "shipment", "address", "profile", "token",   "cache",  "queue",    "schedule"};
constexpr std::size_t kLongestWord = 8;
constexpr std::int64_t kFewestNoteWords = 8;
constexpr std::int64_t kMostNoteWords = 60;

constexpr std::int64_t kSecondsPerMinute = 60;
constexpr std::int64_t kSecondsPerHour = 60 * kSecondsPerMinute;
constexpr std::int64_t kSecondsPerDay = 24 * kSecondsPerHour;
// Elements are created between 2016-01-01 and the end of 2021 and changed
// within two years after.
constexpr std::int64_t kFirstCreation = 1451606400;  // 2016-01-01 00:00:00
constexpr std::int64_t kCreationSpanDays = 6 * 365;
constexpr std::int64_t kChangeSpanDays = 2 * 365;

// The civil date of a day counted from 1970-01-01, in the proleptic
// Gregorian calendar. The usual days-to-civil conversion: it counts in eras
// of 400 years that start on 0000-03-01, so leap days fall at the end of a
// year; its remaining numbers (days per 4, 100 and 400 years, 153 days per
// five months) are the calendar's own.
struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

CivilDate CivilFromDays(std::int64_t days) {
  constexpr std::int64_t kDaysFromEraStartToEpoch = 719468;
  constexpr std::int64_t kDaysPerEra = 146097;
  constexpr std::int64_t kYearsPerEra = 400;
  days += kDaysFromEraStartToEpoch;
  const std::int64_t era = (days >= 0 ? days : days - (kDaysPerEra - 1)) / kDaysPerEra;
  const std::int64_t day_of_era = days - era * kDaysPerEra;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / (kDaysPerEra - 1)) / 365;
  const std::int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t march_based_month = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * march_based_month + 2) / 5 + 1;
  const std::int64_t month = march_based_month < 10 ? march_based_month + 3 : march_based_month - 9;
  const std::int64_t year = year_of_era + era * kYearsPerEra + (month <= 2 ? 1 : 0);
  return {year, static_cast<unsigned>(month), static_cast<unsigned>(day)};
}

// Writes `value` as exactly `width` decimal digits, zero-padded.
char* PutDigits(char* out, std::int64_t value, int width) {
  constexpr std::int64_t kBase = 10;
  for (int position = width - 1; position >= 0; --position) {
    out[position] = static_cast<char>('0' + value % kBase);
    value /= kBase;
  }
  return out + width;
}

}  // namespace

std::string_view GuidText::Draw(RandomStream& random) {
  const std::uint64_t halves[2] = {random.Next(), random.Next()};
  std::size_t out = 0;
  text_[out++] = '{';
  std::size_t next_dash = 0;
  for (std::size_t digit = 0; digit < 2 * kHexDigitsPerDraw; ++digit) {
    if (next_dash < kGuidDashAfterDigit.size() && digit == kGuidDashAfterDigit[next_dash]) {
      text_[out++] = '-';
      ++next_dash;
    }
    const std::uint64_t half = halves[digit / kHexDigitsPerDraw];
    const unsigned shift = static_cast<unsigned>(kHexDigitsPerDraw - 1 - digit % kHexDigitsPerDraw) * kBitsPerHexDigit;
    text_[out++] = kHexDigits[(half >> shift) & kHexDigitMask];
  }
  text_[out++] = '}';
  return {text_.data(), out};
}

std::string_view DateTimeText::Format(std::int64_t seconds_since_epoch) {
  constexpr int kYearDigits = 4;
  constexpr int kFieldDigits = 2;
  const std::int64_t days = seconds_since_epoch / kSecondsPerDay;
  const std::int64_t second_of_day = seconds_since_epoch % kSecondsPerDay;
  const CivilDate date = CivilFromDays(days);
  char* out = text_.data();
  out = PutDigits(out, date.year, kYearDigits);
  *out++ = '-';
  out = PutDigits(out, date.month, kFieldDigits);
  *out++ = '-';
  out = PutDigits(out, date.day, kFieldDigits);
  *out++ = ' ';
  out = PutDigits(out, second_of_day / kSecondsPerHour, kFieldDigits);
  *out++ = ':';
  out = PutDigits(out, second_of_day % kSecondsPerHour / kSecondsPerMinute, kFieldDigits);
  *out++ = ':';
  out = PutDigits(out, second_of_day % kSecondsPerMinute, kFieldDigits);
  return {text_.data(), static_cast<std::size_t>(out - text_.data())};
}

Timestamps DrawTimestamps(RandomStream& random) {
  const std::int64_t created = kFirstCreation + random.Between(0, kCreationSpanDays * kSecondsPerDay - 1);
  const std::int64_t modified = created + random.Between(0, kChangeSpanDays * kSecondsPerDay);
  return {created, modified};
}

NoteText::NoteText() { text_.reserve(static_cast<std::size_t>(kMostNoteWords) * (kLongestWord + 1)); }

std::string_view NoteText::Draw(RandomStream& random) {
  text_.clear();
  const std::int64_t word_count = random.Between(kFewestNoteWords, kMostNoteWords);
  for (std::int64_t word = 0; word < word_count; ++word) {
    if (word > 0) text_ += ' ';
    text_ += DrawWord(random);
  }
  constexpr char kCaseDifference = 'a' - 'A';
  text_[0] = static_cast<char>(text_[0] - kCaseDifference);
  text_ += '.';
  return text_;
}

std::string_view DrawWord(RandomStream& random) { return kWords[random.Below(kWords.size())]; }

std::string_view NumberedName::Format(std::string_view word, std::int64_t number) {
  char* const end = text_.data() + text_.size();
  if (word.size() >= text_.size()) throw std::length_error("name too long");
  char* out = std::copy(word.begin(), word.end(), text_.data());
  *out++ = ' ';
  const std::to_chars_result written = std::to_chars(out, end, number);
  if (written.ec != std::errc()) throw std::length_error("name too long");
  return {text_.data(), static_cast<std::size_t>(written.ptr - text_.data())};
}

}  // namespace bench
