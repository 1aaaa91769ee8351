// The session lock: flock, polled until the wait runs out.
//
// flock and not fcntl record locks: a record lock belongs to the process and
// goes when any descriptor of the file in the process is closed, and other
// code in this process (the library that reads the tables) opens and closes
// the same file. A flock lock belongs to the open file and goes only with
// LOCK_UN or the last descriptor of that open file.
#include "provider/jet/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "com/error_info.h"

namespace platform::provider::jet {
namespace {

// How often a held lock is tried again: short beside any wait a user notices.
constexpr std::chrono::milliseconds kRetryInterval{25};
constexpr std::chrono::milliseconds::rep kMillisecondsPerSecond = 1000;

// "5 seconds", "1 second", "200 milliseconds".
std::string DescribeWait(std::chrono::milliseconds wait) {
  const auto count = wait.count();
  if (count != 0 && count % kMillisecondsPerSecond == 0) {
    const auto seconds = count / kMillisecondsPerSecond;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
  }
  return std::to_string(count) + (count == 1 ? " millisecond" : " milliseconds");
}

}  // namespace

FileLock::~FileLock() { Release(); }

HRESULT FileLock::Acquire(int fd, const std::string& path, std::chrono::milliseconds wait) {
  Release();
  UniqueFd held(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
  if (!held.Valid()) {
    const int error_number = errno;
    return ReportError(E_LOCK_VIOLATION, "cannot lock " + path + ": " + std::strerror(error_number));
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    if (::flock(held.Get(), LOCK_EX | LOCK_NB) == 0) {
      held_ = std::move(held);
      return S_OK;
    }
    const int error_number = errno;
    if (error_number == EINTR) continue;
    if (error_number != EWOULDBLOCK) {
      return ReportError(E_LOCK_VIOLATION, "cannot lock " + path + ": " + std::strerror(error_number));
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return ReportError(E_LOCK_VIOLATION, path + " is in use by another program; gave up after " + DescribeWait(wait));
    }
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(kRetryInterval, deadline - now));
  }
}

void FileLock::Release() {
  if (!held_.Valid()) return;
  // Explicitly: closing the duplicate alone would leave the lock with the
  // caller's descriptor of the same open file.
  ::flock(held_.Get(), LOCK_UN);
  held_.Reset();
}

}  // namespace platform::provider::jet
