// Journalled in-place commits to a Jet file, and their recovery.
//
// The journal, all fields little-endian:
//
//   offset  size  field
//        0     8  magic "jetundo\n"
//        8     4  format version (1)
//       12     4  page size of the file
//       16     8  size of the file in bytes, before the commit
//       24     4  number of pages in the journal (at least 1)
//       28     4  zero
//       32        per page, in ascending page order:
//                   4  page number
//                   N  the page's bytes before the commit (N = page size)
//      end     8  64-bit FNV-1a of every byte before it
//
// The journal is complete when its length is exactly what the header's page
// count implies and the checksum at its end holds. A commit writes the whole
// journal, syncs it and its folder, and only then touches the file, so a
// journal that is not complete was never followed by a write to the file.
// The checksum covers the header too: a journal cut short within its first
// sector after a crash, or one whose tail was never written (zeros), does not
// pass as complete.
//
// The commit point is the removal of the journal. Before it, every failure
// ends with the file as it was: the commit writes the journalled pages back
// itself, or, when it cannot, leaves the journal so that the next open does.
// After it the changes stand. The one failure reported after the commit point
// is the folder sync of the durable mode: the changes are in the file, but a
// crash before the folder reaches the disk may bring the journal back, and
// its playback would then undo them (whole, never in part).
//
// Playing a journal back over a file that was never written, or writing it
// back twice, leaves the same bytes: recovery is safe to repeat.
//
// Recovery reads a file that anything may have written. It trusts nothing
// in it before the checksum and the layout hold: each read is one page at
// most, the page count must account for the journal's length exactly, page
// numbers must rise and lie inside the recorded file, and the page size must
// be that of the file.
#include "provider/jet/rollback_journal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <string_view>
#include <utility>

#include "com/error_info.h"
#include "provider/file_format.h"

namespace platform::provider::jet {
namespace {

constexpr std::array<std::uint8_t, 8> kMagic = {'j', 'e', 't', 'u', 'n', 'd', 'o', '\n'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kPageSizeOffset = 12;
constexpr std::size_t kFileSizeOffset = 16;
constexpr std::size_t kPageCountOffset = 24;
constexpr std::size_t kHeaderSize = 32;
constexpr std::size_t kPageNumberSize = 4;
constexpr std::size_t kChecksumSize = 8;

constexpr std::uint64_t kFnvOffsetBasis = 14695981039346656037ULL;
constexpr std::uint64_t kFnvPrime = 1099511628211ULL;

constexpr int kJournalCreateFlags = O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC | O_NOCTTY;
constexpr mode_t kJournalMode = 0644;
// O_NONBLOCK: something other than a file at the journal's path (a pipe)
// must not hang the open; reads of a regular file ignore the flag.
constexpr int kJournalReadFlags = O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// What ReadFully answers when the file ends before the bytes asked for.
constexpr int kEndOfFile = -1;

class Fnv1a {
 public:
  void Add(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
      hash_ = (hash_ ^ bytes[i]) * kFnvPrime;
    }
  }
  std::uint64_t Value() const { return hash_; }

 private:
  std::uint64_t hash_ = kFnvOffsetBasis;
};

void PutU32(std::vector<std::uint8_t>* out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out->push_back(static_cast<std::uint8_t>(value >> shift));
}
void PutU64(std::vector<std::uint8_t>* out, std::uint64_t value) {
  for (int shift = 0; shift < 64; shift += 8) out->push_back(static_cast<std::uint8_t>(value >> shift));
}
std::uint64_t ReadU64(const std::uint8_t* bytes) {
  return static_cast<std::uint64_t>(ReadU32(bytes)) | (static_cast<std::uint64_t>(ReadU32(bytes + 4)) << 32);
}

off_t PageOffset(std::uint32_t page, std::uint32_t page_size) {
  return static_cast<off_t>(static_cast<std::uint64_t>(page) * page_size);
}

// A failure on its way to ReportError: internal steps return one so that a
// later step (the restore after a failed write) can add to the description.
struct Outcome {
  HRESULT code = S_OK;
  std::string description;
  bool Failed() const { return platform::Failed(code); }
};

Outcome Fail(HRESULT code, std::string description) { return {code, std::move(description)}; }

HRESULT Report(Outcome outcome) { return ReportError(outcome.code, std::move(outcome.description)); }

// The code for a failed write, sync, truncation or removal.
HRESULT WriteResultFromErrno(int error_number) {
  switch (error_number) {
    case ENOSPC:
    case EDQUOT:
      return E_DISK_FULL;
    case EACCES:
    case EPERM:
    case EROFS:
      return E_ACCESSDENIED;
    default:
      return E_WRITE_FAULT;
  }
}

// Takes the pieces of the description apart so that a caller can pass errno
// straight in: nothing in the arguments allocates before errno is read.
Outcome WriteFailure(int error_number, const char* what, const std::string& name) {
  return Fail(WriteResultFromErrno(error_number), what + name + ": " + std::strerror(error_number));
}

// Reads `length` bytes at `offset`: 0, the errno of a failed read, or
// kEndOfFile when the file ends first.
int ReadFully(CommitIo& io, int fd, std::uint8_t* buffer, std::size_t length, off_t offset) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t got = io.PRead(fd, buffer + done, length - done, offset + static_cast<off_t>(done));
    if (got < 0) return errno;
    if (got == 0) return kEndOfFile;
    done += static_cast<std::size_t>(got);
  }
  return 0;
}

