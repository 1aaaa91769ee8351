// Byte positions of the Jet 3 and Jet 4 page structures that the structure
// checks read, and the small helpers they share: the two formats keep the
// same fields at different offsets, so every reader takes them from a
// FormatLayout instead of branching on the version at each field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "com/hresult.h"
#include "provider/jet/jet_file.h"
#include "provider/jet/jet_structure.h"

namespace platform::provider::jet::detail {

// Page header fields common to both formats.
inline constexpr std::size_t kPageTypeOffset = 0;
inline constexpr std::size_t kPageMarkerOffset = 1;
inline constexpr std::uint8_t kPageMarker = 0x01;
inline constexpr std::uint8_t kPageTypeData = 0x01;
inline constexpr std::uint8_t kPageTypeTableDefinition = 0x02;
inline constexpr std::uint8_t kPageTypeUsageBitmap = 0x05;

inline constexpr std::size_t kDataFreeSpaceOffset = 2;
inline constexpr std::size_t kDataOwnerOffset = 4;
// LVAL pages name no table as their owner but carry these four bytes.
inline constexpr std::uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL" read little-endian

inline constexpr std::size_t kSlotEntryBytes = 2;
inline constexpr std::uint16_t kSlotFlagsMask = kSlotPointer | kSlotMoved;
inline constexpr std::uint16_t kSlotDeleted = kSlotPointer | kSlotMoved;
inline constexpr std::uint16_t kMaxSlots = 255;

inline constexpr std::size_t kPageRowBytes = 4;
inline constexpr unsigned kPageRowPageShift = 8;
inline constexpr std::uint32_t kPageRowSlotMask = 0xFF;

inline std::uint32_t PageOf(std::uint32_t page_row) { return page_row >> kPageRowPageShift; }
inline std::uint16_t SlotOf(std::uint32_t page_row) {
  return static_cast<std::uint16_t>(page_row & kPageRowSlotMask);
}

struct FormatLayout {
  std::uint32_t page_size;
  // Table definition header.
  std::size_t tdef_max_columns;
  std::size_t tdef_variable_columns;
  std::size_t tdef_column_count;
  std::size_t tdef_logical_indexes;
  std::size_t tdef_real_indexes;
  std::size_t tdef_owned_map;
  std::size_t tdef_header_size;
  bool tdef_vc_marker;  // Jet 3 writes "VC" into bytes 2-3 of every definition page
  // Variable part of the definition.
  std::size_t real_index_count_entry;
  std::size_t column_entry;
  std::size_t column_number;
  std::size_t column_variable_index;
  std::size_t column_flags;
  std::size_t column_fixed_offset;
  std::size_t column_length;
  std::size_t name_length_bytes;
  std::size_t real_index_block;
  std::size_t real_index_slots;
  std::size_t logical_entry;
  std::size_t logical_real_index;
  // Data pages and rows.
  std::size_t data_row_count;
  std::size_t data_offset_table;
  std::size_t row_count_bytes;  // width of N, V and the variable-column offsets
  // Data bytes of one piece of a long value chain, as Access fills them.
  std::uint32_t long_value_piece;
};

const FormatLayout& LayoutOf(JetVersion version);

// The error every failed check returns: "<path> is damaged: <what>".
HRESULT Damaged(const JetFile& file, const std::string& what);

// The row byte range of one slot of a data page.
struct SlotRange {
  std::uint16_t flags = 0;  // kSlotPointer / kSlotMoved bits of the offset entry
  std::uint16_t start = 0;
  std::uint16_t end = 0;
};

// Names a page in messages. Scans check millions of rows, so the text is
// built only when a check fails.
struct Place {
  static constexpr std::uint32_t kUnknownPage = 0;
  const char* kind = "data page";  // what the page is to the table
  std::uint32_t table = 0;         // first page of the table's definition
  std::uint32_t page = kUnknownPage;

  std::string Describe() const;                    // "table at page 7, data page 13"
  std::string Describe(std::uint16_t slot) const;  // "table at page 7, data page 13 slot 0"
};

// Reads slot `slot` of a data page after checking the page's row count and
// that the slot's row lies between the offset table and its neighbour.
HRESULT FindSlot(const JetFile& file, const std::uint8_t* page, std::uint16_t slot, const Place& place,
                 SlotRange* range);

// Where a column's value lies in a parsed row; `present` is false for a NULL
// value and for a column the row does not store.
struct ValueSpan {
  bool present = false;
  std::uint16_t begin = 0;
  std::uint16_t end = 0;
};

ValueSpan LocateValue(const RowLayout& row, const std::uint8_t* page, const ColumnDefinition& column);

// Bytes a fixed column takes in the fixed area (0 for Yes/No, which lives in
// the null mask).
std::uint16_t FixedSize(const ColumnDefinition& column);

}  // namespace platform::provider::jet::detail
