// The Jet structure checks: healthy files of both formats (Access-written and
// generated, with moved, deleted and late rows, long-value chains, reference
// usage maps and Jet 3 jump tables) pass every check with the right layout,
// and each kind of damage is refused where it is met, and only there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "com/error_info.h"
#include "provider/jet/jet_file.h"
#include "provider/jet/jet_structure.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform::provider::jet;
using platform::Failed;
using platform::HRESULT;
using testing_support::CopyFile;
using testing_support::ExecuteSql;
using testing_support::FixturePath;
using testing_support::TempDir;

constexpr std::size_t kJet3RowCountOffset = 12;  // row count field of a table definition
constexpr std::size_t kJet4RowCountOffset = 16;
constexpr std::size_t kJet3DataOffsetTable = 10;
constexpr std::size_t kJet4DataOffsetTable = 14;
constexpr std::size_t kJet4DataFreeSpace = 2;
constexpr std::size_t kJet4ColumnsStart = 63;  // definition header, before the index row counts
constexpr std::size_t kJet4RealIndexCountEntry = 12;
constexpr std::size_t kJet4ColumnEntry = 25;
constexpr std::size_t kJet4ColumnNumber = 5;
constexpr std::size_t kJet4ColumnType = 0;
constexpr std::size_t kJet4RealIndexCount = 51;

std::string LastError() {
  std::string text;
  platform::GetErrorInfo(&text);
  return text;
}

std::unique_ptr<JetFile> OpenJet(const std::string& path) {
  std::unique_ptr<JetFile> file;
  const HRESULT opened = JetFile::Open(path, &file);
  EXPECT_FALSE(Failed(opened)) << LastError();
  return file;
}

std::vector<std::uint16_t> LongValueColumns(const TableDefinition& table) {
  std::vector<std::uint16_t> numbers;
  for (const ColumnDefinition& column : table.columns) {
    if (column.type == kTypeMemo || column.type == kTypeOle) numbers.push_back(column.number);
  }
  return numbers;
}

const ColumnDefinition& Column(const TableDefinition& table, const std::string& name) {
  const auto found = std::find_if(table.columns.begin(), table.columns.end(),
                                  [&](const ColumnDefinition& column) { return column.name == name; });
  if (found == table.columns.end()) throw std::runtime_error("no column " + name);
  return *found;
}

std::uint32_t TablePage(const JetFile& file, const std::string& name) {
  std::vector<CatalogTable> tables;
  if (Failed(ReadCatalog(file, &tables))) throw std::runtime_error(LastError());
  for (const CatalogTable& table : tables) {
    if (table.name == name) return table.first_page;
  }
  throw std::runtime_error("no table " + name);
}

std::vector<std::uint8_t> Page(const JetFile& file, std::uint32_t number) {
  std::vector<std::uint8_t> page(file.PageSize());
  if (Failed(file.ReadPage(number, page.data()))) throw std::runtime_error(LastError());
  return page;
}

// Every table in the catalog: its definition, its storage with all its
// long-value columns, and its row count against the definition's own.
struct CheckedTable {
  std::string name;
  TableDefinition definition;
  TableStorage storage;
};

std::vector<CheckedTable> CheckEveryTable(const std::string& path) {
  std::vector<CheckedTable> checked;
  const std::unique_ptr<JetFile> file = OpenJet(path);
  if (!file) return checked;
  std::vector<CatalogTable> tables;
  if (Failed(ReadCatalog(*file, &tables))) {
    ADD_FAILURE() << "catalog: " << LastError();
    return checked;
  }
  const std::size_t row_count_at =
      file->Version() == JetVersion::kJet3 ? kJet3RowCountOffset : kJet4RowCountOffset;
  for (const CatalogTable& table : tables) {
    CheckedTable entry;
    entry.name = table.name;
    if (Failed(ReadTableDefinition(*file, table.first_page, &entry.definition))) {
      ADD_FAILURE() << table.name << " definition: " << LastError();
      continue;
    }
    if (Failed(CheckTableStorage(*file, entry.definition, LongValueColumns(entry.definition), &entry.storage))) {
      ADD_FAILURE() << table.name << " storage: " << LastError();
      continue;
    }
    // Access keeps the count of its own system tables only loosely.
    if (!table.system) {
      EXPECT_EQ(entry.storage.rows, ReadU32(Page(*file, table.first_page).data() + row_count_at)) << table.name;
    }
    checked.push_back(std::move(entry));
  }
  return checked;
}

