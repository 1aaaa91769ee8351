#include "provider/jet/jet_values.h"

#include <sqlite3.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "com/error_info.h"

namespace platform::provider::jet {
namespace {

constexpr int kBitsPerByte = 8;
constexpr double kCurrencyScale = 10000.0;
constexpr std::size_t kGuidBytes = 16;

// Bytes a fixed-width type takes in the row's fixed area.
std::size_t FixedSizeOf(std::uint8_t type) {
  switch (type) {
    case kTypeByte:
      return 1;
    case kTypeInteger:
      return 2;
    case kTypeLong:
    case kTypeSingle:
      return 4;
    case kTypeCurrency:
    case kTypeDouble:
    case kTypeDateTime:
      return 8;
    case kTypeGuid:
      return kGuidBytes;
    default:
      return 0;
  }
}

std::uint64_t ReadU64(const std::uint8_t* bytes) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << kBitsPerByte) | bytes[i];
  return value;
}

double ReadDouble(const std::uint8_t* bytes) {
  const std::uint64_t bits = ReadU64(bytes);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

float ReadSingle(const std::uint8_t* bytes) {
  const std::uint32_t bits = ReadU32(bytes);
  float value = 0;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::string FormatGuid(const std::uint8_t* bytes) {
  char text[40];
  std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                ReadU32(bytes), ReadU16(bytes + 4), ReadU16(bytes + 6), bytes[8], bytes[9], bytes[10],
                bytes[11], bytes[12], bytes[13], bytes[14], bytes[15]);
  return text;
}

// The end of the fixed area: where the variable data starts, or the null
// mask when the table has no variable columns.
std::uint16_t FixedAreaEnd(const RowLayout& row) {
  return row.variable_offsets.empty() ? row.null_mask : row.variable_offsets.front();
}

void AppendBytes(std::uint64_t bits, std::size_t size, std::vector<std::uint8_t>* bytes) {
  for (std::size_t i = 0; i < size; ++i) {
    bytes->push_back(static_cast<std::uint8_t>(bits & 0xFF));
    bits >>= kBitsPerByte;
  }
}

HRESULT ToInteger(sqlite3_value* value, std::int64_t low, std::int64_t high, std::int64_t* number) {
  switch (sqlite3_value_type(value)) {
    case SQLITE_INTEGER:
      *number = sqlite3_value_int64(value);
      break;
    case SQLITE_FLOAT: {
      // Round half to even, as the platform's conversions do.
      const double rounded = std::nearbyint(sqlite3_value_double(value));
      if (!(rounded >= static_cast<double>(low) && rounded <= static_cast<double>(high))) {
        return ReportError(DISP_E_OVERFLOW, "a value is out of its column's range");
      }
      *number = static_cast<std::int64_t>(rounded);
      break;
    }
    default:
      return ReportError(DISP_E_TYPEMISMATCH, "a value does not match its column's type");
  }
  if (*number < low || *number > high) {
    return ReportError(DISP_E_OVERFLOW, "a value is out of its column's range");
  }
  return S_OK;
}

HRESULT ToDouble(sqlite3_value* value, double* number) {
  const int type = sqlite3_value_type(value);
  if (type != SQLITE_INTEGER && type != SQLITE_FLOAT) {
    return ReportError(DISP_E_TYPEMISMATCH, "a value does not match its column's type");
  }
  *number = sqlite3_value_double(value);
  if (!std::isfinite(*number)) return ReportError(DISP_E_OVERFLOW, "a value is not a finite number");
  return S_OK;
}

// The stored bytes of a non-NULL value of a writable column.
HRESULT EncodeFixedValue(const ColumnDefinition& column, sqlite3_value* value,
                         std::vector<std::uint8_t>* bytes) {
  std::int64_t integer = 0;
  double number = 0;
  HRESULT converted = S_OK;
  switch (column.type) {
    case kTypeByte:
      converted = ToInteger(value, 0, std::numeric_limits<std::uint8_t>::max(), &integer);
      break;
    case kTypeInteger:
      converted = ToInteger(value, std::numeric_limits<std::int16_t>::min(),
                            std::numeric_limits<std::int16_t>::max(), &integer);
      break;
    case kTypeLong:
      converted = ToInteger(value, std::numeric_limits<std::int32_t>::min(),
                            std::numeric_limits<std::int32_t>::max(), &integer);
      break;
    case kTypeCurrency:
      converted = ToDouble(value, &number);
      if (Succeeded(converted)) {
        const double scaled = std::nearbyint(number * kCurrencyScale);
        if (!(std::fabs(scaled) < 9.2e18)) {
          return ReportError(DISP_E_OVERFLOW, "a currency value is out of range");
        }
        integer = static_cast<std::int64_t>(scaled);
      }
      break;
    case kTypeSingle: {
      converted = ToDouble(value, &number);
      if (Succeeded(converted) && std::fabs(number) > std::numeric_limits<float>::max()) {
        return ReportError(DISP_E_OVERFLOW, "a value is out of its column's range");
      }
      const auto single = static_cast<float>(number);
      std::uint32_t bits = 0;
      std::memcpy(&bits, &single, sizeof bits);
      integer = bits;
      break;
    }
    case kTypeDouble:
    case kTypeDateTime: {
      converted = ToDouble(value, &number);
      std::uint64_t bits = 0;
      std::memcpy(&bits, &number, sizeof bits);
      AppendBytes(bits, sizeof bits, bytes);
      return converted;
    }
    default:
      return ReportError(E_CHANGE_NOT_SUPPORTED, "column " + column.name + " is not a number column");
  }
  if (Failed(converted)) return converted;
  AppendBytes(static_cast<std::uint64_t>(integer), FixedSizeOf(column.type), bytes);
  return S_OK;
}

}  // namespace

