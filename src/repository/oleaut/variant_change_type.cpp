// VariantChangeType: conversions between VARIANT types (rules in variant.h).
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>

#include "com/ascii.h"
#include "oleaut/ole_date.h"
#include "oleaut/variant.h"

namespace platform {
namespace {

// A number read from a text: exact when it is a plain integer that fits 64
// bits, otherwise a double.
struct TextNumber {
  bool exact = false;
  std::int64_t integer = 0;
  double real = 0;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// [sign] digits [. digits] [e [sign] digits], or [sign] . digits [...];
// surrounding white space is allowed.
bool ParseNumberText(std::string_view text, TextNumber* number) {
  text = Trim(text);
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  const std::size_t digits_start = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  std::size_t mantissa_digits = i - digits_start;
  bool plain_integer = true;
  if (i < text.size() && text[i] == '.') {
    plain_integer = false;
    ++i;
    const std::size_t fraction_start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    mantissa_digits += i - fraction_start;
  }
  if (mantissa_digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    plain_integer = false;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    const std::size_t exponent_start = i;
    while (i < text.size() && IsDigit(text[i])) ++i;
    if (i == exponent_start) return false;
  }
  if (i != text.size()) return false;

  if (plain_integer) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), number->integer);
    if (error == std::errc() && end == digits.data() + digits.size()) {
      number->exact = true;
      number->real = static_cast<double>(number->integer);
      return true;
    }
  }
  const std::string copy(text);
  errno = 0;
  number->real = std::strtod(copy.c_str(), nullptr);
  number->exact = false;
  return true;
}

// Rounds half to even, as the platform does from doubles and dates.
double RoundHalfEven(double value) {
  const double floor_value = std::floor(value);
  const double difference = value - floor_value;
  if (difference > 0.5) return floor_value + 1;
  if (difference < 0.5) return floor_value;
  return std::fmod(floor_value, 2.0) == 0 ? floor_value : floor_value + 1;
}

template <class Integer>
HRESULT IntegerFromDouble(double value, Integer* result) {
  if (!std::isfinite(value)) return DISP_E_OVERFLOW;
  const double rounded = RoundHalfEven(value);
  // Both limits are exact powers of two in double.
  const double lower = static_cast<double>(std::numeric_limits<Integer>::min());
  const double upper = -lower;
  if (rounded < lower || rounded >= upper) return DISP_E_OVERFLOW;
  *result = static_cast<Integer>(rounded);
  return S_OK;
}

template <class Integer>
HRESULT IntegerFromInt64(std::int64_t value, Integer* result) {
  if (value < std::numeric_limits<Integer>::min() || value > std::numeric_limits<Integer>::max()) {
    return DISP_E_OVERFLOW;
  }
  *result = static_cast<Integer>(value);
  return S_OK;
}

// The value of `source` as a number, for the numeric targets.
struct SourceNumber {
  bool exact;
  std::int64_t integer;
  double real;
};

