// The table scan behind CheckTableStorage, open to the catalog reader, which
// needs the values of the rows it checks and should not read the pages twice.
#pragma once

#include <cstdint>
#include <vector>

#include "com/hresult.h"
#include "provider/jet/jet_layout.h"
#include "provider/jet/jet_structure.h"

namespace platform::provider::jet::detail {

class RowVisitor {
 public:
  virtual ~RowVisitor() = default;
  // Called for every live row and every moved row's data once the row and
  // its long values have passed their checks; `page` holds the row's page.
  virtual HRESULT Visit(const std::uint8_t* page, const Place& place, std::uint16_t slot, const RowLayout& row) = 0;
};

// CheckTableStorage, handing each row to `visitor` (may be null).
HRESULT ScanTable(const JetFile& file, const TableDefinition& table,
                  const std::vector<std::uint16_t>& long_value_columns, TableStorage* storage, RowVisitor* visitor);

}  // namespace platform::provider::jet::detail
