#include "provider/jet/jet_row_loader.h"

#include <sqlite3.h>

#include <string>

#include "com/error_info.h"
#include "provider/jet/jet_scan.h"
#include "provider/jet/jet_text.h"
#include "provider/jet/jet_values.h"
#include "provider/sqlite_database.h"

namespace platform::provider::jet {
namespace {

using detail::TextDecoding;

class RowLoader final : public detail::RowVisitor {
 public:
  RowLoader(const JetFile& file, const std::vector<const ColumnDefinition*>& columns, sqlite3_stmt* statement)
      : file_(file), columns_(columns), statement_(statement), texts_(columns.size()) {}

  HRESULT Visit(const std::uint8_t* page, const detail::Place& place, std::uint16_t slot,
                const RowLayout& row) override {
    int bound = sqlite3_bind_int64(statement_, 1, RowIdOf(place.page, slot));
    for (std::size_t k = 0; k < columns_.size() && bound == SQLITE_OK; ++k) {
      const ColumnDefinition& column = *columns_[k];
      const int index = static_cast<int>(k + 2);
      if (column.type == kTypeText) {
        const HRESULT decoded = DecodeText(page, place, slot, row, column, &texts_[k]);
        if (Failed(decoded)) return decoded;
        // The engine reads the text before this call returns: no copy.
        bound = IsPresent(page, row, column) ? sqlite3_bind_text64(statement_, index, texts_[k].data(), texts_[k].size(), SQLITE_STATIC,
                                              SQLITE_UTF8)
                        : sqlite3_bind_null(statement_, index);
      } else {
        bound = BindColumnValue(statement_, index, page, row, column, {});
      }
    }
    if (bound == SQLITE_CORRUPT) return detail::Damaged(file_, place.Describe(slot) + ": the row is cut short");
    if (bound == SQLITE_OK) {
      bound = sqlite3_step(statement_);
      sqlite3_reset(statement_);
      if (bound == SQLITE_DONE) return S_OK;
    }
    return ResultFromSqlite(sqlite3_db_handle(statement_), bound);
  }

  bool NeedsLibrary() const { return needs_library_; }

 private:
  HRESULT DecodeText(const std::uint8_t* page, const detail::Place& place, std::uint16_t slot,
                     const RowLayout& row, const ColumnDefinition& column, std::string* text) {
    text->clear();
    const detail::ValueSpan span = detail::LocateValue(row, page, column);
    if (!span.present) return S_OK;
    const std::uint8_t* bytes = page + span.begin;
    const std::size_t length = static_cast<std::size_t>(span.end - span.begin);
    const TextDecoding decoding = file_.Version() == JetVersion::kJet3
                                      ? detail::DecodeCodePageText(bytes, length, file_.CodePage(), text)
                                      : detail::DecodeJet4Text(bytes, length, text);
    switch (decoding) {
      case TextDecoding::kDecoded:
        return S_OK;
      case TextDecoding::kUnsupportedCodePage:
        needs_library_ = true;
        return E_ABORT;
      case TextDecoding::kMalformed:
        break;
    }
    return detail::Damaged(file_, place.Describe(slot) + ", column '" + column.name +
                                      "': the text has an odd number of bytes");
  }

  const JetFile& file_;
  const std::vector<const ColumnDefinition*>& columns_;
  sqlite3_stmt* statement_;
  std::vector<std::string> texts_;  // one buffer per column, reused row after row
  bool needs_library_ = false;
};

}  // namespace

bool IsReadDirectly(const ColumnDefinition& column) {
  return IsReadable(column) && !IsLongValue(column) && column.type != kTypeNumeric;
}

DirectLoad LoadRowsDirectly(const JetFile& file, const TableDefinition& table,
                            const std::vector<const ColumnDefinition*>& columns, sqlite3_stmt* statement,
                            TableStorage* storage, HRESULT* result) {
  RowLoader loader(file, columns, statement);
  *result = detail::ScanTable(file, table, {}, storage, &loader);
  if (loader.NeedsLibrary()) return DirectLoad::kNeedsLibrary;
  return Succeeded(*result) ? DirectLoad::kLoaded : DirectLoad::kFailed;
}

}  // namespace platform::provider::jet
