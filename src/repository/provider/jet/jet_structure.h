// The structures of a Jet 3 / Jet 4 file that the provider reads and
// patches: table definitions, usage maps, data pages, rows, long values and
// the catalog. Each function here checks the invariants of what it reads
// before anyone relies on it, so that a damaged file is refused with one
// clear E_FILE_CORRUPT error instead of being read wrongly, crashing a
// reader or sending it round a loop.
//
// Pages are read through JetFile, which refuses any page outside the file.
// Every page number followed here (definition chain, usage maps, data pages,
// long-value pages, moved-row pointers) is checked before it is read, and no
// chain is followed further than its length allows or onto a page it
// already visited.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "com/hresult.h"
#include "provider/jet/jet_file.h"

namespace platform::provider::jet {

// Column type codes as the table definition stores them.
enum ColumnType : std::uint8_t {
  kTypeBoolean = 0x01,
  kTypeByte = 0x02,
  kTypeInteger = 0x03,
  kTypeLong = 0x04,
  kTypeCurrency = 0x05,
  kTypeSingle = 0x06,
  kTypeDouble = 0x07,
  kTypeDateTime = 0x08,
  kTypeBinary = 0x09,
  kTypeText = 0x0A,
  kTypeOle = 0x0B,
  kTypeMemo = 0x0C,
  kTypeGuid = 0x0F,
  kTypeNumeric = 0x10,
};

inline constexpr std::uint8_t kColumnFixed = 0x01;
inline constexpr std::uint8_t kColumnAutonumber = 0x04;
inline constexpr std::uint8_t kColumnAutonumberGuid = 0x40;

struct ColumnDefinition {
  std::string name;                 // UTF-8
  std::uint8_t type = 0;            // a ColumnType
  std::uint16_t number = 0;         // its bit in the null mask; deleted columns keep theirs
  std::uint16_t variable_index = 0; // place in a row's offset table (variable columns only)
  std::uint16_t fixed_offset = 0;   // place in a row's fixed area (fixed columns only)
  std::uint16_t length = 0;         // bytes (Text: the maximum)
  std::uint8_t flags = 0;
  bool indexed = false;             // some real index of the table covers the column

  bool IsFixed() const { return (flags & kColumnFixed) != 0; }
  bool IsAutonumber() const { return (flags & (kColumnAutonumber | kColumnAutonumberGuid)) != 0; }
};

struct TableDefinition {
  std::uint32_t first_page = 0;     // the first page of the definition
  std::uint16_t max_columns = 0;    // columns ever allocated, deleted ones included
  std::uint16_t variable_columns = 0;  // variable columns ever allocated
  std::vector<ColumnDefinition> columns;  // the live columns, in definition order
  std::uint32_t owned_pages_map = 0;      // pg_row of the owned-pages usage map
};

// Reads and checks the definition that starts on `first_page`, following
// its continuation pages.
HRESULT ReadTableDefinition(const JetFile& file, std::uint32_t first_page, TableDefinition* table);

// The flags of a slot in a data page's offset table.
inline constexpr std::uint16_t kSlotPointer = 0x4000;  // the row lives elsewhere; 4-byte pg_row
inline constexpr std::uint16_t kSlotMoved = 0x8000;    // moved row data, reached through a pointer
inline constexpr std::uint16_t kSlotOffsetMask = 0x1FFF;

// Where the parts of one row lie in its page (page offsets), all checked to
// lie inside the row.
struct RowLayout {
  std::uint16_t start = 0;           // first byte of the row
  std::uint16_t end = 0;             // one past its last byte
  std::uint16_t stored_columns = 0;  // columns that existed when the row was written
  std::uint16_t fixed_area = 0;      // first byte of the fixed area (start + 1 or 2)
  std::uint16_t null_mask = 0;       // first byte of the null mask (end - ceil(N / 8))
  // Start of each variable column present in the row, by variable index,
  // then the end of the variable data: variable_offsets.size() is V + 1.
  std::vector<std::uint16_t> variable_offsets;
};

// Parses slot `slot` of `page` (a data page of `table`, PageSize() bytes
// already read) as a row: neither a pointer slot nor a deleted slot. Checks
// the slot and every offset of the row.
HRESULT ParseRow(const JetFile& file, const std::uint8_t* page, std::uint16_t slot,
                 const TableDefinition& table, RowLayout* row);

// What a scan of a table will meet, once its storage has been checked.
struct TableStorage {
  std::vector<std::uint32_t> data_pages;  // the table's data pages, in usage-map order
  std::uint64_t rows = 0;                 // live rows (moved rows counted once)
  std::uint32_t longest_long_value = 0;   // bytes of the longest long value checked
};

// Checks everything a scan of `table` reads: its owned-pages usage map (and
// reference pages), every data page it names (type, owner, offset table,
// free space), every row, every moved-row pointer (it leads to a row of the
// same table flagged as moved, and every moved row is the target of exactly
// one pointer), and the long values of the columns numbered in
// `long_value_columns` (header, LVAL pages and chains, lengths).
HRESULT CheckTableStorage(const JetFile& file, const TableDefinition& table,
                          const std::vector<std::uint16_t>& long_value_columns, TableStorage* storage);

struct CatalogTable {
  std::string name;             // UTF-8
  std::uint32_t first_page = 0; // of its definition
  bool system = false;          // a system table (flags 0x80000002)
};

// Checks the catalog (MSysObjects: its definition on page 2, its storage and
// the long values of all its long-value columns, which other readers follow
// without a bound) and lists its tables (Type 1), each checked to start on a
// table-definition page.
HRESULT ReadCatalog(const JetFile& file, std::vector<CatalogTable>* tables);

}  // namespace platform::provider::jet