const CheckedTable& Find(const std::vector<CheckedTable>& tables, const std::string& name) {
  const auto found =
      std::find_if(tables.begin(), tables.end(), [&](const CheckedTable& table) { return table.name == name; });
  if (found == tables.end()) throw std::runtime_error("no checked table " + name);
  return *found;
}

// --- healthy files ------------------------------------------------------------

struct HealthyCase {
  std::string file;
  std::string table;         // one table to look at closer
  std::uint64_t rows;
  std::uint32_t longest;     // its longest long value
};

TEST(JetStructureHealthy, EveryTableOfEveryFixturePassesWithItsRowCount) {
  const std::vector<HealthyCase> cases = {
      {"third-party/jet3-types.mdb", "Table1", 2, 0},
      {"third-party/jet3-overflow.mdb", "Table1", 7, 0},
      {"third-party/jet3-delcol.mdb", "Table1", 2, 0},
      {"third-party/jet3-lval.mdb", "MSP_PROJECTS", 1, 22970},
      {"third-party/jet4-types.mdb", "Table1", 2, 0},
      {"third-party/jet4-overflow.mdb", "Table1", 7, 0},
      {"third-party/jet4-delcol.mdb", "Table1", 2, 0},
      {"third-party/jet4-index.mdb", "Table1", 512, 0},
      {"third-party/jet4-lval.mdb", "MSP_PROJECTS", 1, 22970},
      {"repositories/sample.mdb", "t_object", 15, 58},  // Jet 4 memos keep the FF FE of compressed text
      {"repositories/sample-jet3.mdb", "t_object", 15, 56},
      {"repositories/pages.mdb", "t_object", 415, 99},
      {"repositories/pages-jet3.mdb", "t_object", 415, 97},
  };
  for (const HealthyCase& c : cases) {
    SCOPED_TRACE(c.file);
    const std::vector<CheckedTable> tables = CheckEveryTable(FixturePath(c.file));
    const CheckedTable& table = Find(tables, c.table);
    EXPECT_EQ(table.storage.rows, c.rows);
    EXPECT_EQ(table.storage.longest_long_value, c.longest);
  }
}

TEST(JetStructureHealthy, CatalogListsTablesWithTheirPagesAndSystemFlags) {
  const std::unique_ptr<JetFile> file = OpenJet(FixturePath("repositories/sample.mdb"));
  std::vector<CatalogTable> tables;
  ASSERT_FALSE(Failed(ReadCatalog(*file, &tables))) << LastError();
  std::vector<std::string> listed;
  for (const CatalogTable& table : tables) {
    listed.push_back(table.name + "@" + std::to_string(table.first_page) + (table.system ? " system" : ""));
  }
  std::sort(listed.begin(), listed.end());
  EXPECT_EQ(listed, (std::vector<std::string>{"MSysACEs@3 system", "MSysObjects@2 system", "MSysQueries@4 system",
                                              "MSysRelationships@5 system", "t_connector@9", "t_object@7",
                                              "t_objectproperties@8", "t_package@6"}));
}

