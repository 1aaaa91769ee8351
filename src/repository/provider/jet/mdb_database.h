// MdbDatabase: the rows of a Jet file's tables, read through libmdb.
//
// libmdb trusts the file: it reads past pages, follows chains without a
// bound and prints what it meets. So this class is only ever used on a file
// whose catalog, and whose table about to be read, the structure checks
// (jet_structure.h) have passed; every call into the library runs with the
// standard streams silenced (QuietStdio). The library's own environment
// settings (character sets, search paths, debug options) are cleared before
// it first runs, so that nothing but the file decides what it reads. The
// library never reads the catalog itself: each table is named to it by the
// entry the checked catalog gave.
//
// libmdb hands out texts converted to UTF-8; the rest of a row's values are
// read from the row's bytes by the caller, at the place libmdb reports for
// each row (its page and slot: for a moved row, the place of its data).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "com/hresult.h"

namespace platform::provider::jet {

class MdbDatabase {
 public:
  static HRESULT Open(const std::string& path, std::unique_ptr<MdbDatabase>* database);
  ~MdbDatabase();
  MdbDatabase(const MdbDatabase&) = delete;
  MdbDatabase& operator=(const MdbDatabase&) = delete;

  // Called for each row with its data page and slot and the texts of the
  // columns asked for (empty for NULL: the caller tells NULL from the row's
  // null mask).
  using RowVisitor = std::function<HRESULT(std::uint32_t page, std::uint16_t slot,
                                           const std::vector<std::string_view>& texts)>;

  // Reads every row of the table `table_name`, whose definition starts on
  // `first_page` (as the checked catalog gives them),
  // binding the columns named in `text_columns`. `longest_value` is the
  // longest long value in bytes among them, so that no text is cut. Fails
  // with E_FILE_CORRUPT when the rows read are not `expected_rows`.
  HRESULT ScanTable(const std::string& table_name, std::uint32_t first_page,
                    const std::vector<std::string>& text_columns,
                    std::uint32_t longest_value, std::uint64_t expected_rows,
                    const RowVisitor& visitor);

 private:
  struct Library;  // the libmdb handle, kept out of this header with its glib types
  MdbDatabase(std::unique_ptr<Library> library, std::string path);
  std::unique_ptr<Library> library_;
  std::string path_;
};

}  // namespace platform::provider::jet
