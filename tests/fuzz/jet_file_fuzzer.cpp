// Opens an arbitrary file as a Jet database and reads every column of every
// table it lists, as statements do: whatever the file holds, each step ends
// with values or a failure code, never a crash, a hang or a read outside
// the file. Seed it with the Jet fixtures.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "com/com_runtime.h"
#include "provider/jet/jet_file.h"
#include "provider/jet/jet_file_session.h"
#include "provider/jet/jet_structure.h"

namespace {

using namespace platform;
using namespace platform::provider;

std::string ScratchPath() {
  static const std::string path = [] {
    const char* base = std::getenv("TMPDIR");
    return std::string(base != nullptr ? base : "/tmp") + "/jet-fuzz-" + std::to_string(::getpid()) + ".mdb";
  }();
  return path;
}

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
  const std::string path = ScratchPath();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  ReadEveryTable(path);
  std::remove(path.c_str());
  return 0;
}
