// The conversions pg_values.h describes. Numbers are read and written with
// std::from_chars / std::to_chars, which ignore the locale and, for doubles,
// write the shortest text that reads back exactly.
#include "provider/pg/pg_values.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <system_error>

#include "com/error_info.h"
#include "oleaut/ole_date.h"

namespace platform::provider::pg {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// "YYYY-MM-DD" and "YYYY-MM-DD HH:MM:SS".
constexpr std::size_t kDateLength = 10;
constexpr std::size_t kTimestampLength = 19;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

template <class Number>
std::string DecimalText(Number number) {
  char buffer[32];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number);
  (void)error;  // 32 characters hold every 64-bit integer and every double
  return std::string(buffer, end);
}

std::string DoubleText(double number) {
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number > 0 ? "Infinity" : "-Infinity";
  return DecimalText(number);
}

template <class Integer>
std::optional<Integer> ReadInteger(std::string_view text) {
  Integer number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// The server's float and numeric texts: decimal, or the three it spells out.
std::optional<double> ReadDouble(std::string_view text) {
  if (text == "NaN") return std::numeric_limits<double>::quiet_NaN();
  if (text == "Infinity") return std::numeric_limits<double>::infinity();
  if (text == "-Infinity") return -std::numeric_limits<double>::infinity();
  double number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// "[+-]HH", "[+-]HH:MM" or "[+-]HH:MM:SS": a timestamptz's offset from UTC.
bool IsZoneOffset(std::string_view text) {
  if (text.empty() || (text[0] != '+' && text[0] != '-')) return false;
  text.remove_prefix(1);
  for (int part = 0; part < 3; ++part) {
    if (text.size() < 2 || !IsDigit(text[0]) || !IsDigit(text[1])) return false;
    text.remove_prefix(2);
    if (text.empty()) return true;
    if (text[0] != ':') return false;
    text.remove_prefix(1);
  }
  return false;
}

HRESULT SetText(std::string_view text, VARIANT* value) {
  BSTR copy = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
  if (copy == nullptr) return ReportError(E_OUTOFMEMORY, "reading a column value");
  value->vt = VT_BSTR;
  value->bstrVal = copy;
  return S_OK;
}

}  // namespace

ColumnKind KindOfType(TypeOid type) {
  switch (type) {
    case kInt2Oid:
    case kInt4Oid:
      return ColumnKind::kInt32;
    case kInt8Oid:
      return ColumnKind::kInt64;
    case kFloat4Oid:
    case kFloat8Oid:
    case kNumericOid:
      return ColumnKind::kReal;
    case kBoolOid:
      return ColumnKind::kBoolean;
    case kDateOid:
    case kTimestampOid:
    case kTimestampTzOid:
      return ColumnKind::kDate;
    default:
      return ColumnKind::kText;
  }
}

HRESULT ParameterText(const VARIANT& value, std::optional<std::string>* text) {
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      text->reset();
      return S_OK;
    case VT_I4:
      *text = DecimalText(value.lVal);
      return S_OK;
    case VT_I8:
      *text = DecimalText(value.llVal);
      return S_OK;
    case VT_R8:
      *text = DoubleText(value.dblVal);
      return S_OK;
    case VT_BOOL:
      *text = value.boolVal != 0 ? "true" : "false";
      return S_OK;
    case VT_DATE: {
      // Always date and time: the server reads a bare "HH:MM:SS" as no
      // timestamp at all.
      const std::optional<CivilDateTime> civil = CivilFromDate(value.date);
      if (!civil) return ReportError(DISP_E_OVERFLOW, "a date parameter is out of range");
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", civil->year, civil->month,
                    civil->day, civil->hour, civil->minute, civil->second);
      *text = buffer;
      return S_OK;
    }
    case VT_BSTR: {
      const std::string_view bytes = BstrView(value.bstrVal);
      if (bytes.find('\0') != std::string_view::npos) {
        return ReportError(DB_E_CANTCONVERTVALUE, "a text parameter holds a NUL character");
      }
      *text = std::string(bytes);
      return S_OK;
    }
    default:
      return ReportError(DISP_E_TYPEMISMATCH, "a parameter value has a type no column can take");
  }
}

std::optional<DATE> ParseServerDate(std::string_view text) {
  if (text.size() == kDateLength) return ParseDateText(text);
  if (text.size() < kTimestampLength || text[kDateLength] != ' ') return std::nullopt;
  const std::optional<DATE> whole = ParseDateText(text.substr(0, kTimestampLength));
  if (!whole) return std::nullopt;
  std::string_view rest = text.substr(kTimestampLength);

  double fraction = 0;
  if (!rest.empty() && rest[0] == '.') {
    std::size_t digits = 1;
    while (digits < rest.size() && IsDigit(rest[digits])) ++digits;
    if (digits == 1) return std::nullopt;
    // "0.25" read from ".25".
    const std::string decimal = "0" + std::string(rest.substr(0, digits));
    const std::optional<double> seconds = ReadDouble(decimal);
    if (!seconds) return std::nullopt;
    fraction = *seconds / kSecondsPerDay;
    rest.remove_prefix(digits);
  }
  if (!rest.empty() && !IsZoneOffset(rest)) return std::nullopt;
  // Before 1899-12-30 the whole part is negative and the time of day counts
  // away from zero (ole_date.h).
  const DATE date = *whole < 0 ? *whole - fraction : *whole + fraction;
  if (!IsDateInRange(date)) return std::nullopt;
  return date;
}

HRESULT ColumnValue(ColumnKind kind, std::string_view text, VARIANT* value) {
  switch (kind) {
    case ColumnKind::kInt32:
      if (const std::optional<std::int32_t> number = ReadInteger<std::int32_t>(text)) {
        value->vt = VT_I4;
        value->lVal = *number;
        return S_OK;
      }
      break;
    case ColumnKind::kInt64:
      if (const std::optional<std::int64_t> number = ReadInteger<std::int64_t>(text)) {
        value->vt = VT_I8;
        value->llVal = *number;
        return S_OK;
      }
      break;
    case ColumnKind::kReal:
      if (const std::optional<double> number = ReadDouble(text)) {
        value->vt = VT_R8;
        value->dblVal = *number;
        return S_OK;
      }
      break;
    case ColumnKind::kBoolean:
      if (text == "t" || text == "f") {
        value->vt = VT_BOOL;
        value->boolVal = text == "t" ? VARIANT_TRUE : VARIANT_FALSE;
        return S_OK;
      }
      break;
    case ColumnKind::kDate:
      if (const std::optional<DATE> date = ParseServerDate(text)) {
        value->vt = VT_DATE;
        value->date = *date;
        return S_OK;
      }
      break;
    case ColumnKind::kText:
      break;
  }
  return SetText(text, value);
}

}  // namespace platform::provider::pg