HRESULT NumberOf(const VARIANT& source, SourceNumber* number) {
  switch (source.vt) {
    case VT_EMPTY:
      *number = {true, 0, 0};
      return S_OK;
    case VT_I4:
      *number = {true, source.lVal, static_cast<double>(source.lVal)};
      return S_OK;
    case VT_I8:
      *number = {true, source.llVal, static_cast<double>(source.llVal)};
      return S_OK;
    case VT_BOOL:
      *number = {true, source.boolVal != 0 ? -1 : 0, source.boolVal != 0 ? -1.0 : 0.0};
      return S_OK;
    case VT_R8:
      *number = {false, 0, source.dblVal};
      return S_OK;
    case VT_DATE:
      *number = {false, 0, source.date};
      return S_OK;
    case VT_BSTR: {
      TextNumber parsed;
      if (!ParseNumberText(BstrView(source.bstrVal), &parsed)) return DISP_E_TYPEMISMATCH;
      *number = {parsed.exact, parsed.integer, parsed.real};
      return S_OK;
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

template <class Integer>
HRESULT ToInteger(const VARIANT& source, Integer* result) {
  SourceNumber number{};
  const HRESULT read = NumberOf(source, &number);
  if (Failed(read)) return read;
  return number.exact ? IntegerFromInt64(number.integer, result)
                      : IntegerFromDouble(number.real, result);
}

HRESULT ToDouble(const VARIANT& source, double* result) {
  SourceNumber number{};
  const HRESULT read = NumberOf(source, &number);
  if (Failed(read)) return read;
  if (!std::isfinite(number.real)) return DISP_E_OVERFLOW;
  *result = number.real;
  return S_OK;
}

HRESULT ToBoolean(const VARIANT& source, VARIANT_BOOL* result) {
  if (source.vt == VT_BSTR) {
    const std::string_view text = Trim(BstrView(source.bstrVal));
    if (EqualsIgnoringCase(text, "True")) {
      *result = VARIANT_TRUE;
      return S_OK;
    }
    if (EqualsIgnoringCase(text, "False")) {
      *result = VARIANT_FALSE;
      return S_OK;
    }
  }
  SourceNumber number{};
  const HRESULT read = NumberOf(source, &number);
  if (Failed(read)) return read;
  const bool is_true = number.exact ? number.integer != 0 : number.real != 0;
  *result = is_true ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

HRESULT ToDate(const VARIANT& source, DATE* result) {
  if (source.vt == VT_BSTR) {
    const std::optional<DATE> parsed = ParseDateText(BstrView(source.bstrVal));
    if (!parsed) return DISP_E_TYPEMISMATCH;
    *result = *parsed;
    return S_OK;
  }
  double value = 0;
  const HRESULT read = ToDouble(source, &value);
  if (Failed(read)) return read;
  if (!IsDateInRange(value)) return DISP_E_OVERFLOW;
  *result = value;
  return S_OK;
}

HRESULT MakeText(std::string_view text, BSTR* result) {
  *result = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
  return *result == nullptr ? E_OUTOFMEMORY : S_OK;
}

HRESULT ToText(const VARIANT& source, BSTR* result) {
  char buffer[64];
  switch (source.vt) {
    case VT_EMPTY:
      return MakeText("", result);
    case VT_I4:
      return MakeText(std::to_string(source.lVal), result);
    case VT_I8:
      return MakeText(std::to_string(source.llVal), result);
    case VT_BOOL:
      return MakeText(source.boolVal != 0 ? "-1" : "0", result);
    case VT_R8: {
      if (!std::isfinite(source.dblVal)) return DISP_E_OVERFLOW;
      std::snprintf(buffer, sizeof buffer, "%.15G", source.dblVal);
      return MakeText(buffer, result);
    }
    case VT_DATE: {
      const std::optional<std::string> text = FormatDateText(source.date);
      if (!text) return DISP_E_OVERFLOW;
      return MakeText(*text, result);
    }
    default:
      return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* destination, const VARIANT* source, std::uint16_t /*flags*/,
                          VARTYPE type) {
  if (destination == nullptr || source == nullptr) return E_INVALIDARG;
  if (source->vt == type) return VariantCopy(destination, source);
  if (source->vt == VT_NULL || source->vt == VT_ERROR || source->vt == VT_UNKNOWN ||
      source->vt == VT_DISPATCH) {
    return DISP_E_TYPEMISMATCH;
  }

  VARIANT converted;
  VariantInit(&converted);
  HRESULT result = S_OK;
  switch (type) {
    case VT_EMPTY:
      break;
    case VT_NULL:
      if (source->vt != VT_EMPTY) result = DISP_E_TYPEMISMATCH;
      break;
    case VT_I4:
      result = ToInteger(*source, &converted.lVal);
      break;
    case VT_I8:
      result = ToInteger(*source, &converted.llVal);
      break;
    case VT_R8:
      result = ToDouble(*source, &converted.dblVal);
      break;
    case VT_BOOL:
      result = ToBoolean(*source, &converted.boolVal);
      break;
    case VT_DATE:
      result = ToDate(*source, &converted.date);
      break;
    case VT_BSTR:
      result = ToText(*source, &converted.bstrVal);
      break;
    default:
      result = DISP_E_BADVARTYPE;
      break;
  }
  if (Failed(result)) return result;
  converted.vt = type;
  const HRESULT cleared = VariantClear(destination);
  if (Failed(cleared)) {
    VariantClear(&converted);
    return cleared;
  }
  *destination = converted;
  return S_OK;
}

}  // namespace platform
