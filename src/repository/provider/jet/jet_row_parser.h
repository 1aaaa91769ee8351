// RowParser: checks and lays out the rows of one table. ParseRow builds one
// per call; a table scan builds one and reuses it, with one RowLayout, for
// every row, so that a scan allocates nothing per row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "com/hresult.h"
#include "provider/jet/jet_layout.h"
#include "provider/jet/jet_structure.h"

namespace platform::provider::jet::detail {

class RowParser {
 public:
  RowParser(const JetFile& file, const TableDefinition& table);

  // Parses the row in `range` of `page` (a live or moved-data slot found by
  // FindSlot); `place` and `slot` name it in messages.
  HRESULT Parse(const std::uint8_t* page, const SlotRange& range, const Place& place, std::uint16_t slot,
                RowLayout* row) const;

 private:
  HRESULT Fail(const Place& place, std::uint16_t slot, const std::string& what) const;
  HRESULT ParseVariableOffsets(const std::uint8_t* page, std::uint16_t trailer_end, const Place& place,
                               std::uint16_t slot, RowLayout* row) const;
  HRESULT ParseJet3Offsets(const std::uint8_t* page, std::uint16_t trailer_end, std::uint16_t variable_count,
                           const Place& place, std::uint16_t slot, RowLayout* row) const;

  const JetFile& file_;
  const FormatLayout& layout_;
  const TableDefinition& table_;
  // fixed_end_[n]: one past the last fixed byte of the columns numbered
  // below n, i.e. the fixed area a row of n stored columns must hold.
  std::vector<std::uint16_t> fixed_end_;
};

}  // namespace platform::provider::jet::detail
