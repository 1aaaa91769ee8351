// Values between the platform's VARIANTs and a PostgreSQL server's texts.
//
// Parameters travel as texts (the server's text format) beside the
// statement, never inside it; the server infers each one's type from where
// it stands. A parameter's text:
//   VT_BSTR -> its bytes (UTF-8, as every text of the platform);
//   VT_I4, VT_I8 -> decimal; VT_R8 -> the shortest text that reads back as
//   the same double ("NaN", "Infinity", "-Infinity" for the others);
//   VT_BOOL -> "true" / "false"; VT_DATE -> "YYYY-MM-DD HH:MM:SS";
//   VT_NULL, VT_EMPTY -> SQL NULL.
//
// Column values come back as texts too (the session sets DateStyle ISO), and
// the column's type, named by its type OID, picks the VARIANT type:
//   int2, int4 -> VT_I4 (the platform has no VT_I2); int8 -> VT_I8;
//   float4, float8, numeric -> VT_R8 (nor VT_R4 or VT_DECIMAL);
//   bool -> VT_BOOL; date, timestamp, timestamptz -> VT_DATE (a timestamptz
//   as the wall-clock time of the session's time zone; fractions of a second
//   kept); text, varchar, bpchar, name and every other type -> VT_BSTR of the
//   server's text. A value its type's VARIANT cannot hold (a date outside the
//   years 100 to 9999, "infinity", a numeric beyond a double's range) comes
//   as its text, VT_BSTR, as the SQLite session hands out a text it cannot
//   read as a date.
//
// Invariants: a text that holds a NUL byte is refused as a parameter (the
// server's texts cannot hold one, and the text format would cut it short);
// no conversion depends on the process's locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "com/hresult.h"
#include "oleaut/variant.h"

namespace platform::provider::pg {

// Type OIDs the server assigns to its built-in types; they never change.
using TypeOid = std::uint32_t;
inline constexpr TypeOid kBoolOid = 16;
inline constexpr TypeOid kNameOid = 19;
inline constexpr TypeOid kInt8Oid = 20;
inline constexpr TypeOid kInt2Oid = 21;
inline constexpr TypeOid kInt4Oid = 23;
inline constexpr TypeOid kTextOid = 25;
inline constexpr TypeOid kFloat4Oid = 700;
inline constexpr TypeOid kFloat8Oid = 701;
inline constexpr TypeOid kBpcharOid = 1042;
inline constexpr TypeOid kVarcharOid = 1043;
inline constexpr TypeOid kDateOid = 1082;
inline constexpr TypeOid kTimestampOid = 1114;
inline constexpr TypeOid kTimestampTzOid = 1184;
inline constexpr TypeOid kNumericOid = 1700;

// How a column's texts become VARIANTs.
enum class ColumnKind { kInt32, kInt64, kReal, kBoolean, kDate, kText };

ColumnKind KindOfType(TypeOid type);

// The text for `value`, or nullopt for SQL NULL. Fails with
// DB_E_CANTCONVERTVALUE for a text holding a NUL byte, DISP_E_OVERFLOW for a
// date outside the platform's range, DISP_E_TYPEMISMATCH for a type no column
// takes. Records a description on failure.
HRESULT ParameterText(const VARIANT& value, std::optional<std::string>* text);

// Sets `value` (cleared by the caller) from the server's text of a non-NULL
// value of a column of `kind`; E_OUTOFMEMORY is the one failure.
HRESULT ColumnValue(ColumnKind kind, std::string_view text, VARIANT* value);

// The platform date of a date or timestamp in the server's ISO style
// ("2024-03-04", "2024-03-04 09:12:00.25", "2024-03-04 09:12:00+01"); nullopt
// for any other text and for dates outside the platform's range.
std::optional<DATE> ParseServerDate(std::string_view text);

}  // namespace platform::provider::pg