std::string DeclaredTypeOf(const ColumnDefinition& column) {
  switch (column.type) {
    case kTypeBoolean:
      return "BOOLEAN";
    case kTypeByte:
    case kTypeInteger:
    case kTypeLong:
      return "INTEGER";
    case kTypeCurrency:
    case kTypeSingle:
    case kTypeDouble:
    case kTypeNumeric:
      return "DOUBLE";
    case kTypeDateTime:
      // REAL affinity keeps a whole day a double (NUMERIC would make it an
      // integer); DATE makes it come out as a date.
      return "DOUBLE DATETIME";
    case kTypeText:
    case kTypeMemo:
    case kTypeGuid:
      return "TEXT COLLATE JETTEXT";
    default:
      return "BLOB";
  }
}

bool IsReadAsText(const ColumnDefinition& column) {
  return column.type == kTypeText || column.type == kTypeMemo || column.type == kTypeNumeric;
}

bool IsReadable(const ColumnDefinition& column) { return column.type != kTypeOle; }

bool IsFixedWidthNumber(const ColumnDefinition& column) {
  switch (column.type) {
    case kTypeBoolean:
    case kTypeByte:
    case kTypeInteger:
    case kTypeLong:
    case kTypeCurrency:
    case kTypeSingle:
    case kTypeDouble:
    case kTypeDateTime:
      return true;
    default:
      return false;
  }
}

bool IsLongValue(const ColumnDefinition& column) {
  return column.type == kTypeMemo || column.type == kTypeOle;
}

bool IsPresent(const std::uint8_t* page, const RowLayout& row, const ColumnDefinition& column) {
  if (column.number >= row.stored_columns) return false;
  const std::uint8_t mask_byte = page[row.null_mask + column.number / kBitsPerByte];
  return ((mask_byte >> (column.number % kBitsPerByte)) & 1) != 0;
}

