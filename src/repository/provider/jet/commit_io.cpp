// The operating system's side of CommitIo.
//
// Every call is retried when a signal interrupts it, so that a caller never
// mistakes EINTR for a failed write or sync. close() is the exception: on
// Linux the descriptor is gone even when close() reports EINTR, and closing
// it again could close a descriptor another thread has just been given.
#include "provider/jet/commit_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "provider/unique_fd.h"

namespace platform::provider::jet {
namespace {

constexpr int kFolderOpenFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY;

// Runs `call` again while it fails with EINTR.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call()) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

// The folder part of `path`: "." for a bare name, "/" for a name at the root.
std::string FolderOf(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

class SystemIo final : public CommitIo {
 public:
  int Open(const char* path, int flags, mode_t mode) override {
    return RetryOnInterrupt([&] { return ::open(path, flags, mode); });
  }
  ssize_t PRead(int fd, void* buffer, std::size_t length, off_t offset) override {
    return RetryOnInterrupt([&] { return ::pread(fd, buffer, length, offset); });
  }
  ssize_t PWrite(int fd, const void* buffer, std::size_t length, off_t offset) override {
    return RetryOnInterrupt([&] { return ::pwrite(fd, buffer, length, offset); });
  }
  int FSync(int fd) override {
    return RetryOnInterrupt([&] { return ::fsync(fd); });
  }
  int FTruncate(int fd, off_t length) override {
    return RetryOnInterrupt([&] { return ::ftruncate(fd, length); });
  }
  int Close(int fd) override {
    const int result = ::close(fd);
    if (result != 0 && errno == EINTR) return 0;
    return result;
  }
  int Unlink(const char* path) override {
    return RetryOnInterrupt([&] { return ::unlink(path); });
  }
  int SyncFolderOf(const char* path) override {
    UniqueFd folder(Open(FolderOf(path).c_str(), kFolderOpenFlags, 0));
    if (!folder.Valid()) return -1;
    int result = FSync(folder.Get());
    const int sync_error = errno;
    // A file system that cannot sync a folder says EINVAL; it keeps its
    // folder entries by its own rules and there is nothing more to ask of it.
    if (result != 0 && sync_error == EINVAL) result = 0;
    folder.Reset();
    errno = sync_error;  // the close must not hide why the sync failed
    return result;
  }
};

}  // namespace

CommitIo& SystemCommitIo() {
  static SystemIo io;
  return io;
}

}  // namespace platform::provider::jet
