// The catalog: MSysObjects, whose definition is always on page 2. Its rows
// are checked like any table's, with all of its long-value columns (other
// readers follow their chains without a bound), and its table rows are
// decoded here from the row bytes.
#include <algorithm>

#include "com/error_info.h"
#include "provider/jet/jet_scan.h"
#include "provider/jet/jet_text.h"

namespace platform::provider::jet {
namespace detail {
namespace {

constexpr std::uint32_t kCatalogPage = 2;
constexpr char kCatalogName[] = "MSysObjects";
constexpr std::int16_t kObjectTypeTable = 1;
constexpr std::uint32_t kIdPageMask = 0x00FFFFFF;  // the high byte of Id holds the object kind
constexpr std::uint32_t kSystemObjectFlags = 0x80000002;

std::int16_t ReadI16(const std::uint8_t* bytes) { return static_cast<std::int16_t>(ReadU16(bytes)); }

const ColumnDefinition* FindColumn(const TableDefinition& table, const std::string& name, std::uint8_t type,
                                   bool fixed) {
  const auto found = std::find_if(table.columns.begin(), table.columns.end(),
                                  [&name](const ColumnDefinition& column) { return column.name == name; });
  if (found == table.columns.end() || found->type != type || found->IsFixed() != fixed) return nullptr;
  return &*found;
}

class CatalogReader : public RowVisitor {
 public:
  CatalogReader(const JetFile& file, std::vector<CatalogTable>* tables) : file_(file), tables_(tables) {}

  HRESULT Read() {
    HRESULT result = ReadTableDefinition(file_, kCatalogPage, &catalog_);
    if (Succeeded(result)) result = FindColumns();
    if (Failed(result)) return result;
    std::vector<std::uint16_t> long_value_columns;
    for (const ColumnDefinition& column : catalog_.columns) {
      if (column.type == kTypeMemo || column.type == kTypeOle) long_value_columns.push_back(column.number);
    }
    TableStorage storage;
    result = ScanTable(file_, catalog_, long_value_columns, &storage, this);
    if (Succeeded(result)) result = CheckTablePages();
    return result;
  }

  HRESULT Visit(const std::uint8_t* page, const Place& place, std::uint16_t slot, const RowLayout& row) override {
    const ValueSpan type = LocateValue(row, page, *type_);
    if (!type.present || ReadI16(page + type.begin) != kObjectTypeTable) return S_OK;
    const ValueSpan id = LocateValue(row, page, *id_);
    const ValueSpan name = LocateValue(row, page, *name_);
    if (!id.present || !name.present) {
      return Damaged(file_, "the catalog's table row at " + place.Describe(slot) + " lacks its Id or Name");
    }
    CatalogTable table;
    const TextDecoding decoded =
        file_.Version() == JetVersion::kJet3
            ? DecodeCodePageText(page + name.begin, static_cast<std::size_t>(name.end - name.begin), file_.CodePage(),
                                 &table.name)
            : DecodeJet4Text(page + name.begin, static_cast<std::size_t>(name.end - name.begin), &table.name);
    if (decoded == TextDecoding::kUnsupportedCodePage) {
      return ReportError(E_BAD_FORMAT, file_.Path() + " keeps its names in code page " +
                                           std::to_string(file_.CodePage()) + ", which this provider does not read");
    }
    if (decoded != TextDecoding::kDecoded) {
      return Damaged(file_, "the catalog's table row at " + place.Describe(slot) + " has a malformed Name");
    }
    table.first_page = ReadU32(page + id.begin) & kIdPageMask;
    const ValueSpan flags = LocateValue(row, page, *flags_);
    table.system = flags.present && (ReadU32(page + flags.begin) & kSystemObjectFlags) != 0;
    tables_->push_back(std::move(table));
    return S_OK;
  }

 private:
  HRESULT FindColumns() {
    id_ = FindColumn(catalog_, "Id", kTypeLong, true);
    name_ = FindColumn(catalog_, "Name", kTypeText, false);
    type_ = FindColumn(catalog_, "Type", kTypeInteger, true);
    flags_ = FindColumn(catalog_, "Flags", kTypeLong, true);
    if (id_ == nullptr || name_ == nullptr || type_ == nullptr || flags_ == nullptr) {
      return Damaged(file_, "the catalog on page 2 lacks one of its columns Id, Name, Type and Flags");
    }
    return S_OK;
  }

  // Each table row must lead to a table definition page, and the catalog
  // must list itself at page 2: otherwise page 2 is not the catalog.
  HRESULT CheckTablePages() const {
    std::vector<std::uint8_t> page(file_.PageSize());
    bool lists_itself = false;
    for (const CatalogTable& table : *tables_) {
      if (table.first_page == 0 || table.first_page >= file_.PageCount()) {
        return Damaged(file_, "the catalog places table '" + table.name + "' at page " +
                                  std::to_string(table.first_page) + ", outside the file's " +
                                  std::to_string(file_.PageCount()) + " pages");
      }
      const HRESULT read = file_.ReadPage(table.first_page, page.data());
      if (Failed(read)) return read;
      if (page[kPageTypeOffset] != kPageTypeTableDefinition) {
        return Damaged(file_, "the catalog places table '" + table.name + "' at page " +
                                  std::to_string(table.first_page) + ", which is no table definition page");
      }
      lists_itself = lists_itself || (table.first_page == kCatalogPage && table.name == kCatalogName);
    }
    if (!lists_itself) return Damaged(file_, "the catalog on page 2 does not list itself");
    return S_OK;
  }

  const JetFile& file_;
  std::vector<CatalogTable>* tables_;
  TableDefinition catalog_;
  const ColumnDefinition* id_ = nullptr;
  const ColumnDefinition* name_ = nullptr;
  const ColumnDefinition* type_ = nullptr;
  const ColumnDefinition* flags_ = nullptr;
};

}  // namespace
}  // namespace detail

HRESULT ReadCatalog(const JetFile& file, std::vector<CatalogTable>* tables) {
  std::vector<CatalogTable> read;
  const HRESULT result = detail::CatalogReader(file, &read).Read();
  if (Failed(result)) return result;
  *tables = std::move(read);
  return S_OK;
}

}  // namespace platform::provider::jet
