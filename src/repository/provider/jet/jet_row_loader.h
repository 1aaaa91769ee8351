// Loading a table's rows into the SQL engine's copy straight from the file's
// pages, in the same pass that checks them.
//
// The storage check (jet_scan.h) already reads every data page and parses
// every row; the loader binds the wanted columns of each row it hands over
// and inserts (or updates) the row in the copy. Only columns whose values
// need no conversion library are read this way: numbers, dates, Yes/No,
// GUIDs and Text. Memos and numerics go through libmdb (mdb_database.h).
//
// Invariants:
// - A row reaches the copy only after it and its page passed their checks;
//   a check that fails later in the scan fails the load, and the caller
//   rolls the copy back.
// - Each row's rowid is its place in the file (page << 8 | slot of its
//   data), the same place libmdb reports for it.
#pragma once

#include <cstdint>
#include <vector>

#include "com/hresult.h"
#include "provider/jet/jet_file.h"
#include "provider/jet/jet_structure.h"

struct sqlite3_stmt;

namespace platform::provider::jet {

inline constexpr int kRowShift = 8;  // a rowid is page << 8 | slot, as the file's own row pointers
inline constexpr std::int64_t kSlotMask = 0xFF;

inline std::int64_t RowIdOf(std::uint32_t page, std::uint16_t slot) {
  return (static_cast<std::int64_t>(page) << kRowShift) | slot;
}

// Whether the loader here can read the column's values (otherwise libmdb
// converts them).
bool IsReadDirectly(const ColumnDefinition& column);

// What a direct load came to.
enum class DirectLoad {
  kLoaded,        // every row is in the copy
  kNeedsLibrary,  // a Text value is in a code page decoded only by libmdb; nothing may be kept
  kFailed,        // the HRESULT says why (damage, the engine)
};

// Checks the table's storage as CheckTableStorage does and, row by row, binds
// the rowid to parameter 1 and the value of columns[k] to parameter k + 2 of
// `statement`, then steps and resets it. `handle` reports engine failures.
DirectLoad LoadRowsDirectly(const JetFile& file, const TableDefinition& table,
                            const std::vector<const ColumnDefinition*>& columns, sqlite3_stmt* statement,
                            TableStorage* storage, HRESULT* result);

}  // namespace platform::provider::jet
