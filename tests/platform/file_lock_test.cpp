// The session lock: a second open of the file waits for the first session
// and gives up with a clear description, and a lock goes with its holder,
// whether the holder releases it, ends, or is killed.
#include "provider/jet/file_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "com/error_info.h"
#include "provider/unique_fd.h"
#include "support/temp_dir.h"

namespace {

using platform::E_LOCK_VIOLATION;
using platform::HRESULT;
using platform::S_OK;
using platform::provider::UniqueFd;
using platform::provider::jet::FileLock;
using namespace std::chrono_literals;

// Short: the cases where the lock is held wait this long before they fail.
constexpr std::chrono::milliseconds kShortWait = 200ms;
// Long enough that a holder that lets go is always waited for.
constexpr std::chrono::milliseconds kLongWait = 30s;

constexpr int kChildFailed = 1;

std::string TakeDescription() {
  std::string description;
  platform::GetErrorInfo(&description);
  return description;
}

class FileLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("repository.mdb");
    UniqueFd created(::open(path_.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644));
    ASSERT_TRUE(created.Valid());
  }

  // A separate open of the file, as another run would make.
  UniqueFd OpenFile() const { return UniqueFd(::open(path_.c_str(), O_RDWR | O_CLOEXEC)); }

  // Forks a child that takes the lock on its own open of the file, says so
  // through a pipe, waits `hold` and releases it, then stays until killed.
  // An empty `hold` keeps the lock until the child is killed.
  pid_t StartHolder(std::chrono::milliseconds hold) {
    int ready[2];
    if (::pipe(ready) != 0) return -1;
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(ready[0]);
      const UniqueFd fd = OpenFile();
      FileLock lock;
      if (!fd.Valid() || lock.Acquire(fd.Get(), path_, 0ms) != S_OK) _exit(kChildFailed);
      const char held = 'h';
      if (::write(ready[1], &held, 1) != 1) _exit(kChildFailed);
      if (hold.count() > 0) {
        ::usleep(static_cast<useconds_t>(std::chrono::microseconds(hold).count()));
        lock.Release();
      }
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char held = 0;
    const bool holding = child > 0 && ::read(ready[0], &held, 1) == 1;
    ::close(ready[0]);
    if (child > 0 && !holding) StopHolder(child);
    return holding ? child : -1;
  }

  static void StopHolder(pid_t child) {
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
  }

  testing_support::TempDir dir_;
  std::string path_;
};

TEST_F(FileLockTest, SecondOpenWaitsThenGivesUpWithADescription) {
  const UniqueFd first = OpenFile();
  const UniqueFd second = OpenFile();
  ASSERT_TRUE(first.Valid() && second.Valid());
  FileLock held;
  ASSERT_EQ(held.Acquire(first.Get(), path_, 0ms), S_OK);
  // Another descriptor of the file opened and closed in this process (as the
  // table reader does) must not take the lock with it.
  { const UniqueFd other = OpenFile(); }

  FileLock waiting;
  EXPECT_EQ(waiting.Acquire(second.Get(), path_, kShortWait), E_LOCK_VIOLATION);
  const std::string description = TakeDescription();
  EXPECT_NE(description.find(path_ + " is in use by another program"), std::string::npos) << description;
  EXPECT_NE(description.find("200 milliseconds"), std::string::npos) << description;

  held.Release();
  EXPECT_EQ(waiting.Acquire(second.Get(), path_, 0ms), S_OK) << TakeDescription();
}

// The lock stays with the open file until the lock object ends, even when
// the descriptor it was taken on is closed first.
TEST_F(FileLockTest, HeldUntilTheLockEndsThenFree) {
  const UniqueFd second = OpenFile();
  ASSERT_TRUE(second.Valid());
  FileLock waiting;
  {
    FileLock held;
    {
      const UniqueFd first = OpenFile();
      ASSERT_EQ(held.Acquire(first.Get(), path_, 0ms), S_OK);
    }
    EXPECT_EQ(waiting.Acquire(second.Get(), path_, 0ms), E_LOCK_VIOLATION);
    TakeDescription();
  }
  EXPECT_EQ(waiting.Acquire(second.Get(), path_, 0ms), S_OK) << TakeDescription();
}

TEST_F(FileLockTest, WaitsForAHolderThatLetsGo) {
  const pid_t holder = StartHolder(100ms);
  ASSERT_GT(holder, 0);
  const UniqueFd fd = OpenFile();
  FileLock lock;
  const HRESULT acquired = lock.Acquire(fd.Get(), path_, kLongWait);
  StopHolder(holder);
  EXPECT_EQ(acquired, S_OK) << TakeDescription();
}

TEST_F(FileLockTest, KilledHolderLeavesTheLockFree) {
  const pid_t holder = StartHolder(0ms);
  ASSERT_GT(holder, 0);
  const UniqueFd fd = OpenFile();
  FileLock lock;
  const HRESULT while_held = lock.Acquire(fd.Get(), path_, kShortWait);
  TakeDescription();
  StopHolder(holder);
  EXPECT_EQ(while_held, E_LOCK_VIOLATION);
  EXPECT_EQ(lock.Acquire(fd.Get(), path_, kLongWait), S_OK) << TakeDescription();
}

TEST_F(FileLockTest, BadDescriptorFailsWithADescription) {
  FileLock lock;
  EXPECT_EQ(lock.Acquire(-1, path_, 0ms), E_LOCK_VIOLATION);
  EXPECT_NE(TakeDescription().find(path_), std::string::npos);
}

}  // namespace
