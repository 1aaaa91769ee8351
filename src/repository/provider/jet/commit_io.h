// CommitIo: the file operations a commit and its recovery make, behind one
// interface so that tests can fail any one of them (a failed write, a failed
// sync, a full disk) and check what the next open finds.
#pragma once

#include <sys/types.h>

#include <cstddef>

namespace platform::provider::jet {

class CommitIo {
 public:
  virtual ~CommitIo() = default;
  // Each behaves as the POSIX call of the same name: -1 and errno on failure.
  virtual int Open(const char* path, int flags, mode_t mode) = 0;
  virtual ssize_t PRead(int fd, void* buffer, std::size_t length, off_t offset) = 0;
  virtual ssize_t PWrite(int fd, const void* buffer, std::size_t length, off_t offset) = 0;
  virtual int FSync(int fd) = 0;
  virtual int FTruncate(int fd, off_t length) = 0;
  virtual int Close(int fd) = 0;
  virtual int Unlink(const char* path) = 0;
  // Syncs the folder that holds `path`, so that a file's creation or removal
  // there is on disk.
  virtual int SyncFolderOf(const char* path) = 0;
};

// The operating system's calls.
CommitIo& SystemCommitIo();

}  // namespace platform::provider::jet