// The column layouts Access wrote: deleted columns keep their numbers,
// fixed bytes and variable slots; index coverage comes from the real index
// blocks.
TEST(JetStructureHealthy, DefinitionsKeepColumnNumbersOffsetsAndIndexCoverage) {
  struct Expected {
    std::string column;
    std::uint16_t number;
    bool fixed;
    std::uint16_t place;  // fixed offset or variable index
    bool indexed;
  };
  struct Case {
    std::string file;
    std::uint16_t max_columns;
    std::size_t live_columns;
    std::vector<Expected> columns;
  };
  const std::vector<Case> cases = {
      {"third-party/jet4-delcol.mdb", 6, 4,
       {{"id", 0, true, 0, true}, {"id2", 2, true, 8, true}, {"data", 3, false, 0, false},
        {"data2", 5, false, 2, false}}},
      {"third-party/jet3-types.mdb", 9, 9,
       {{"A", 0, false, 0, true}, {"B", 1, false, 1, true}, {"E", 4, true, 3, false}, {"H", 7, true, 23, false}}},
      {"third-party/jet4-types.mdb", 9, 9,
       {{"A", 0, false, 0, true}, {"B", 1, false, 1, true}, {"E", 4, true, 3, false}, {"H", 7, true, 23, false}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::unique_ptr<JetFile> file = OpenJet(FixturePath(c.file));
    TableDefinition table;
    ASSERT_FALSE(Failed(ReadTableDefinition(*file, TablePage(*file, "Table1"), &table))) << LastError();
    EXPECT_EQ(table.max_columns, c.max_columns);
    EXPECT_EQ(table.columns.size(), c.live_columns);
    for (const Expected& expected : c.columns) {
      SCOPED_TRACE(expected.column);
      const ColumnDefinition& column = Column(table, expected.column);
      EXPECT_EQ(column.number, expected.number);
      EXPECT_EQ(column.IsFixed(), expected.fixed);
      EXPECT_EQ(expected.fixed ? column.fixed_offset : column.variable_index, expected.place);
      EXPECT_EQ(column.indexed, expected.indexed);
    }
  }
}

// Column E (Long, 333333333) of Table1 in both Access-written files: the
// value and its null-mask bit where the format notes place them.
TEST(JetStructureHealthy, ParseRowPlacesFixedValueAndMaskBit) {
  struct Case {
    std::string file;
    std::uint32_t page;
    std::uint16_t slot;
    std::uint16_t value_at;
    std::uint16_t mask_byte;
  };
  const std::vector<Case> cases = {
      {"third-party/jet3-types.mdb", 31, 1, 1958, 2006},
      {"third-party/jet4-types.mdb", 27, 0, 4029, 4094},
  };
  constexpr std::uint8_t kValue[] = {0x55, 0x43, 0xDE, 0x13};
  constexpr unsigned kBitsPerByte = 8;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::unique_ptr<JetFile> file = OpenJet(FixturePath(c.file));
    TableDefinition table;
    ASSERT_FALSE(Failed(ReadTableDefinition(*file, TablePage(*file, "Table1"), &table))) << LastError();
    const std::vector<std::uint8_t> page = Page(*file, c.page);
    RowLayout row;
    ASSERT_FALSE(Failed(ParseRow(*file, page.data(), c.slot, table, &row))) << LastError();
    const ColumnDefinition& e = Column(table, "E");
    const std::uint16_t value_at = static_cast<std::uint16_t>(row.fixed_area + e.fixed_offset);
    const std::uint16_t mask_byte = static_cast<std::uint16_t>(row.null_mask + e.number / kBitsPerByte);
    EXPECT_EQ(value_at, c.value_at);
    EXPECT_EQ(mask_byte, c.mask_byte);
    EXPECT_TRUE(std::equal(std::begin(kValue), std::end(kValue), page.begin() + value_at));
    EXPECT_NE(page[mask_byte] & (1U << (e.number % kBitsPerByte)), 0U);
    EXPECT_EQ(row.variable_offsets.size(), 3U);  // A and B, then the end of the variable data
    EXPECT_GE(row.variable_offsets.front(), value_at + sizeof(kValue));
  }
}

// --- generated files ------------------------------------------------------------

std::string Sqlite2Jet() { return std::string(RECONSIDER_SHARED_DIR) + "/tools/sqlite2jet"; }

void MakeJet(const std::string& sqlite, const std::string& mdb, std::vector<std::string> options) {
  options.push_back("-q");
  options.push_back(sqlite);
  options.push_back(mdb);
  const testing_support::ProcessResult made = testing_support::RunProcess(Sqlite2Jet(), options);
  ASSERT_EQ(made.exit_status, 0) << made.standard_error;
}

// The first slot of a data page that holds a plain row (no flags).
std::uint16_t FirstPlainSlot(const JetFile& file, const std::vector<std::uint8_t>& page) {
  const std::size_t table = file.Version() == JetVersion::kJet3 ? kJet3DataOffsetTable : kJet4DataOffsetTable;
  const std::uint16_t rows = ReadU16(page.data() + table - 2);
  for (std::uint16_t slot = 0; slot < rows; ++slot) {
    if ((ReadU16(page.data() + table + 2U * slot) & 0xC000) == 0) return slot;
  }
  throw std::runtime_error("no plain row on the page");
}

std::string Repeat(const std::string& text, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += text;
  return out;
}

// Rows of every shape a scan meets: late rows written before a column
// existed, deleted rows, moved rows, memo chains, rows long enough for Jet 3
// jump tables, a table without variable columns, and more data pages than an
// inline usage map covers.
TEST(JetStructureGenerated, EveryRowShapePassesInBothFormats) {
  TempDir dir;
  const std::string sqlite = dir.File("shapes.sqlite");
  ExecuteSql(sqlite,
             "create table wide (id integer primary key, a varchar(250), b varchar(250), c varchar(250), "
             "n integer, memo text, late integer);"
             "create table numbers (id integer primary key, x integer, y smallint);"
             "with recursive s(i) as (select 1 union all select i + 1 from s where i < 6000) "
             "insert into wide select i, printf('%0200d', i), printf('b%0199d', i), printf('c%0199d', i), i * 7, "
             "case when i % 500 = 0 then '" + Repeat("long memo text ", 700) + "' when i % 3 = 0 then 'short' end, "
             "i from s;"
             "with recursive s(i) as (select 1 union all select i + 1 from s where i < 50) "
             "insert into numbers select i, i * 2, i % 7 from s;");
  const std::vector<std::string> shape_options = {"--late-column", "wide.late:100", "--deleted-rows", "wide:30",
                                                  "--move-rows", "wide:40", "--move-rows", "numbers:5"};
  for (const bool jet3 : {false, true}) {
    SCOPED_TRACE(jet3 ? "Jet 3" : "Jet 4");
    const std::string mdb = dir.File(jet3 ? "shapes3.mdb" : "shapes4.mdb");
    std::vector<std::string> options = shape_options;
    if (jet3) options.insert(options.begin(), "--jet3");
    MakeJet(sqlite, mdb, options);
    const std::vector<CheckedTable> tables = CheckEveryTable(mdb);
    const CheckedTable& wide = Find(tables, "wide");
    EXPECT_EQ(wide.storage.rows, 6000U);
    EXPECT_GT(wide.storage.data_pages.size(), jet3 ? 1024U : 512U);  // past what an inline map covers
    EXPECT_EQ(wide.storage.longest_long_value, (jet3 ? 1U : 2U) * 15 * 700);
    EXPECT_EQ(Find(tables, "numbers").storage.rows, 50U);

    // Late rows store fewer columns; the late column lies past their mask.
    const std::unique_ptr<JetFile> file = OpenJet(mdb);
    const std::vector<std::uint8_t> first = Page(*file, wide.storage.data_pages.front());
    RowLayout row;
    ASSERT_FALSE(Failed(ParseRow(*file, first.data(), FirstPlainSlot(*file, first), wide.definition, &row)))
        << LastError();
    EXPECT_EQ(row.stored_columns, Column(wide.definition, "late").number);
    // In Jet 3 the end of b lies past byte 255 of the row, which only the
    // jump table can express; Jet 4 stores b compressed, after FF FE.
    const std::uint16_t b = Column(wide.definition, "b").variable_index;
    const std::size_t marker = jet3 ? 0 : 2;
    EXPECT_EQ(first[row.variable_offsets[b] + marker], 'b');
    EXPECT_EQ(row.variable_offsets[b + 1U] - row.variable_offsets[b], 200 + marker);
    EXPECT_EQ(first[row.variable_offsets[b + 1U] + marker], 'c');

    const CheckedTable& numbers = Find(tables, "numbers");
    const std::vector<std::uint8_t> number_page = Page(*file, numbers.storage.data_pages.front());
    ASSERT_FALSE(Failed(ParseRow(*file, number_page.data(), FirstPlainSlot(*file, number_page), numbers.definition,
                                 &row)))
        << LastError();
    EXPECT_EQ(row.variable_offsets, std::vector<std::uint16_t>{row.null_mask});
  }
}

// Names are decoded to UTF-8 from code page 1252 (Jet 3) and from UCS-2 or
// its compressed form (Jet 4).
TEST(JetStructureGenerated, NamesDecodeToUtf8) {
  TempDir dir;
  const std::string sqlite = dir.File("names.sqlite");
  const std::string table_name = "Größe€";  // € is 0x80 in code page 1252
  const std::string column_name = "Maß‰Œ";
  ExecuteSql(sqlite, "create table \"" + table_name + "\" (id integer primary key, \"" + column_name +
                         "\" varchar(20)); insert into \"" + table_name + "\" values (1, 'x');");
  for (const bool jet3 : {false, true}) {
    SCOPED_TRACE(jet3 ? "Jet 3" : "Jet 4");
    const std::string mdb = dir.File(jet3 ? "names3.mdb" : "names4.mdb");
    MakeJet(sqlite, mdb, jet3 ? std::vector<std::string>{"--jet3"} : std::vector<std::string>{});
    const std::unique_ptr<JetFile> file = OpenJet(mdb);
    TableDefinition table;
    ASSERT_FALSE(Failed(ReadTableDefinition(*file, TablePage(*file, table_name), &table))) << LastError();
    EXPECT_NO_THROW(Column(table, column_name));
  }
}

// --- damage --------------------------------------------------------------------

enum class Stage { kOpenOrCatalog, kDefinition, kStorage, kNowhere };

struct DamageCase {
  std::string file;
  Stage stage;
  std::string table;    // the table whose check must fail (kDefinition, kStorage)
  std::string message;  // part of the error text
};

// Checks every table of `path` and returns where the first failure was met:
// "catalog", "<table> definition", "<table> storage" or "" when all passed.
std::string FirstFailure(const std::string& path, std::string* message,
                         const std::function<std::vector<std::uint16_t>(const TableDefinition&)>& long_values) {
  std::unique_ptr<JetFile> file;
  std::vector<CatalogTable> tables;
  if (Failed(JetFile::Open(path, &file)) || Failed(ReadCatalog(*file, &tables))) {
    *message = LastError();
    return "catalog";
  }
  for (const CatalogTable& table : tables) {
    TableDefinition definition;
    if (Failed(ReadTableDefinition(*file, table.first_page, &definition))) {
      *message = LastError();
      return table.name + " definition";
    }
    TableStorage storage;
    if (Failed(CheckTableStorage(*file, definition, long_values(definition), &storage))) {
      *message = LastError();
      return table.name + " storage";
    }
  }
  return "";
}

std::string ExpectedPlace(const DamageCase& c) {
  switch (c.stage) {
    case Stage::kOpenOrCatalog: return "catalog";
    case Stage::kDefinition: return c.table + " definition";
    case Stage::kStorage: return c.table + " storage";
    case Stage::kNowhere: break;
  }
  return "";
}

void ExpectFailure(const DamageCase& c, const std::string& path,
                   const std::function<std::vector<std::uint16_t>(const TableDefinition&)>& long_values) {
  SCOPED_TRACE(c.file);
  std::string message;
  EXPECT_EQ(FirstFailure(path, &message, long_values), ExpectedPlace(c)) << message;
  EXPECT_NE(message.find(c.message), std::string::npos) << message;
}

TEST(JetStructureDamaged, EachDamagedFixtureFailsWhereItsDamageIsMet) {
  const std::vector<DamageCase> cases = {
      {"open-empty.mdb", Stage::kOpenOrCatalog, "", "not a Jet database"},
      {"open-cut-header.mdb", Stage::kOpenOrCatalog, "", "cut short"},
      {"open-text.mdb", Stage::kOpenOrCatalog, "", "not a Jet database"},
      {"open-version-unknown.mdb", Stage::kOpenOrCatalog, "", "version"},
      {"open-version-ace.mdb", Stage::kOpenOrCatalog, "", "version"},
      {"open-msysobjects-garbage.mdb", Stage::kOpenOrCatalog, "", "table definition on page 2"},
      {"open-truncated.mdb", Stage::kOpenOrCatalog, "", "page 23, outside the file's 16 pages"},
      {"open-catalog-property-loop.mdb", Stage::kOpenOrCatalog, "", "column 'LvProp': the chain"},
      {"step1-object-row-offset.mdb", Stage::kStorage, "t_object", "data page 13 slot 0: row offset 8040"},
      {"step1-property-var-offsets.mdb", Stage::kStorage, "t_objectproperties", "data page 16 slot 0: variable"},
      {"step2-package-column-count.mdb", Stage::kDefinition, "t_package", "column count 65535"},
      {"step2-package-usage-map.mdb", Stage::kStorage, "t_package", "names page 25, outside"},
      {"step4-connector-row-loop.mdb", Stage::kStorage, "t_connector", "leads to page 19 slot"},
      {"step4-connector-tdef-loop.mdb", Stage::kDefinition, "t_connector", "names a next page 9"},
  };
  for (const DamageCase& c : cases) ExpectFailure(c, FixturePath("damaged/" + c.file), LongValueColumns);
}

// The memo damage is only met by a scan that checks that column.
TEST(JetStructureDamaged, MemoPointerNowhereFailsOnlyWhenItsColumnIsChecked) {
  const std::string path = FixturePath("damaged/memo-pointer-nowhere.mdb");
  const auto without_memos = [](const TableDefinition&) { return std::vector<std::uint16_t>{}; };
  ExpectFailure({"memo-pointer-nowhere.mdb", Stage::kNowhere, "", ""}, path, without_memos);
  ExpectFailure({"memo-pointer-nowhere.mdb", Stage::kStorage, "t_object", "column 'note'"}, path,
                LongValueColumns);
}

// --- targeted damage on copies ----------------------------------------------------

class FileBytes {
 public:
  explicit FileBytes(std::string path) : path_(std::move(path)), bytes_(testing_support::ReadFileBytes(path_)) {}
  ~FileBytes() {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << bytes_;
  }
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  std::uint16_t U16(std::size_t at) const {
    return static_cast<std::uint16_t>(Byte(at) | (Byte(at + 1) << 8));
  }
  std::uint32_t U32(std::size_t at) const { return U16(at) | (static_cast<std::uint32_t>(U16(at + 2)) << 16); }
  void SetU16(std::size_t at, std::uint16_t value) {
    bytes_[at] = static_cast<char>(value & 0xFF);
    bytes_[at + 1] = static_cast<char>(value >> 8);
  }
  void SetU32(std::size_t at, std::uint32_t value) {
    SetU16(at, static_cast<std::uint16_t>(value & 0xFFFF));
    SetU16(at + 2, static_cast<std::uint16_t>(value >> 16));
  }
  void SetByte(std::size_t at, std::uint8_t value) { bytes_[at] = static_cast<char>(value); }
  std::uint8_t Byte(std::size_t at) const { return static_cast<std::uint8_t>(bytes_[at]); }

 private:
  std::string path_;
  std::string bytes_;
};

// Slots of a table's data pages with the given flags, as (page, slot).
std::vector<std::pair<std::uint32_t, std::uint16_t>> SlotsFlagged(const JetFile& file, const TableStorage& storage,
                                                                  std::uint16_t flags) {
  std::vector<std::pair<std::uint32_t, std::uint16_t>> found;
  for (const std::uint32_t number : storage.data_pages) {
    const std::vector<std::uint8_t> page = Page(file, number);
    const std::uint16_t rows = ReadU16(page.data() + kJet4DataOffsetTable - 2);
    for (std::uint16_t slot = 0; slot < rows; ++slot) {
      if ((ReadU16(page.data() + kJet4DataOffsetTable + 2U * slot) & 0xC000) == flags) found.emplace_back(number, slot);
    }
  }
  return found;
}

struct Located {
  std::uint32_t page_size = 0;
  TableDefinition table;
  TableStorage storage;
  std::vector<std::pair<std::uint32_t, std::uint16_t>> pointers;
  std::size_t At(std::uint32_t page, std::size_t offset = 0) const {
    return static_cast<std::size_t>(page) * page_size + offset;
  }
  std::size_t SlotEntry(std::uint32_t page, std::uint16_t slot) const {
    return At(page, kJet4DataOffsetTable + 2U * slot);
  }
};

struct Mutation {
  std::string name;
  std::string fixture;
  std::string table;
  Stage stage;
  std::string message;
  std::function<void(const Located&, FileBytes*)> damage;
};

// One fault at a time on a healthy Jet 4 file, each refused by its own check.
TEST(JetStructureDamaged, TargetedFaultsAreRefusedByTheirCheck) {
  const std::vector<Mutation> cases = {
      {"PointerTargetNamedTwice", "repositories/pages.mdb", "t_object", Stage::kStorage, "is the target of the moved-row pointers",
       [](const Located& at, FileBytes* bytes) {
         const auto [page, slot] = at.pointers[1];
         const auto [first_page, first_slot] = at.pointers[0];
         const std::size_t first_row = at.At(first_page, bytes->U16(at.SlotEntry(first_page, first_slot)) & 0x1FFF);
         const std::size_t row = at.At(page, bytes->U16(at.SlotEntry(page, slot)) & 0x1FFF);
         bytes->SetU32(row, bytes->U32(first_row));
       }},
      {"MovedRowWithoutPointer", "repositories/pages.mdb", "t_object", Stage::kStorage, "is the target of no pointer",
       [](const Located& at, FileBytes* bytes) {
         const auto [page, slot] = at.pointers[0];
         const std::size_t entry = at.SlotEntry(page, slot);
         bytes->SetU16(entry, static_cast<std::uint16_t>(bytes->U16(entry) | 0xC000));  // now a deleted row
       }},
      {"PointerToLiveRow", "repositories/pages.mdb", "t_object", Stage::kStorage, "which is no moved row",
       [](const Located& at, FileBytes* bytes) {
         const auto [page, slot] = at.pointers[0];
         const std::size_t row = at.At(page, bytes->U16(at.SlotEntry(page, slot)) & 0x1FFF);
         const std::uint32_t target = bytes->U32(row);
         const std::size_t target_entry = at.SlotEntry(target >> 8, static_cast<std::uint16_t>(target & 0xFF));
         bytes->SetU16(target_entry, bytes->U16(target_entry) & 0x1FFF);
       }},
      {"FreeSpaceMiscounted", "repositories/sample.mdb", "t_object", Stage::kStorage, "free bytes",
       [](const Located& at, FileBytes* bytes) {
         const std::size_t field = at.At(at.storage.data_pages[0], kJet4DataFreeSpace);
         bytes->SetU16(field, static_cast<std::uint16_t>(bytes->U16(field) + 2));
       }},
      {"RowOffsetsOutOfOrder", "repositories/sample.mdb", "t_object", Stage::kStorage, "slot 2: row offset",
       [](const Located& at, FileBytes* bytes) {
         const std::uint32_t page = at.storage.data_pages[0];
         bytes->SetU16(at.SlotEntry(page, 2), static_cast<std::uint16_t>(bytes->U16(at.SlotEntry(page, 0)) + 1));
       }},
      {"RowStoresMoreColumnsThanAllocated", "repositories/sample.mdb", "t_object", Stage::kStorage,
       "the row stores 200 columns",
       [](const Located& at, FileBytes* bytes) {
         const std::uint32_t page = at.storage.data_pages[0];
         bytes->SetU16(at.At(page, bytes->U16(at.SlotEntry(page, 0)) & 0x1FFF), 200);
       }},
      {"InlineMemoLengthDisagrees", "repositories/sample.mdb", "t_object", Stage::kStorage, "inline long value",
       [](const Located& at, FileBytes* bytes) {
         // note of the first row that has one, found through the row layout
         const std::unique_ptr<JetFile> file = OpenJet(FixturePath("repositories/sample.mdb"));
         const std::uint32_t page = at.storage.data_pages[0];
         const std::vector<std::uint8_t> data = Page(*file, page);
         const ColumnDefinition& note = Column(at.table, "note");
         for (std::uint16_t slot = 0;; ++slot) {
           RowLayout row;
           ASSERT_FALSE(Failed(ParseRow(*file, data.data(), slot, at.table, &row)));
           const std::uint16_t begin = row.variable_offsets[note.variable_index];
           if (row.variable_offsets[note.variable_index + 1U] == begin) continue;
           bytes->SetByte(at.At(page, begin), static_cast<std::uint8_t>(bytes->Byte(at.At(page, begin)) + 1));
           return;
         }
       }},
      {"UsageMapOfUnknownType", "repositories/sample.mdb", "t_object", Stage::kStorage, "unknown type 2",
       [](const Located& at, FileBytes* bytes) {
         const std::uint32_t map = at.table.owned_pages_map;
         bytes->SetByte(at.At(map >> 8, bytes->U16(at.SlotEntry(map >> 8, map & 0xFF)) & 0x1FFF), 2);
       }},
      {"DuplicateColumnNumber", "repositories/sample.mdb", "t_object", Stage::kDefinition, "which is taken",
       [](const Located& at, FileBytes* bytes) {
         const std::size_t columns =
             at.At(at.table.first_page, kJet4ColumnsStart + kJet4RealIndexCountEntry *
                                                                bytes->U32(at.At(at.table.first_page, kJet4RealIndexCount)));
         bytes->SetU16(columns + kJet4ColumnEntry + kJet4ColumnNumber, bytes->U16(columns + kJet4ColumnNumber));
       }},
      {"UnknownColumnType", "repositories/sample.mdb", "t_object", Stage::kDefinition, "unknown type 14",
       [](const Located& at, FileBytes* bytes) {
         const std::size_t columns =
             at.At(at.table.first_page, kJet4ColumnsStart + kJet4RealIndexCountEntry *
                                                                bytes->U32(at.At(at.table.first_page, kJet4RealIndexCount)));
         bytes->SetByte(columns + kJet4ColumnType, 0x0E);
       }},
      {"DefinitionLengthPastItsParts", "repositories/sample.mdb", "t_object", Stage::kDefinition, "its parts end at",
       [](const Located& at, FileBytes* bytes) {
         const std::size_t length = at.At(at.table.first_page, 8);
         bytes->SetU32(length, bytes->U32(length) + 2);
       }},
      {"LongValueChainLoops", "third-party/jet4-lval.mdb", "MSP_PROJECTS", Stage::kStorage, "the long-value chain returns",
       [](const Located& at, FileBytes* bytes) {
         // RESERVED_BINARY_DATA's chain starts at page 53: its second piece
         // now leads back to the first.
         const std::size_t first_row = at.At(53, bytes->U16(at.SlotEntry(53, 0)) & 0x1FFF);
         const std::uint32_t second = bytes->U32(first_row);
         const std::size_t second_row =
             at.At(second >> 8, bytes->U16(at.SlotEntry(second >> 8, static_cast<std::uint16_t>(second & 0xFF))) & 0x1FFF);
         bytes->SetU32(second_row, 53U << 8);
       }},
      {"LongValueChainShort", "third-party/jet4-lval.mdb", "MSP_PROJECTS", Stage::kStorage, "add up to",
       [](const Located& at, FileBytes* bytes) {
         const std::size_t first_row = at.At(53, bytes->U16(at.SlotEntry(53, 0)) & 0x1FFF);
         bytes->SetU32(first_row, 0);  // the chain now ends after its first piece
       }},
      {"LongValueOnForeignPage", "third-party/jet4-lval.mdb", "MSP_PROJECTS", Stage::kStorage, "no long-value page",
       [](const Located& at, FileBytes* bytes) { bytes->SetByte(at.At(53, 4), 'X'); }},
  };
  TempDir dir;
  for (const Mutation& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name + ".mdb");
    CopyFile(FixturePath(c.fixture), path);
    Located located;
    {
      const std::unique_ptr<JetFile> file = OpenJet(path);
      ASSERT_TRUE(file);
      located.page_size = file->PageSize();
      ASSERT_FALSE(Failed(ReadTableDefinition(*file, TablePage(*file, c.table), &located.table))) << LastError();
      ASSERT_FALSE(Failed(CheckTableStorage(*file, located.table, LongValueColumns(located.table), &located.storage)))
          << LastError();
      located.pointers = SlotsFlagged(*file, located.storage, kSlotPointer);
    }
    {
      FileBytes bytes(path);
      c.damage(located, &bytes);
    }
    ExpectFailure({c.name, c.stage, c.table, c.message}, path, LongValueColumns);
  }
}

}  // namespace
