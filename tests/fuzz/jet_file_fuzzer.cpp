// Opens an arbitrary file as a Jet database and reads every column of every
// table it lists, as statements do: whatever the file holds, each step ends
// with values or a failure code, never a crash, a hang or a read outside
// the file. Seed it with the Jet fixtures.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "provider/jet/jet_file.h"
#include "provider/jet/jet_file_session.h"
#include "provider/jet/jet_structure.h"
#include "scratch_file.h"

namespace {

using namespace platform;
using namespace platform::provider;

std::string Quote(const std::string& name) {
  std::string quoted = "\"";
  for (const char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

void ReadEveryTable(const std::string& path) {
  std::vector<jet::CatalogTable> tables;
  {
    std::unique_ptr<jet::JetFile> file;
    if (Failed(jet::JetFile::Open(path, &file)) || Failed(jet::ReadCatalog(*file, &tables))) return;
  }
  std::unique_ptr<Session> session;
  if (Failed(jet::JetFileSession::Open(path, &session))) return;
  for (const jet::CatalogTable& table : tables) {
    std::unique_ptr<Rowset> rows;
    if (Failed(session->Execute("select * from " + Quote(table.name), {}, &rows)) || !rows) continue;
    while (rows->OnRow()) {
      for (int column = 0; column < rows->ColumnCount(); ++column) {
        Variant value;
        rows->GetValue(column, &value);
      }
      if (Failed(rows->MoveNext())) break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzing::WriteScratchFile(data, size, ".mdb");
  if (path.empty()) return 0;
  ReadEveryTable(path);
  std::remove(path.c_str());
  return 0;
}
