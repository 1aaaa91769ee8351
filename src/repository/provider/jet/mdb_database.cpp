#include "provider/jet/mdb_database.h"

#include <mdbtools.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "com/error_info.h"
#include "provider/quiet_stdio.h"

namespace platform::provider::jet {
namespace {

// The settings libmdb takes from the environment: a character set for its
// texts, one for Jet 3 files, a search path for file names and debug
// options (which print). None of them may change what the provider reads.
constexpr const char* kLibraryEnvironment[] = {"MDBICONV", "MDB_JET3_CHARSET", "MDBPATH", "MDBOPTS"};

void ClearLibraryEnvironment() {
  for (const char* name : kLibraryEnvironment) ::unsetenv(name);
}

// Room for a text of `bytes` stored bytes once converted to UTF-8: a stored
// byte (Jet 3 code page, or Jet 4 compressed) becomes at most three bytes.
constexpr std::size_t kUtf8BytesPerStoredByte = 3;
constexpr std::size_t kTerminator = 1;

struct TableDefFree {
  void operator()(MdbTableDef* table) const { mdb_free_tabledef(table); }
};

}  // namespace

struct MdbDatabase::Library {
  MdbHandle* handle = nullptr;
  ~Library() {
    if (handle != nullptr) {
      QuietStdio quiet;
      mdb_close(handle);
    }
  }
};

MdbDatabase::MdbDatabase(std::unique_ptr<Library> library, std::string path)
    : library_(std::move(library)), path_(std::move(path)) {}

MdbDatabase::~MdbDatabase() = default;

HRESULT MdbDatabase::Open(const std::string& path, std::unique_ptr<MdbDatabase>* database) {
  ClearLibraryEnvironment();
  auto library = std::make_unique<Library>();
  {
    QuietStdio quiet;
    library->handle = mdb_open(path.c_str(), MDB_NOFLAGS);
  }
  if (library->handle == nullptr) return ReportError(E_FILE_CORRUPT, path + " cannot be read as a Jet file");
  database->reset(new MdbDatabase(std::move(library), path));
  return S_OK;
}

HRESULT MdbDatabase::ScanTable(const std::string& table_name, std::uint32_t first_page,
                               const std::vector<std::string>& text_columns,
                               std::uint32_t longest_value, std::uint64_t expected_rows,
                               const RowVisitor& visitor) {
  MdbHandle* mdb = library_->handle;
  const std::size_t bind_size =
      std::max<std::size_t>(MDB_BIND_SIZE, longest_value * kUtf8BytesPerStoredByte + kTerminator);
  std::vector<std::vector<char>> buffers(text_columns.size(), std::vector<char>(bind_size, '\0'));
  std::vector<int> lengths(text_columns.size(), 0);
  std::vector<std::string_view> texts(text_columns.size());
  std::uint64_t rows = 0;
  HRESULT visited = S_OK;
  {
    QuietStdio quiet;
    // The table's catalog entry, made here from the checked catalog rather
    // than read by the library: its reading of the catalog also parses
    // every table's property blob, trusting each length in it.
    MdbCatalogEntry entry;
    std::memset(&entry, 0, sizeof entry);
    entry.mdb = mdb;
    entry.object_type = MDB_TABLE;
    entry.table_pg = first_page;
    std::snprintf(entry.object_name, sizeof entry.object_name, "%s", table_name.c_str());
    std::unique_ptr<MdbTableDef, TableDefFree> table(mdb_read_table(&entry));
    if (!table || mdb_read_columns(table.get()) == nullptr) {
      return ReportError(E_FILE_CORRUPT, path_ + " is damaged: table " + table_name + " cannot be read");
    }
    mdb_set_bind_size(mdb, bind_size);
    for (std::size_t i = 0; i < text_columns.size(); ++i) {
      int found = -1;
      for (guint c = 0; c < table->num_cols; ++c) {
        auto* column = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, c));
        if (text_columns[i] == column->name) found = static_cast<int>(c);
      }
      if (found < 0 || mdb_bind_column(table.get(), found + 1, buffers[i].data(), &lengths[i]) < 0) {
        return ReportError(E_FILE_CORRUPT, path_ + " is damaged: column " + text_columns[i] +
                                               " cannot be read");
      }
    }
    mdb_rewind_table(table.get());
    while (mdb_fetch_row(table.get())) {
      for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto length = static_cast<std::size_t>(std::max(lengths[i], 0));
        if (length + kTerminator >= bind_size) {
          visited = ReportError(E_FILE_CORRUPT, path_ + " is damaged: a value of " +
                                                    text_columns[i] + " is longer than it says");
          break;
        }
        texts[i] = std::string_view(buffers[i].data(), length);
      }
      if (Failed(visited)) break;
      ++rows;
      // libmdb stands on the row it returned: for a moved row, on its data.
      visited = visitor(table->cur_phys_pg, static_cast<std::uint16_t>(table->cur_row - 1), texts);
      if (Failed(visited)) break;
    }
  }
  if (Failed(visited)) return visited;
  if (rows != expected_rows) {
    return ReportError(E_FILE_CORRUPT, path_ + " is damaged: a table's rows cannot all be read");
  }
  return S_OK;
}

}  // namespace platform::provider::jet