int BindColumnValue(sqlite3_stmt* statement, int index, const std::uint8_t* page,
                    const RowLayout& row, const ColumnDefinition& column, std::string_view text) {
  const bool present = IsPresent(page, row, column);
  if (column.type == kTypeBoolean) return sqlite3_bind_int(statement, index, present ? 1 : 0);
  if (!present) return sqlite3_bind_null(statement, index);
  if (column.type == kTypeText || column.type == kTypeMemo) {
    return sqlite3_bind_text64(statement, index, text.data(), text.size(), SQLITE_TRANSIENT,
                               SQLITE_UTF8);
  }
  if (column.type == kTypeNumeric) {
    const std::string copy(text);
    char* end = nullptr;
    const double number = std::strtod(copy.c_str(), &end);
    if (copy.empty() || end == nullptr || *end != '\0') return sqlite3_bind_null(statement, index);
    return sqlite3_bind_double(statement, index, number);
  }
  if (column.type == kTypeBinary) {
    if (column.variable_index + std::size_t{1} >= row.variable_offsets.size()) {
      return sqlite3_bind_null(statement, index);
    }
    const std::uint16_t from = row.variable_offsets[column.variable_index];
    const std::uint16_t to = row.variable_offsets[column.variable_index + std::size_t{1}];
    return sqlite3_bind_blob64(statement, index, page + from, to - from, SQLITE_TRANSIENT);
  }
  const std::uint8_t* bytes = page + row.fixed_area + column.fixed_offset;
  if (row.fixed_area + column.fixed_offset + FixedSizeOf(column.type) > FixedAreaEnd(row)) {
    return SQLITE_CORRUPT;
  }
  switch (column.type) {
    case kTypeByte:
      return sqlite3_bind_int(statement, index, bytes[0]);
    case kTypeInteger:
      return sqlite3_bind_int(statement, index, static_cast<std::int16_t>(ReadU16(bytes)));
    case kTypeLong:
      return sqlite3_bind_int(statement, index, static_cast<std::int32_t>(ReadU32(bytes)));
    case kTypeCurrency:
      return sqlite3_bind_double(
          statement, index, static_cast<double>(static_cast<std::int64_t>(ReadU64(bytes))) / kCurrencyScale);
    case kTypeSingle:
      return sqlite3_bind_double(statement, index, static_cast<double>(ReadSingle(bytes)));
    case kTypeDouble:
    case kTypeDateTime:
      return sqlite3_bind_double(statement, index, ReadDouble(bytes));
    case kTypeGuid: {
      const std::string guid = FormatGuid(bytes);
      return sqlite3_bind_text64(statement, index, guid.data(), guid.size(), SQLITE_TRANSIENT,
                                 SQLITE_UTF8);
    }
    default:
      return sqlite3_bind_null(statement, index);
  }
}

std::optional<std::string> WhyNotWritable(const ColumnDefinition& column) {
  if (!IsFixedWidthNumber(column)) return "column " + column.name + " is not a fixed-width number column";
  if (column.type != kTypeBoolean && !column.IsFixed()) {
    return "column " + column.name + " is not a fixed-width column";
  }
  if (column.indexed) return "an index covers column " + column.name;
  if (column.IsAutonumber()) return "column " + column.name + " is numbered automatically";
  return std::nullopt;
}

HRESULT PatchColumnValue(std::uint32_t page_number, const std::uint8_t* page,
                         const RowLayout& row, const ColumnDefinition& column,
                         sqlite3_value* value, std::vector<BytePatch>* patches) {
  const bool is_null = sqlite3_value_type(value) == SQLITE_NULL;
  if (column.type == kTypeBoolean && is_null) {
    return ReportError(E_CHANGE_NOT_SUPPORTED, "Yes/No column " + column.name + " cannot be NULL");
  }
  const bool present = IsPresent(page, row, column);
  const auto mask_offset = static_cast<std::uint16_t>(row.null_mask + column.number / kBitsPerByte);
  const auto mask_bit = static_cast<std::uint8_t>(1u << (column.number % kBitsPerByte));

  bool want_present = !is_null;
  std::vector<std::uint8_t> bytes;
  if (column.type == kTypeBoolean) {
    std::int64_t flag = 0;
    const HRESULT converted = ToInteger(value, std::numeric_limits<std::int64_t>::min(),
                                        std::numeric_limits<std::int64_t>::max(), &flag);
    if (Failed(converted)) return converted;
    want_present = flag != 0;
  } else if (!is_null) {
    const HRESULT encoded = EncodeFixedValue(column, value, &bytes);
    if (Failed(encoded)) return encoded;
  }

  if (column.number >= row.stored_columns) {
    if (!want_present) return S_OK;  // the row reads as NULL (or No) already
    return ReportError(E_CHANGE_NOT_SUPPORTED, "a row of the table was written before column " +
                                                   column.name + " was added");
  }
  if (!bytes.empty()) {
    const std::size_t at = static_cast<std::size_t>(row.fixed_area) + column.fixed_offset;
    if (at + bytes.size() > FixedAreaEnd(row)) {
      return ReportError(E_FILE_CORRUPT, "a row of column " + column.name + " is damaged");
    }
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      if (page[at + i] == bytes[i]) continue;
      patches->push_back(BytePatch{page_number, static_cast<std::uint16_t>(at + i), 0xFF, bytes[i]});
    }
  }
  if (want_present != present) {
    patches->push_back(BytePatch{page_number, mask_offset, mask_bit,
                                 static_cast<std::uint8_t>(want_present ? mask_bit : 0)});
  }
  return S_OK;
}

}  // namespace platform::provider::jet