// Writes `length` bytes at `offset`: 0 or the errno of the failure.
int WriteFully(CommitIo& io, int fd, const std::uint8_t* buffer, std::size_t length, off_t offset) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t wrote = io.PWrite(fd, buffer + done, length - done, offset + static_cast<off_t>(done));
    if (wrote < 0) return errno;
    // A write that makes no progress and gives no reason would loop forever.
    if (wrote == 0) return EIO;
    done += static_cast<std::size_t>(wrote);
  }
  return 0;
}

// A descriptor opened through CommitIo, closed through it at the end unless
// Close() was called. Close() gives the descriptor up even when it fails,
// since close() frees it either way.
class IoFd {
 public:
  IoFd(CommitIo& io, int fd) : io_(io), fd_(fd) {}
  ~IoFd() {
    if (fd_ >= 0) io_.Close(fd_);
  }
  IoFd(const IoFd&) = delete;
  IoFd& operator=(const IoFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  int Close() { return io_.Close(std::exchange(fd_, -1)); }

 private:
  CommitIo& io_;
  int fd_;
};

// One page a commit changes, and the patches that fall on it: the range
// [first, last) of the commit's patches sorted by page. Neither image of
// the page is kept: the original is read from the file (and, once the file
// is written, from the journal) and the patched one made from it when
// needed, so that a commit touching every page of a large file holds a few
// pages at a time, not all of them.
struct PageChange {
  std::uint32_t page = 0;
  std::size_t first = 0;
  std::size_t last = 0;
  std::size_t patched_fingerprint = 0;  // of the patched image, set when it is written
};

// The patches of one commit, sorted by page, and the pages they change.
struct CommitPlan {
  std::vector<BytePatch> patches;
  std::vector<PageChange> changes;
};

// A fingerprint of a page image for the read-back check within one commit:
// the library's string hash, several times faster than the journal's
// byte-at-a-time checksum and as good at telling two images apart.
std::size_t FingerprintOf(const std::vector<std::uint8_t>& bytes) {
  return std::hash<std::string_view>{}(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

Outcome CheckPatches(const JetFile& file, const std::vector<BytePatch>& patches) {
  for (const BytePatch& patch : patches) {
    if (patch.page >= file.PageCount() || patch.offset >= file.PageSize()) {
      return Fail(E_INVALIDARG, "a change to " + file.Path() + " lies outside the file (page " +
                                    std::to_string(patch.page) + ", offset " + std::to_string(patch.offset) + ")");
    }
  }
  return {};
}

// Patches to the same byte apply in the order given.
void ApplyPatches(const CommitPlan& plan, const PageChange& change, std::vector<std::uint8_t>* page) {
  for (std::size_t i = change.first; i < change.last; ++i) {
    const BytePatch& patch = plan.patches[i];
    std::uint8_t& byte = (*page)[patch.offset];
    byte = static_cast<std::uint8_t>((byte & ~patch.mask) | (patch.value & patch.mask));
  }
}

Outcome ReadFilePage(const JetFile& file, std::uint32_t page, CommitIo& io, std::vector<std::uint8_t>* bytes,
                     const char* when) {
  const int read = ReadFully(io, file.Descriptor(), bytes->data(), bytes->size(), PageOffset(page, file.PageSize()));
  if (read == kEndOfFile) {
    return Fail(E_FILE_CORRUPT, file.Path() + " ends inside page " + std::to_string(page) + when);
  }
  if (read != 0) {
    return Fail(E_READ_FAULT,
                "cannot read page " + std::to_string(page) + " of " + file.Path() + when + ": " + std::strerror(read));
  }
  return {};
}

// Sorts the patches by page and keeps the pages they change; pages the
// patches leave as they are drop out.
Outcome PlanChanges(const JetFile& file, const std::vector<BytePatch>& patches, CommitIo& io, CommitPlan* plan) {
  plan->patches = patches;
  std::stable_sort(plan->patches.begin(), plan->patches.end(),
                   [](const BytePatch& a, const BytePatch& b) { return a.page < b.page; });
  std::vector<std::uint8_t> original(file.PageSize());
  std::vector<std::uint8_t> patched(file.PageSize());
  for (std::size_t first = 0; first < plan->patches.size();) {
    PageChange change;
    change.page = plan->patches[first].page;
    change.first = first;
    change.last = first;
    while (change.last < plan->patches.size() && plan->patches[change.last].page == change.page) ++change.last;
    if (Outcome read = ReadFilePage(file, change.page, io, &original, ""); read.Failed()) return read;
    patched = original;
    ApplyPatches(*plan, change, &patched);
    if (patched != original) plan->changes.push_back(change);
    first = change.last;
  }
  return {};
}

// Appends to the journal through a buffer of a few pages, keeping the
// running checksum of everything appended.
class JournalWriter {
 public:
  JournalWriter(CommitIo& io, int fd) : io_(io), fd_(fd) { buffer_.reserve(kFlushBytes); }

  // 0 or the errno of a failed write.
  int Append(const std::uint8_t* bytes, std::size_t length) {
    checksum_.Add(bytes, length);
    buffer_.insert(buffer_.end(), bytes, bytes + length);
    return buffer_.size() >= kFlushBytes ? Flush() : 0;
  }
  int AppendU32(std::uint32_t value) {
    std::vector<std::uint8_t> bytes;
    PutU32(&bytes, value);
    return Append(bytes.data(), bytes.size());
  }
  // Appends the checksum of all that went before and writes what is left.
  int Finish() {
    std::vector<std::uint8_t> bytes;
    PutU64(&bytes, checksum_.Value());
    buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    return Flush();
  }

 private:
  static constexpr std::size_t kFlushBytes = 256 * 1024;

  int Flush() {
    const int wrote = WriteFully(io_, fd_, buffer_.data(), buffer_.size(), offset_);
    offset_ += static_cast<off_t>(buffer_.size());
    buffer_.clear();
    return wrote;
  }

  CommitIo& io_;
  int fd_;
  Fnv1a checksum_;
  std::vector<std::uint8_t> buffer_;
  off_t offset_ = 0;
};

// Writes the header and each changed page as the file holds it now.
Outcome FillJournal(const JetFile& file, const std::string& journal, const CommitPlan& plan, int fd,
                    CommitIo& io) {
  JournalWriter writer(io, fd);
  std::vector<std::uint8_t> header(kMagic.begin(), kMagic.end());
  PutU32(&header, kFormatVersion);
  PutU32(&header, file.PageSize());
  PutU64(&header, file.Size());
  PutU32(&header, static_cast<std::uint32_t>(plan.changes.size()));
  PutU32(&header, 0);
  int wrote = writer.Append(header.data(), header.size());
  std::vector<std::uint8_t> original(file.PageSize());
  for (std::size_t i = 0; i < plan.changes.size() && wrote == 0; ++i) {
    const std::uint32_t page = plan.changes[i].page;
    if (Outcome read = ReadFilePage(file, page, io, &original, ""); read.Failed()) return read;
    wrote = writer.AppendU32(page);
    if (wrote == 0) wrote = writer.Append(original.data(), original.size());
  }
  if (wrote == 0) wrote = writer.Finish();
  if (wrote != 0) return WriteFailure(wrote, "cannot write the journal ", journal);
  return {};
}

// Creates the journal and brings it, and its name in the folder, to disk.
// On failure a journal this call created is removed again (as far as that
// goes); one that was there before is left alone.
Outcome WriteJournal(const JetFile& file, const std::string& journal, const CommitPlan& plan, CommitIo& io) {
  IoFd out(io, io.Open(journal.c_str(), kJournalCreateFlags, kJournalMode));
  if (!out.Valid()) {
    const int error_number = errno;
    if (error_number == EEXIST) {
      return Fail(E_LOCK_VIOLATION, "cannot commit to " + file.Path() + ": the journal " + journal +
                                        " is there already, left by a commit that was not played back");
    }
    return WriteFailure(error_number, "cannot create the journal ", journal);
  }
  Outcome outcome = FillJournal(file, journal, plan, out.Get(), io);
  if (outcome.Failed()) {
    // reported as it is
  } else if (io.FSync(out.Get()) != 0) {
    outcome = WriteFailure(errno, "cannot sync the journal ", journal);
  } else if (out.Close() != 0) {
    outcome = WriteFailure(errno, "cannot close the journal ", journal);
  } else if (io.SyncFolderOf(journal.c_str()) != 0) {
    outcome = WriteFailure(errno, "cannot sync the folder of the journal ", journal);
  }
  if (outcome.Failed()) {
    // The file is untouched; whatever of the journal reached the disk is
    // either incomplete or holds the pages as they still are.
    if (out.Valid()) out.Close();
    io.Unlink(journal.c_str());
  }
  return outcome;
}

// Writes the runs of bytes that differ between each page's images, then
// syncs the file. Each page is read just before it is written, when it still
// holds its original bytes (the pages are distinct).
Outcome WriteChanges(const JetFile& file, CommitPlan* plan, CommitIo& io) {
  std::vector<std::uint8_t> original(file.PageSize());
  std::vector<std::uint8_t> patched(file.PageSize());
  for (PageChange& change : plan->changes) {
    if (Outcome read = ReadFilePage(file, change.page, io, &original, ""); read.Failed()) return read;
    patched = original;
    ApplyPatches(*plan, change, &patched);
    change.patched_fingerprint = FingerprintOf(patched);
    const off_t page_offset = PageOffset(change.page, file.PageSize());
    std::size_t begin = 0;
    while (begin < patched.size()) {
      if (patched[begin] == original[begin]) {
        ++begin;
        continue;
      }
      std::size_t end = begin + 1;
      while (end < patched.size() && patched[end] != original[end]) ++end;
      const int wrote = WriteFully(io, file.Descriptor(), patched.data() + begin, end - begin,
                                   page_offset + static_cast<off_t>(begin));
      if (wrote != 0) return WriteFailure(wrote, "cannot write to ", file.Path());
      begin = end;
    }
  }
  if (io.FSync(file.Descriptor()) != 0) return WriteFailure(errno, "cannot sync ", file.Path());
  return {};
}

// Reads the changed pages back: a file system that accepted the writes but
// keeps something else is caught while the journal can still undo it. Each
// page is compared with the fingerprint of the image that was written.
Outcome VerifyChanges(const JetFile& file, const CommitPlan& plan, CommitIo& io) {
  std::vector<std::uint8_t> page(file.PageSize());
  for (const PageChange& change : plan.changes) {
    if (Outcome read = ReadFilePage(file, change.page, io, &page, " after it was written"); read.Failed()) {
      return read;
    }
    if (FingerprintOf(page) != change.patched_fingerprint) {
      return Fail(E_WRITE_FAULT,
                  file.Path() + " did not read back as written (page " + std::to_string(change.page) + ")");
    }
  }
  return {};
}

// After a failure with a complete journal: writes the journalled pages back
// whole, as the journal holds them, syncs, and removes the journal.
// `failure` is what went wrong first; it is what the caller hears, with a
// word on the journal when the restore fails too.
Outcome RestoreAfter(Outcome failure, const JetFile& file, const std::string& journal, const CommitPlan& plan,
                     CommitIo& io) {
  int error_number = 0;
  IoFd in(io, io.Open(journal.c_str(), kJournalReadFlags, 0));
  if (!in.Valid()) error_number = errno;
  std::vector<std::uint8_t> record(kPageNumberSize + file.PageSize());
  off_t offset = static_cast<off_t>(kHeaderSize);
  for (std::size_t i = 0; i < plan.changes.size() && error_number == 0; ++i) {
    error_number = ReadFully(io, in.Get(), record.data(), record.size(), offset);
    if (error_number == kEndOfFile) error_number = EIO;
    if (error_number == 0 && ReadU32(record.data()) != plan.changes[i].page) error_number = EIO;
    if (error_number == 0) {
      error_number = WriteFully(io, file.Descriptor(), record.data() + kPageNumberSize, file.PageSize(),
                                PageOffset(plan.changes[i].page, file.PageSize()));
    }
    offset += static_cast<off_t>(record.size());
  }
  if (error_number == 0 && io.FSync(file.Descriptor()) != 0) error_number = errno;
  if (error_number != 0) {
    failure.description += "; restoring the pages failed too (" + std::string(std::strerror(error_number)) +
                           "), so the journal " + journal + " is kept and will be played back at the next open";
    return failure;
  }
  in.Close();
  // Should the removal fail, the journal holds the pages as they now are
  // again; playing it back at the next open changes nothing.
  io.Unlink(journal.c_str());
  return failure;
}

// The header fields recovery uses, once the journal has checked out.
struct JournalHeader {
  std::uint64_t file_size = 0;
  std::uint32_t page_count = 0;
};

// Reads the journal through and decides whether it is complete. A read
// failure is a failure; anything the journal says that does not add up
// makes it incomplete.
Outcome CheckJournal(const JetFile& file, const std::string& journal, int fd, std::uint64_t length, CommitIo& io,
                     bool* complete, JournalHeader* header) {
  *complete = false;
  const auto read_failure = [&](int read) {
    return Fail(E_READ_FAULT, "cannot read the journal " + journal + ": " + std::strerror(read));
  };
  if (length < kHeaderSize + kChecksumSize) return {};
  std::array<std::uint8_t, kHeaderSize> head{};
  if (const int read = ReadFully(io, fd, head.data(), head.size(), 0); read != 0) {
    return read == kEndOfFile ? Outcome{} : read_failure(read);
  }
  const std::uint32_t page_size = ReadU32(head.data() + kPageSizeOffset);
  const std::uint64_t file_size = ReadU64(head.data() + kFileSizeOffset);
  const std::uint32_t page_count = ReadU32(head.data() + kPageCountOffset);
  if (!std::equal(kMagic.begin(), kMagic.end(), head.begin()) ||
      ReadU32(head.data() + kVersionOffset) != kFormatVersion || page_size != file.PageSize() || page_count == 0 ||
      file_size > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max())) {
    return {};
  }
  // page_size is the file's (at most 4096), so none of this overflows.
  const std::uint64_t record_size = kPageNumberSize + page_size;
  if (length != kHeaderSize + page_count * record_size + kChecksumSize) return {};

  Fnv1a checksum;
  checksum.Add(head.data(), head.size());
  const std::uint64_t recorded_pages = file_size / page_size;
  std::vector<std::uint8_t> record(static_cast<std::size_t>(record_size));
  std::uint64_t offset = kHeaderSize;
  bool in_order = true;
  std::uint64_t next_page = 0;  // the least page number the next record may have
  for (std::uint32_t i = 0; i < page_count; ++i, offset += record_size) {
    if (const int read = ReadFully(io, fd, record.data(), record.size(), static_cast<off_t>(offset)); read != 0) {
      return read == kEndOfFile ? Outcome{} : read_failure(read);
    }
    checksum.Add(record.data(), record.size());
    const std::uint32_t page = ReadU32(record.data());
    if (page < next_page || page >= recorded_pages) in_order = false;
    next_page = static_cast<std::uint64_t>(page) + 1;
  }
  std::array<std::uint8_t, kChecksumSize> stored{};
  if (const int read = ReadFully(io, fd, stored.data(), stored.size(), static_cast<off_t>(offset)); read != 0) {
    return read == kEndOfFile ? Outcome{} : read_failure(read);
  }
  if (!in_order || ReadU64(stored.data()) != checksum.Value()) return {};
  *complete = true;
  header->file_size = file_size;
  header->page_count = page_count;
  return {};
}

// Writes each journalled page back, restores the recorded size and syncs.
// Every failure names the journal: it stays, and the user may have to know.
Outcome PlayBack(JetFile& file, const std::string& journal, int fd, const JournalHeader& header, CommitIo& io) {
  const auto failure = [&](HRESULT code, const std::string& cause) {
    return Fail(code, "cannot play the journal " + journal + " back into " + file.Path() + ": " + cause);
  };
  const auto write_failure = [&](int error_number) {
    return failure(WriteResultFromErrno(error_number), std::strerror(error_number));
  };
  const std::size_t page_size = file.PageSize();
  std::vector<std::uint8_t> record(kPageNumberSize + page_size);
  off_t offset = static_cast<off_t>(kHeaderSize);
  for (std::uint32_t i = 0; i < header.page_count; ++i, offset += static_cast<off_t>(record.size())) {
    const int read = ReadFully(io, fd, record.data(), record.size(), offset);
    if (read == kEndOfFile) return failure(E_FILE_CORRUPT, "the journal was cut short while in use");
    if (read != 0) return failure(E_READ_FAULT, std::strerror(read));
    const std::uint32_t page = ReadU32(record.data());
    const int wrote = WriteFully(io, file.Descriptor(), record.data() + kPageNumberSize, page_size,
                                 PageOffset(page, file.PageSize()));
    if (wrote != 0) return write_failure(wrote);
  }
  if (const HRESULT refreshed = file.Refresh(); Failed(refreshed)) {
    return failure(refreshed, "cannot read the size of the file");
  }
  if (file.Size() != header.file_size && io.FTruncate(file.Descriptor(), static_cast<off_t>(header.file_size)) != 0) {
    return write_failure(errno);
  }
  if (io.FSync(file.Descriptor()) != 0) return write_failure(errno);
  if (const HRESULT refreshed = file.Refresh(); Failed(refreshed)) {
    return failure(refreshed, "cannot read the size of the file");
  }
  return {};
}

}  // namespace

std::string JournalPath(const std::string& path) { return path + "-journal"; }

HRESULT CommitPatches(JetFile& file, const std::vector<BytePatch>& patches, bool durable, CommitIo& io) {
  if (patches.empty()) return S_OK;
  if (!file.Writable()) {
    return ReportError(E_ACCESSDENIED, "cannot write to " + file.Path() + ": the file is write-protected");
  }
  if (Outcome checked = CheckPatches(file, patches); checked.Failed()) return Report(std::move(checked));
  CommitPlan plan;
  if (Outcome planned = PlanChanges(file, patches, io, &plan); planned.Failed()) {
    return Report(std::move(planned));
  }
  if (plan.changes.empty()) return S_OK;

  const std::string journal = JournalPath(file.Path());
  if (Outcome journalled = WriteJournal(file, journal, plan, io); journalled.Failed()) {
    return Report(std::move(journalled));
  }
  Outcome outcome = WriteChanges(file, &plan, io);
  if (!outcome.Failed()) outcome = VerifyChanges(file, plan, io);
  if (!outcome.Failed() && io.Unlink(journal.c_str()) != 0) {
    outcome = WriteFailure(errno, "cannot remove the journal ", journal);
  }
  if (outcome.Failed()) return Report(RestoreAfter(std::move(outcome), file, journal, plan, io));

  // The commit point is behind: the journal is gone and the changes stand.
  if (durable && io.SyncFolderOf(journal.c_str()) != 0) {
    const int error_number = errno;
    return ReportError(WriteResultFromErrno(error_number),
                       "the changes are in " + file.Path() + ", but the removal of its journal may not be on disk (" +
                           std::strerror(error_number) + "); a crash now could undo them");
  }
  return S_OK;
}

HRESULT RecoverJournal(JetFile& file, CommitIo& io) {
  const std::string journal = JournalPath(file.Path());
  IoFd in(io, io.Open(journal.c_str(), kJournalReadFlags, 0));
  if (!in.Valid()) {
    const int error_number = errno;
    if (error_number == ENOENT) return S_OK;
    return ReportError(ResultFromErrno(error_number),
                       "cannot open the journal " + journal + ": " + std::strerror(error_number));
  }
  struct stat status {};
  if (::fstat(in.Get(), &status) != 0) {
    const int error_number = errno;
    return ReportError(E_READ_FAULT, "cannot read the journal " + journal + ": " + std::strerror(error_number));
  }
  if (!S_ISREG(status.st_mode)) {
    return ReportError(E_FILE_CORRUPT, "the journal " + journal + " of " + file.Path() + " is not a file");
  }

  bool complete = false;
  JournalHeader header;
  Outcome checked =
      CheckJournal(file, journal, in.Get(), static_cast<std::uint64_t>(status.st_size), io, &complete, &header);
  if (checked.Failed()) return Report(std::move(checked));
  if (complete) {
    if (!file.Writable()) {
      return ReportError(E_ACCESSDENIED, file.Path() + " is write-protected, but the journal " + journal +
                                             " of an unfinished commit must be played back into it first");
    }
    if (Outcome played = PlayBack(file, journal, in.Get(), header, io); played.Failed()) {
      return Report(std::move(played));
    }
  }
  in.Close();
  if (io.Unlink(journal.c_str()) != 0) {
    const int error_number = errno;
    return ReportError(WriteResultFromErrno(error_number),
                       "cannot remove the journal " + journal + ": " + std::strerror(error_number));
  }
  // No check: should the removal not reach the disk, the journal comes back
  // and is played back or removed again to the same effect; the next
  // commit's folder sync, before it writes the file, settles it for good.
  io.SyncFolderOf(journal.c_str());
  return S_OK;
}

}  // namespace platform::provider::jet
