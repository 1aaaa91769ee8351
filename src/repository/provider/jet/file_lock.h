// FileLock: one session at a time on a repository file.
//
// An exclusive advisory lock (flock) on the file's open descriptor, held for
// the whole session, so that two runs never interleave their reads and
// writes and no run plays back the journal of a commit still in progress.
// The operating system drops it when the process ends, however it ends.
//
// The lock belongs to the open file, not to a descriptor number: Acquire
// keeps a duplicate of the descriptor it is given, so the lock outlasts the
// caller's descriptor and Release never touches a number that may have been
// reused for another file since.
#pragma once

#include <chrono>
#include <string>

#include "com/hresult.h"
#include "provider/unique_fd.h"

namespace platform::provider::jet {

class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock on `fd` (releasing any lock held before), waiting up to
  // `wait` for another holder to release it; then fails with
  // E_LOCK_VIOLATION and a clear description.
  HRESULT Acquire(int fd, const std::string& path, std::chrono::milliseconds wait);
  void Release();

 private:
  UniqueFd held_;  // a duplicate of the locked descriptor while the lock is held
};

}  // namespace platform::provider::jet
