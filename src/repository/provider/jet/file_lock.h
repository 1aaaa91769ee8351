// FileLock: one session at a time on a repository file.
//
// An exclusive advisory lock (flock) on the file's open descriptor, held for
// the whole session, so that two runs never interleave their reads and
// writes and no run plays back the journal of a commit still in progress.
// The operating system drops it when the process ends, however it ends.
#pragma once

#include <chrono>
#include <string>

#include "com/hresult.h"

namespace platform::provider::jet {

class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock on `fd`, waiting up to `wait` for another holder to
  // release it; then fails with E_LOCK_VIOLATION and a clear description.
  HRESULT Acquire(int fd, const std::string& path, std::chrono::milliseconds wait);
  void Release();

 private:
  int fd_ = -1;
};

}  // namespace platform::provider::jet
