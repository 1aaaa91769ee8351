// The repository file, written for speed: the file is new and either
// finished or thrown away, so it needs no rollback journal, no syncs and no
// sharing with other connections; all rows go in one transaction; the
// indexes are built after the rows. None of these settings is kept in the
// file, so the tool opens it as any other repository.
#include "repository_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

#include "model_writer.h"
#include "repository_schema.h"
#include "sqlite_handles.h"

namespace bench {
namespace {

constexpr const char* kPartialSuffix = ".partial";
constexpr const char* kWriteSettings =
    "pragma journal_mode = off;"
    "pragma synchronous = off;"
    "pragma locking_mode = exclusive;"
    "pragma temp_store = memory;";
// Enough page cache to sort the largest index in memory.
constexpr int kCacheKibibytes = 256 * 1024;

// The file being written under its temporary name: removed when it goes out
// of scope, unless it was published under the final name first.
class PartialFile {
 public:
  explicit PartialFile(std::string final_path)
      : final_path_(std::move(final_path)), path_(final_path_ + kPartialSuffix) {
    // A leftover of an earlier run that was killed.
    std::remove(path_.c_str());
  }
  ~PartialFile() {
    if (!published_) std::remove(path_.c_str());
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  const std::string& Path() const { return path_; }

  void Publish() {
    if (std::rename(path_.c_str(), final_path_.c_str()) != 0) {
      throw std::runtime_error(std::strerror(errno));
    }
    published_ = true;
  }

 private:
  std::string final_path_;
  std::string path_;
  bool published_ = false;
};

}  // namespace

void WriteRepositoryFile(const std::string& path, std::int64_t element_count, std::uint64_t seed) try {
  PartialFile file(path);
  {
    Database database(file.Path());
    database.Execute(kWriteSettings);
    // A negative cache size counts KiB rather than pages.
    database.Execute(("pragma cache_size = -" + std::to_string(kCacheKibibytes)).c_str());
    database.Execute("begin");
    database.Execute(kCreateTables);
    WriteModel(database, element_count, seed);
    database.Execute(kCreateIndexes);
    database.Execute("commit");
    database.Close();
  }
  file.Publish();
} catch (const std::runtime_error& failure) {
  throw std::runtime_error("cannot write " + path + ": " + failure.what());
}

}  // namespace bench
