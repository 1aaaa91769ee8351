// The values of a Jet row: read from the row's bytes into SQLite values,
// and written back as the bytes (and null-mask bit) of a fixed-width column.
//
// A column a row does not physically hold (the row was written before the
// column was added) reads as NULL, or No for Yes/No. A Yes/No column keeps
// its value in its null-mask bit and is never NULL.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "com/hresult.h"
#include "provider/jet/jet_structure.h"
#include "provider/jet/rollback_journal.h"

struct sqlite3_stmt;
struct sqlite3_value;

namespace platform::provider::jet {

// The declared type a column takes in the SQL engine's copy of its table,
// chosen so that rows come out as the VARIANT types Jet's provider gives:
// integers, doubles, dates, booleans, and texts that compare without regard
// to case.
std::string DeclaredTypeOf(const ColumnDefinition& column);

// Whether libmdb's text of the column's values is what a load through the
// library binds (texts, memos, numerics); the others are read from the
// row's bytes here.
bool IsReadAsText(const ColumnDefinition& column);
// Whether the column's type is a fixed-width number, date or Yes/No: values
// of a few bytes each, read straight from the row (Yes/No from its null-mask
// bit).
bool IsFixedWidthNumber(const ColumnDefinition& column);
// Whether the column can be read at all (OLE objects cannot).
bool IsReadable(const ColumnDefinition& column);
// Whether its values are long values (memo, OLE), kept out of the row.
bool IsLongValue(const ColumnDefinition& column);

// Whether the row holds a value for the column (its null-mask bit is set).
bool IsPresent(const std::uint8_t* page, const RowLayout& row, const ColumnDefinition& column);

// Binds the column's value in the row (at `page`) to parameter `index`.
// `text` is libmdb's text for columns IsReadAsText. Returns a SQLite code.
int BindColumnValue(sqlite3_stmt* statement, int index, const std::uint8_t* page,
                    const RowLayout& row, const ColumnDefinition& column, std::string_view text);

// Why a column's values cannot be changed in place, or nothing when they
// can: fixed-width numbers, dates and Yes/No that no index covers.
std::optional<std::string> WhyNotWritable(const ColumnDefinition& column);

// The byte changes that give `column` of `row` the value `value`, appended
// to `patches`; none when the row already holds it. Fails (DISP_E_OVERFLOW,
// DISP_E_TYPEMISMATCH, E_CHANGE_NOT_SUPPORTED) when the value does not fit
// the column or the row cannot take it in place.
HRESULT PatchColumnValue(std::uint32_t page_number, const std::uint8_t* page,
                         const RowLayout& row, const ColumnDefinition& column,
                         sqlite3_value* value, std::vector<BytePatch>* patches);

}  // namespace platform::provider::jet
