// Journalled commits to Jet files and their recovery, on copies of the
// sample repositories.
//
// The property every case comes back to: after a commit, however it ends,
// and the recovery the next open runs, the file is byte for byte either as
// it was or fully patched, never a mix, and no journal is left. Which of the
// two is fixed by the commit point, the removal of the journal: a commit that
// fails or dies before it leaves the original, one that gets past it leaves
// the patched file (only the durable mode's folder sync comes after it).
#include "provider/jet/rollback_journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "com/error_info.h"
#include "provider/jet/commit_io.h"
#include "provider/jet/jet_file.h"
#include "support/temp_dir.h"

namespace {

namespace jet = platform::provider::jet;
using platform::HRESULT;
using testing_support::FileExists;
using testing_support::ReadFileBytes;
using testing_support::TempDir;

const std::string kRepositories = std::string(RECONSIDER_SHARED_DIR) + "/fixtures/repositories/";

std::string Hex(HRESULT code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(code));
  return text;
}

std::string TakeDescription() {
  std::string description;
  platform::GetErrorInfo(&description);
  return description;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// The file calls a commit makes, by kind.
enum class Call { kOpen, kPRead, kPWrite, kFSync, kFTruncate, kClose, kUnlink, kSyncFolder };

// Forwards every call to the system and lets a subclass step in before it.
// Notes whether a removal succeeded: in a commit, the only file removed on
// the successful path is the journal, the commit point.
class ForwardingIo : public jet::CommitIo {
 public:
  int Open(const char* path, int flags, mode_t mode) override {
    return Intercept(Call::kOpen) ? -1 : real_.Open(path, flags, mode);
  }
  ssize_t PRead(int fd, void* buffer, std::size_t length, off_t offset) override {
    return Intercept(Call::kPRead) ? -1 : real_.PRead(fd, buffer, length, offset);
  }
  ssize_t PWrite(int fd, const void* buffer, std::size_t length, off_t offset) override {
    return Intercept(Call::kPWrite) ? -1 : real_.PWrite(fd, buffer, length, offset);
  }
  int FSync(int fd) override { return Intercept(Call::kFSync) ? -1 : real_.FSync(fd); }
  int FTruncate(int fd, off_t length) override {
    return Intercept(Call::kFTruncate) ? -1 : real_.FTruncate(fd, length);
  }
  int Close(int fd) override {
    if (!Intercept(Call::kClose)) return real_.Close(fd);
    // close() frees the descriptor even when it reports a failure.
    const int error_number = errno;
    real_.Close(fd);
    errno = error_number;
    return -1;
  }
  int Unlink(const char* path) override {
    if (Intercept(Call::kUnlink)) return -1;
    const int result = real_.Unlink(path);
    if (result == 0) removed_ = true;
    return result;
  }
  int SyncFolderOf(const char* path) override { return Intercept(Call::kSyncFolder) ? -1 : real_.SyncFolderOf(path); }

 protected:
  // True to fail the call (with errno set).
  virtual bool Intercept(Call call) = 0;
  bool removed_ = false;

 private:
  jet::CommitIo& real_ = jet::SystemCommitIo();
};

// Fails the nth call of one kind with `error`; with `sticky`, every later
// call of that kind too (a disk that has gone away).
class FailingIo final : public ForwardingIo {
 public:
  FailingIo(Call kind, int nth, int error, bool sticky) : kind_(kind), nth_(nth), error_(error), sticky_(sticky) {}
  bool Fired() const { return fired_; }
  bool FiredAfterRemoval() const { return fired_after_removal_; }

 private:
  bool Intercept(Call call) override {
    if (call != kind_) return false;
    ++seen_;
    if (seen_ < nth_ || (seen_ > nth_ && !sticky_)) return false;
    if (!fired_) fired_after_removal_ = removed_;
    fired_ = true;
    errno = error_;
    return true;
  }
  Call kind_;
  int nth_;
  int error_;
  bool sticky_;
  int seen_ = 0;
  bool fired_ = false;
  bool fired_after_removal_ = false;
};

// Ends the process at the nth call of any kind, before the call is made, as
// a kill or a power cut would; the exit status says whether the commit
// point had passed.
constexpr int kKilledBeforeRemoval = 70;
constexpr int kKilledAfterRemoval = 71;
constexpr int kCommitFailed = 72;

class KillingIo final : public ForwardingIo {
 public:
  explicit KillingIo(int nth) : nth_(nth) {}

 private:
  bool Intercept(Call) override {
    if (++seen_ == nth_) _exit(removed_ ? kKilledAfterRemoval : kKilledBeforeRemoval);
    return false;
  }
  int nth_;
  int seen_ = 0;
};

// Keeps a copy of the journal as it is when the commit removes it: a
// complete journal, as a crash just before its removal would leave it.
class CapturingIo final : public ForwardingIo {
 public:
  explicit CapturingIo(std::string journal) : journal_(std::move(journal)) {}
  int Unlink(const char* path) override {
    if (journal_ == path) captured_ = ReadFileBytes(path);
    return ForwardingIo::Unlink(path);
  }
  const std::string& Captured() const { return captured_; }

 private:
  bool Intercept(Call) override { return false; }
  std::string journal_;
  std::string captured_;
};

// Patches that flip bits of the original bytes, so that each one the mask
// lets through shows: the first and last bytes of pages, a partial mask, an
// empty mask, two patches on one byte and a run of neighbours. The patch on
// the last page comes first, so the commit has to group them by page.
std::vector<jet::BytePatch> FlippingPatches(const std::string& original, std::uint32_t page_size,
                                            std::uint32_t page_count) {
  const auto flip = [&](std::uint32_t page, std::uint16_t offset, std::uint8_t mask) {
    const auto byte = static_cast<std::uint8_t>(original[std::size_t{page} * page_size + offset]);
    return jet::BytePatch{page, offset, mask, static_cast<std::uint8_t>(~byte)};
  };
  const std::uint32_t last_page = page_count - 1;
  const auto last_offset = static_cast<std::uint16_t>(page_size - 1);
  std::vector<jet::BytePatch> patches = {
      flip(last_page, last_offset, 0xFF),
      flip(1, 0, 0xFF),
      flip(1, 1, 0x0F),
      flip(1, 2, 0x00),
      flip(2, 10, 0xF0),
      flip(2, 10, 0x0F),
  };
  for (std::uint16_t offset = 100; offset < 108; ++offset) patches.push_back(flip(3, offset, 0xFF));
  return patches;
}

// The file as the patches should leave it, worked out on its own.
std::string Patched(std::string bytes, const std::vector<jet::BytePatch>& patches, std::uint32_t page_size) {
  for (const jet::BytePatch& patch : patches) {
    char& byte = bytes[std::size_t{patch.page} * page_size + patch.offset];
    const auto old_bits = static_cast<std::uint8_t>(byte);
    byte = static_cast<char>((old_bits & ~patch.mask) | (patch.value & patch.mask));
  }
  return bytes;
}

struct Sample {
  const char* name;
  const char* file;
};
constexpr Sample kJet4{"Jet4", "sample.mdb"};
constexpr Sample kJet3{"Jet3", "sample-jet3.mdb"};

void PrintTo(const Sample& sample, std::ostream* out) { *out << sample.name; }

// A writable copy of a sample repository, with the patches of FlippingPatches
// and the file they should make.
class JournalTest : public ::testing::Test {
 protected:
  void Prepare(const Sample& sample) {
    fixture_ = kRepositories + sample.file;
    path_ = dir_.File("repository.mdb");
    journal_ = jet::JournalPath(path_);
    Reset();
    original_ = ReadFileBytes(path_);
    const std::unique_ptr<jet::JetFile> file = Open();
    ASSERT_TRUE(file);
    page_size_ = file->PageSize();
    patches_ = FlippingPatches(original_, page_size_, file->PageCount());
    patched_ = Patched(original_, patches_, page_size_);
    ASSERT_NE(patched_, original_);
  }

  // Back to the untouched copy, no journal beside it.
  void Reset() {
    testing_support::CopyFile(fixture_, path_);
    std::remove(journal_.c_str());
  }

  std::unique_ptr<jet::JetFile> Open() {
    std::unique_ptr<jet::JetFile> file;
    const HRESULT opened = jet::JetFile::Open(path_, &file);
    EXPECT_EQ(Hex(opened), Hex(platform::S_OK)) << TakeDescription();
    return file;
  }

  // What the next open does: open the file and recover its journal.
  void RecoverAsTheNextOpen() {
    const std::unique_ptr<jet::JetFile> file = Open();
    ASSERT_TRUE(file);
    EXPECT_EQ(Hex(jet::RecoverJournal(*file)), Hex(platform::S_OK)) << TakeDescription();
  }

  std::string FileState() const {
    const std::string bytes = ReadFileBytes(path_);
    return bytes == original_ ? "original" : bytes == patched_ ? "patched" : "mixed";
  }

  // The journal a commit of the patches writes, and the file patched.
  std::string GenuineJournal() {
    CapturingIo io(journal_);
    const std::unique_ptr<jet::JetFile> file = Open();
    EXPECT_EQ(Hex(jet::CommitPatches(*file, patches_, true, io)), Hex(platform::S_OK)) << TakeDescription();
    EXPECT_EQ(ReadFileBytes(path_), patched_);
    EXPECT_FALSE(io.Captured().empty());
    return io.Captured();
  }

  TempDir dir_;
  std::string fixture_;
  std::string path_;
  std::string journal_;
  std::string original_;
  std::string patched_;
  std::uint32_t page_size_ = 0;
  std::vector<jet::BytePatch> patches_;
};

// --- Commits that succeed ---------------------------------------------------

struct CommitCase {
  Sample sample;
  bool durable;
};

void PrintTo(const CommitCase& commit, std::ostream* out) {
  *out << commit.sample.name << (commit.durable ? "Durable" : "");
}

class JournalCommit : public JournalTest, public ::testing::WithParamInterface<CommitCase> {};

TEST_P(JournalCommit, ChangesExactlyThePatchedBitsAndRemovesTheJournal) {
  Prepare(GetParam().sample);
  const std::unique_ptr<jet::JetFile> file = Open();
  ASSERT_TRUE(file);
  EXPECT_EQ(Hex(jet::CommitPatches(*file, patches_, GetParam().durable)), Hex(platform::S_OK)) << TakeDescription();
  EXPECT_EQ(ReadFileBytes(path_), patched_);
  EXPECT_FALSE(FileExists(journal_));
}

INSTANTIATE_TEST_SUITE_P(JournalSamples, JournalCommit,
                         ::testing::Values(CommitCase{kJet4, false}, CommitCase{kJet4, true}, CommitCase{kJet3, false},
                                           CommitCase{kJet3, true}),
                         [](const auto& test) {
                           return std::string(test.param.sample.name) + (test.param.durable ? "Durable" : "Lazy");
                         });

// --- Commits that write nothing -----------------------------------------------

// Counts the calls that would change anything on disk.
class CountingIo final : public ForwardingIo {
 public:
  int Changes() const { return changes_; }

 private:
  bool Intercept(Call call) override {
    if (call == Call::kOpen || call == Call::kPWrite || call == Call::kFTruncate || call == Call::kUnlink) {
      ++changes_;
    }
    return false;
  }
  int changes_ = 0;
};

struct UntouchedCase {
  const char* name;
  // The patches, given the file's page size and count.
  std::function<std::vector<jet::BytePatch>(std::uint32_t, std::uint32_t)> patches;
  HRESULT expected;
};

void PrintTo(const UntouchedCase& untouched, std::ostream* out) { *out << untouched.name; }

class JournalCommitUntouched : public JournalTest, public ::testing::WithParamInterface<UntouchedCase> {};

TEST_P(JournalCommitUntouched, LeavesTheFileAndWritesNoJournal) {
  Prepare(kJet4);
  const std::unique_ptr<jet::JetFile> file = Open();
  ASSERT_TRUE(file);
  CountingIo io;
  const HRESULT result = jet::CommitPatches(*file, GetParam().patches(file->PageSize(), file->PageCount()), true, io);
  const std::string description = TakeDescription();
  EXPECT_EQ(Hex(result), Hex(GetParam().expected)) << description;
  if (platform::Failed(result)) {
    EXPECT_NE(description.find(path_), std::string::npos) << description;
  }
  EXPECT_EQ(io.Changes(), 0);
  EXPECT_EQ(ReadFileBytes(path_), original_);
  EXPECT_FALSE(FileExists(journal_));
}

using Patches = std::vector<jet::BytePatch>;

INSTANTIATE_TEST_SUITE_P(
    JournalCases, JournalCommitUntouched,
    ::testing::Values(
        UntouchedCase{"NoPatches", [](std::uint32_t, std::uint32_t) { return Patches{}; }, platform::S_OK},
        UntouchedCase{"EmptyMasks",
                      [](std::uint32_t, std::uint32_t) {
                        return Patches{{1, 0, 0x00, 0xFF}, {2, 7, 0x00, 0x12}};
                      },
                      platform::S_OK},
        UntouchedCase{"PagePastTheEnd",
                      [](std::uint32_t, std::uint32_t count) {
                        return Patches{{1, 0, 0xFF, 0x55}, {count, 0, 0xFF, 0x55}};
                      },
                      platform::E_INVALIDARG},
        UntouchedCase{"OffsetPastThePage",
                      [](std::uint32_t size, std::uint32_t) {
                        return Patches{{1, 0, 0xFF, 0x55}, {2, static_cast<std::uint16_t>(size), 0xFF, 0x55}};
                      },
                      platform::E_INVALIDARG}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(JournalTest, CommitLeavesAJournalThatIsThereAlone) {
  Prepare(kJet4);
  const std::string theirs = "a journal this commit did not write";
  WriteFileBytes(journal_, theirs);
  const std::unique_ptr<jet::JetFile> file = Open();
  ASSERT_TRUE(file);
  EXPECT_EQ(Hex(jet::CommitPatches(*file, patches_, true)), Hex(platform::E_LOCK_VIOLATION));
  EXPECT_NE(TakeDescription().find(journal_), std::string::npos);
  EXPECT_EQ(ReadFileBytes(journal_), theirs);
  EXPECT_EQ(ReadFileBytes(path_), original_);
}

// The permission bits do not bind root, so these run only for other users.
TEST_F(JournalTest, WriteProtectedFileRefusesCommitsAndAJournalThatNeedsPlayingBack) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes whatever the permission bits say";
  Prepare(kJet4);
  const std::string journal = GenuineJournal();
  ASSERT_EQ(::chmod(path_.c_str(), 0444), 0);
  const std::unique_ptr<jet::JetFile> file = Open();
  ASSERT_TRUE(file);
  ASSERT_FALSE(file->Writable());

  EXPECT_EQ(Hex(jet::CommitPatches(*file, patches_, true)), Hex(platform::E_ACCESSDENIED));
  EXPECT_NE(TakeDescription().find(path_), std::string::npos);
  EXPECT_FALSE(FileExists(journal_));

  WriteFileBytes(journal_, journal);
  EXPECT_EQ(Hex(jet::RecoverJournal(*file)), Hex(platform::E_ACCESSDENIED));
  EXPECT_NE(TakeDescription().find(journal_), std::string::npos);
  EXPECT_EQ(ReadFileBytes(journal_), journal);
  EXPECT_EQ(ReadFileBytes(path_), patched_);
}

// --- Commits that fail part way -----------------------------------------------

struct FaultCase {
  const char* name;
  Call call;
  int error;
  bool sticky;
  HRESULT expected;
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.name; }

class JournalCommitFault : public JournalTest, public ::testing::WithParamInterface<FaultCase> {};

// Fails the first call of the kind, then the second, and so on until the
// commit gets through; after each, the next open must find the original, or
// the patched file when the failure came after the commit point.
TEST_P(JournalCommitFault, NextOpenFindsTheOriginalOrTheWholeCommit) {
  const FaultCase& fault = GetParam();
  Prepare(kJet4);
  for (const bool durable : {false, true}) {
    bool succeeded = false;
    for (int nth = 1; !succeeded; ++nth) {
      ASSERT_LT(nth, 1000) << "the commit never got through";
      SCOPED_TRACE(std::string(durable ? "durable, " : "lazy, ") + "failing call " + std::to_string(nth));
      Reset();
      FailingIo io(fault.call, nth, fault.error, fault.sticky);
      {
        const std::unique_ptr<jet::JetFile> file = Open();
        ASSERT_TRUE(file);
        const HRESULT result = jet::CommitPatches(*file, patches_, durable, io);
        const std::string description = TakeDescription();
        succeeded = !io.Fired();
        EXPECT_EQ(Hex(result), Hex(succeeded ? platform::S_OK : fault.expected)) << description;
        if (!succeeded) {
          EXPECT_NE(description.find(path_), std::string::npos) << description;
        }
        // A journal left behind is one the description owns up to.
        if (FileExists(journal_)) {
          EXPECT_NE(description.find(journal_), std::string::npos) << description;
        }
      }
      RecoverAsTheNextOpen();
      const bool whole = succeeded || io.FiredAfterRemoval();
      EXPECT_EQ(FileState(), whole ? "patched" : "original");
      EXPECT_FALSE(FileExists(journal_));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    JournalFaults, JournalCommitFault,
    ::testing::Values(FaultCase{"ReadFails", Call::kPRead, EIO, false, platform::E_READ_FAULT},
                      FaultCase{"WriteFails", Call::kPWrite, EIO, false, platform::E_WRITE_FAULT},
                      FaultCase{"DiskFull", Call::kPWrite, ENOSPC, false, platform::E_DISK_FULL},
                      FaultCase{"SyncFails", Call::kFSync, EIO, false, platform::E_WRITE_FAULT},
                      FaultCase{"SyncFindsTheDiskFull", Call::kFSync, ENOSPC, false, platform::E_DISK_FULL},
                      FaultCase{"FolderSyncFails", Call::kSyncFolder, EIO, false, platform::E_WRITE_FAULT},
                      FaultCase{"JournalCreationFindsTheDiskFull", Call::kOpen, ENOSPC, false, platform::E_DISK_FULL},
                      FaultCase{"JournalCreationDenied", Call::kOpen, EACCES, false, platform::E_ACCESSDENIED},
                      FaultCase{"CloseFails", Call::kClose, EIO, false, platform::E_WRITE_FAULT},
                      FaultCase{"RemovalFails", Call::kUnlink, EIO, false, platform::E_WRITE_FAULT},
                      // From the failure on, nothing of the kind works: the
                      // commit cannot restore the pages itself and has to
                      // leave the journal to the next open.
                      FaultCase{"WritesFailFromThenOn", Call::kPWrite, EIO, true, platform::E_WRITE_FAULT},
                      FaultCase{"SyncsFailFromThenOn", Call::kFSync, EIO, true, platform::E_WRITE_FAULT},
                      FaultCase{"RemovalsFailFromThenOn", Call::kUnlink, EIO, true, platform::E_WRITE_FAULT}),
    [](const auto& test) { return std::string(test.param.name); });

// --- Commits that die part way --------------------------------------------------

class JournalCommitKilled : public JournalTest, public ::testing::WithParamInterface<Sample> {};

// A child process runs the commit and ends at its first call, then at its
// second, and so on; the parent then opens the file as the next run would.
TEST_P(JournalCommitKilled, NextOpenFindsTheOriginalOrTheWholeCommit) {
  Prepare(GetParam());
  for (int nth = 1;; ++nth) {
    ASSERT_LT(nth, 1000) << "the commit never got through";
    SCOPED_TRACE("killed at call " + std::to_string(nth));
    Reset();
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      std::unique_ptr<jet::JetFile> file;
      if (platform::Failed(jet::JetFile::Open(path_, &file))) _exit(kCommitFailed);
      KillingIo io(nth);
      _exit(platform::Succeeded(jet::CommitPatches(*file, patches_, true, io)) ? 0 : kCommitFailed);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    const int exit_status = WEXITSTATUS(status);
    ASSERT_TRUE(exit_status == 0 || exit_status == kKilledBeforeRemoval || exit_status == kKilledAfterRemoval)
        << "exit status " << exit_status;
    RecoverAsTheNextOpen();
    const bool whole = exit_status != kKilledBeforeRemoval;
    EXPECT_EQ(FileState(), whole ? "patched" : "original");
    EXPECT_FALSE(FileExists(journal_));
    if (exit_status == 0) break;
  }
}

INSTANTIATE_TEST_SUITE_P(JournalSamples, JournalCommitKilled, ::testing::Values(kJet4, kJet3),
                         [](const auto& test) { return std::string(test.param.name); });

// --- Recovery --------------------------------------------------------------------

// Where the journal keeps its fields (see rollback_journal.cpp).
constexpr std::size_t kMagicAt = 0;
constexpr std::size_t kVersionAt = 8;
constexpr std::size_t kPageSizeAt = 12;
constexpr std::size_t kFileSizeAt = 16;
constexpr std::size_t kPageCountAt = 24;
constexpr std::size_t kFirstRecordAt = 32;
constexpr std::size_t kChecksumSize = 8;

void PutU32(std::string* bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}
void PutU64(std::string* bytes, std::size_t at, std::uint64_t value) {
  for (std::size_t i = 0; i < 8; ++i) (*bytes)[at + i] = static_cast<char>(value >> (8 * i));
}
std::uint32_t GetU32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<std::uint8_t>(bytes[at + i])} << (8 * i);
  return value;
}

// Writes a checksum that holds over whatever the journal now says, so that
// only the checks of its content can turn it away.
std::string Resealed(std::string bytes) {
  std::uint64_t hash = 14695981039346656037ULL;
  for (std::size_t i = 0; i + kChecksumSize < bytes.size(); ++i) {
    hash = (hash ^ static_cast<std::uint8_t>(bytes[i])) * 1099511628211ULL;
  }
  PutU64(&bytes, bytes.size() - kChecksumSize, hash);
  return bytes;
}

std::string WithU32(std::string bytes, std::size_t at, std::uint32_t value) {
  PutU32(&bytes, at, value);
  return Resealed(std::move(bytes));
}

std::string Flipped(std::string bytes, std::size_t at) {
  bytes[at] = static_cast<char>(~bytes[at]);
  return bytes;
}

struct DamageCase {
  const char* name;
  // The damaged journal, from a genuine one and the file's page size.
  std::function<std::string(const std::string&, std::uint32_t)> damage;
};

void PrintTo(const DamageCase& damage, std::ostream* out) { *out << damage.name; }

class JournalDamaged : public JournalTest, public ::testing::WithParamInterface<DamageCase> {};

// A journal that is not complete was never followed by a write: recovery
// removes it and leaves the file as it is (here, patched).
TEST_P(JournalDamaged, IsRemovedAndTheFileLeftAlone) {
  for (const Sample& sample : {kJet4, kJet3}) {
    SCOPED_TRACE(sample.name);
    Prepare(sample);
    const std::string genuine = GenuineJournal();
    WriteFileBytes(journal_, GetParam().damage(genuine, page_size_));
    RecoverAsTheNextOpen();
    EXPECT_EQ(ReadFileBytes(path_), patched_);
    EXPECT_FALSE(FileExists(journal_));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Journals, JournalDamaged,
    ::testing::Values(
        DamageCase{"Empty", [](const std::string&, std::uint32_t) { return std::string(); }},
        DamageCase{"CutInTheHeader", [](const std::string& j, std::uint32_t) { return j.substr(0, 20); }},
        DamageCase{"HeaderOnly", [](const std::string& j, std::uint32_t) { return j.substr(0, kFirstRecordAt); }},
        DamageCase{"CutInTheFirstPage",
                   [](const std::string& j, std::uint32_t) { return j.substr(0, kFirstRecordAt + 4 + 100); }},
        DamageCase{"ChecksumMissing",
                   [](const std::string& j, std::uint32_t) { return j.substr(0, j.size() - kChecksumSize); }},
        DamageCase{"LastByteMissing", [](const std::string& j, std::uint32_t) { return j.substr(0, j.size() - 1); }},
        DamageCase{"TailNeverWritten",
                   [](std::string j, std::uint32_t size) {
                     std::fill(j.end() - size, j.end(), '\0');
                     return j;
                   }},
        DamageCase{"BytesAfterTheChecksum", [](const std::string& j, std::uint32_t) { return j + "junk"; }},
        DamageCase{"ChecksumByteFlipped", [](const std::string& j, std::uint32_t) { return Flipped(j, j.size() - 1); }},
        DamageCase{"PageByteFlipped",
                   [](const std::string& j, std::uint32_t) { return Flipped(j, kFirstRecordAt + 4 + 10); }},
        DamageCase{"HeaderByteFlipped",
                   [](const std::string& j, std::uint32_t) { return Flipped(j, kFileSizeAt); }},
        DamageCase{"OtherMagic", [](const std::string& j, std::uint32_t) { return Resealed(Flipped(j, kMagicAt)); }},
        DamageCase{"NewerVersion", [](const std::string& j, std::uint32_t) { return WithU32(j, kVersionAt, 2); }},
        DamageCase{"OtherPageSize",
                   [](const std::string& j, std::uint32_t size) {
                     return WithU32(j, kPageSizeAt, size == jet::kJet4PageSize ? jet::kJet3PageSize
                                                                               : jet::kJet4PageSize);
                   }},
        DamageCase{"AbsurdPageCount",
                   [](const std::string& j, std::uint32_t) { return WithU32(j, kPageCountAt, 0xFFFFFFFF); }},
        DamageCase{"OnePageMoreThanItHolds",
                   [](const std::string& j, std::uint32_t) {
                     return WithU32(j, kPageCountAt, GetU32(j, kPageCountAt) + 1);
                   }},
        // No pages and a size of nothing: playing it back would empty the file.
        DamageCase{"NoPagesAndAnEmptyFile",
                   [](const std::string& j, std::uint32_t) {
                     std::string empty = j.substr(0, kFirstRecordAt) + std::string(kChecksumSize, '\0');
                     PutU64(&empty, kFileSizeAt, 0);
                     return WithU32(empty, kPageCountAt, 0);
                   }},
        DamageCase{"PagePastTheRecordedEnd",
                   [](const std::string& j, std::uint32_t size) {
                     std::string past = j;
                     PutU64(&past, kFileSizeAt, std::uint64_t{GetU32(j, kFirstRecordAt)} * size);
                     return Resealed(past);
                   }},
        DamageCase{"AbsurdPageNumber",
                   [](const std::string& j, std::uint32_t) { return WithU32(j, kFirstRecordAt, 0xFFFFFFFF); }},
        DamageCase{"PagesOutOfOrder",
                   [](const std::string& j, std::uint32_t size) {
                     const std::size_t second = kFirstRecordAt + 4 + size;
                     std::string swapped = j;
                     PutU32(&swapped, kFirstRecordAt, GetU32(j, second));
                     return WithU32(swapped, second, GetU32(j, kFirstRecordAt));
                   }},
        DamageCase{"PageTwice",
                   [](const std::string& j, std::uint32_t size) {
                     return WithU32(j, kFirstRecordAt + 4 + size, GetU32(j, kFirstRecordAt));
                   }},
        DamageCase{"RandomBytes",
                   [](const std::string&, std::uint32_t) {
                     std::mt19937 random(20240611);
                     std::string noise(10000, '\0');
                     for (char& byte : noise) byte = static_cast<char>(random());
                     return noise;
                   }}),
    [](const auto& test) { return std::string(test.param.name); });

class JournalPlayback : public JournalTest, public ::testing::WithParamInterface<Sample> {};

// A complete journal brings back the pages and the size the file had; the
// file object then sees that size.
TEST_P(JournalPlayback, BringsBackThePagesAndTheSize) {
  Prepare(GetParam());
  const std::string journal = GenuineJournal();
  WriteFileBytes(journal_, journal);
  WriteFileBytes(path_, patched_ + std::string(2 * page_size_ + 100, 'x'));
  const std::unique_ptr<jet::JetFile> file = Open();
  ASSERT_TRUE(file);
  EXPECT_EQ(Hex(jet::RecoverJournal(*file)), Hex(platform::S_OK)) << TakeDescription();
  EXPECT_EQ(ReadFileBytes(path_), original_);
  EXPECT_EQ(file->Size(), original_.size());
  EXPECT_EQ(file->PageCount(), original_.size() / page_size_);
  EXPECT_FALSE(FileExists(journal_));
}

INSTANTIATE_TEST_SUITE_P(JournalSamples, JournalPlayback, ::testing::Values(kJet4, kJet3),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(JournalTest, RecoveryRefusesSomethingOtherThanAFileAtTheJournalsPath) {
  Prepare(kJet4);
  ASSERT_EQ(::mkdir(journal_.c_str(), 0755), 0);
  const std::unique_ptr<jet::JetFile> file = Open();
  ASSERT_TRUE(file);
  EXPECT_EQ(Hex(jet::RecoverJournal(*file)), Hex(platform::E_FILE_CORRUPT));
  EXPECT_NE(TakeDescription().find(journal_), std::string::npos);
  EXPECT_TRUE(FileExists(journal_));
  EXPECT_EQ(ReadFileBytes(path_), original_);
}

struct RecoveryFaultCase {
  const char* name;
  Call call;
};

void PrintTo(const RecoveryFaultCase& fault, std::ostream* out) { *out << fault.name; }

class JournalRecoveryFault : public JournalTest, public ::testing::WithParamInterface<RecoveryFaultCase> {};

// A recovery that fails keeps the journal (short of the last folder sync,
// which it does not need), and the one after it finishes the job.
TEST_P(JournalRecoveryFault, KeepsTheJournalForTheNextOpen) {
  Prepare(kJet4);
  const std::string journal = GenuineJournal();
  bool succeeded = false;
  for (int nth = 1; !succeeded; ++nth) {
    ASSERT_LT(nth, 1000) << "the recovery never got through";
    SCOPED_TRACE("failing call " + std::to_string(nth));
    WriteFileBytes(journal_, journal);
    WriteFileBytes(path_, patched_ + std::string(page_size_, 'x'));  // so that the size is restored too
    FailingIo io(GetParam().call, nth, EIO, false);
    {
      const std::unique_ptr<jet::JetFile> file = Open();
      ASSERT_TRUE(file);
      const HRESULT result = jet::RecoverJournal(*file, io);
      const std::string description = TakeDescription();
      succeeded = !io.Fired();
      const bool harmless = GetParam().call == Call::kSyncFolder;
      EXPECT_EQ(platform::Failed(result), !succeeded && !harmless) << description;
      if (platform::Failed(result)) {
        EXPECT_NE(description.find(journal_), std::string::npos) << description;
        EXPECT_TRUE(FileExists(journal_));
      }
    }
    RecoverAsTheNextOpen();
    EXPECT_EQ(ReadFileBytes(path_), original_);
    EXPECT_FALSE(FileExists(journal_));
  }
}

INSTANTIATE_TEST_SUITE_P(JournalFaults, JournalRecoveryFault,
                         ::testing::Values(RecoveryFaultCase{"OpenFails", Call::kOpen},
                                           RecoveryFaultCase{"ReadFails", Call::kPRead},
                                           RecoveryFaultCase{"WriteFails", Call::kPWrite},
                                           RecoveryFaultCase{"TruncateFails", Call::kFTruncate},
                                           RecoveryFaultCase{"SyncFails", Call::kFSync},
                                           RecoveryFaultCase{"RemovalFails", Call::kUnlink},
                                           RecoveryFaultCase{"FolderSyncFails", Call::kSyncFolder}),
                         [](const auto& test) { return std::string(test.param.name); });

}  // namespace
