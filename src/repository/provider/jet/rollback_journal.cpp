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
#include <limits>
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

// One page a commit changes: what it holds now and what it will hold.
struct PageChange {
  std::uint32_t page = 0;
  std::vector<std::uint8_t> original;
  std::vector<std::uint8_t> patched;
};

Outcome CheckPatches(const JetFile& file, const std::vector<BytePatch>& patches) {
  for (const BytePatch& patch : patches) {
    if (patch.page >= file.PageCount() || patch.offset >= file.PageSize()) {
      return Fail(E_INVALIDARG, "a change to " + file.Path() + " lies outside the file (page " +
                                    std::to_string(patch.page) + ", offset " + std::to_string(patch.offset) + ")");
    }
  }
  return {};
}

// Reads each page the patches touch and applies them to a copy; pages the
// patches leave as they are drop out. Patches to the same byte apply in the
// order given.
Outcome PlanChanges(const JetFile& file, const std::vector<BytePatch>& patches, CommitIo& io,
                    std::vector<PageChange>* changes) {
  std::vector<BytePatch> by_page = patches;
  std::stable_sort(by_page.begin(), by_page.end(),
                   [](const BytePatch& a, const BytePatch& b) { return a.page < b.page; });
  const std::size_t page_size = file.PageSize();
  for (auto first = by_page.begin(); first != by_page.end();) {
    const std::uint32_t page = first->page;
    const auto last = std::find_if(first, by_page.end(), [page](const BytePatch& p) { return p.page != page; });
    PageChange change;
    change.page = page;
    change.original.resize(page_size);
    const int read =
        ReadFully(io, file.Descriptor(), change.original.data(), page_size, PageOffset(page, file.PageSize()));
    if (read == kEndOfFile) {
      return Fail(E_FILE_CORRUPT, file.Path() + " ends inside page " + std::to_string(page));
    }
    if (read != 0) {
      return Fail(E_READ_FAULT,
                  "cannot read page " + std::to_string(page) + " of " + file.Path() + ": " + std::strerror(read));
    }
    change.patched = change.original;
    for (auto patch = first; patch != last; ++patch) {
      std::uint8_t& byte = change.patched[patch->offset];
      byte = static_cast<std::uint8_t>((byte & ~patch->mask) | (patch->value & patch->mask));
    }
    if (change.patched != change.original) changes->push_back(std::move(change));
    first = last;
  }
  return {};
}

std::vector<std::uint8_t> JournalBytes(const JetFile& file, const std::vector<PageChange>& changes) {
  std::vector<std::uint8_t> bytes(kMagic.begin(), kMagic.end());
  PutU32(&bytes, kFormatVersion);
  PutU32(&bytes, file.PageSize());
  PutU64(&bytes, file.Size());
  PutU32(&bytes, static_cast<std::uint32_t>(changes.size()));
  PutU32(&bytes, 0);
  for (const PageChange& change : changes) {
    PutU32(&bytes, change.page);
    bytes.insert(bytes.end(), change.original.begin(), change.original.end());
  }
  Fnv1a checksum;
  checksum.Add(bytes.data(), bytes.size());
  PutU64(&bytes, checksum.Value());
  return bytes;
}

// Creates the journal and brings it, and its name in the folder, to disk.
// On failure a journal this call created is removed again (as far as that
// goes); one that was there before is left alone.
Outcome WriteJournal(const JetFile& file, const std::string& journal, const std::vector<PageChange>& changes,
                     CommitIo& io) {
  IoFd out(io, io.Open(journal.c_str(), kJournalCreateFlags, kJournalMode));
  if (!out.Valid()) {
    const int error_number = errno;
    if (error_number == EEXIST) {
      return Fail(E_LOCK_VIOLATION, "cannot commit to " + file.Path() + ": the journal " + journal +
                                        " is there already, left by a commit that was not played back");
    }
    return WriteFailure(error_number, "cannot create the journal ", journal);
  }
  const std::vector<std::uint8_t> bytes = JournalBytes(file, changes);
  Outcome outcome;
  if (const int wrote = WriteFully(io, out.Get(), bytes.data(), bytes.size(), 0); wrote != 0) {
    outcome = WriteFailure(wrote, "cannot write the journal ", journal);
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
// syncs the file.
Outcome WriteChanges(const JetFile& file, const std::vector<PageChange>& changes, CommitIo& io) {
  for (const PageChange& change : changes) {
    const off_t page_offset = PageOffset(change.page, file.PageSize());
    std::size_t begin = 0;
    while (begin < change.patched.size()) {
      if (change.patched[begin] == change.original[begin]) {
        ++begin;
        continue;
      }
      std::size_t end = begin + 1;
      while (end < change.patched.size() && change.patched[end] != change.original[end]) ++end;
      const int wrote = WriteFully(io, file.Descriptor(), change.patched.data() + begin, end - begin,
                                   page_offset + static_cast<off_t>(begin));
      if (wrote != 0) return WriteFailure(wrote, "cannot write to ", file.Path());
      begin = end;
    }
  }
  if (io.FSync(file.Descriptor()) != 0) return WriteFailure(errno, "cannot sync ", file.Path());
  return {};
}

// Reads the changed pages back: a file system that accepted the writes but
// keeps something else is caught while the journal can still undo it.
Outcome VerifyChanges(const JetFile& file, const std::vector<PageChange>& changes, CommitIo& io) {
  std::vector<std::uint8_t> page(file.PageSize());
  for (const PageChange& change : changes) {
    const int read =
        ReadFully(io, file.Descriptor(), page.data(), page.size(), PageOffset(change.page, file.PageSize()));
    if (read == kEndOfFile) {
      return Fail(E_FILE_CORRUPT,
                  file.Path() + " ends inside page " + std::to_string(change.page) + " after it was written");
    }
    if (read != 0) {
      return Fail(E_READ_FAULT, "cannot read back page " + std::to_string(change.page) + " of " + file.Path() + ": " +
                                    std::strerror(read));
    }
    if (page != change.patched) {
      return Fail(E_WRITE_FAULT,
                  file.Path() + " did not read back as written (page " + std::to_string(change.page) + ")");
    }
  }
  return {};
}

// After a failure with a complete journal: writes the journalled pages back
// whole, syncs, and removes the journal. `failure` is what went wrong first;
// it is what the caller hears, with a word on the journal when the restore
// fails too.
Outcome RestoreAfter(Outcome failure, const JetFile& file, const std::string& journal,
                     const std::vector<PageChange>& changes, CommitIo& io) {
  int error_number = 0;
  for (const PageChange& change : changes) {
    error_number = WriteFully(io, file.Descriptor(), change.original.data(), change.original.size(),
                              PageOffset(change.page, file.PageSize()));
    if (error_number != 0) break;
  }
  if (error_number == 0 && io.FSync(file.Descriptor()) != 0) error_number = errno;
  if (error_number != 0) {
    failure.description += "; restoring the pages failed too (" + std::string(std::strerror(error_number)) +
                           "), so the journal " + journal + " is kept and will be played back at the next open";
    return failure;
  }
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
  std::vector<PageChange> changes;
  if (Outcome planned = PlanChanges(file, patches, io, &changes); planned.Failed()) {
    return Report(std::move(planned));
  }
  if (changes.empty()) return S_OK;

  const std::string journal = JournalPath(file.Path());
  if (Outcome journalled = WriteJournal(file, journal, changes, io); journalled.Failed()) {
    return Report(std::move(journalled));
  }
  Outcome outcome = WriteChanges(file, changes, io);
  if (!outcome.Failed()) outcome = VerifyChanges(file, changes, io);
  if (!outcome.Failed() && io.Unlink(journal.c_str()) != 0) {
    outcome = WriteFailure(errno, "cannot remove the journal ", journal);
  }
  if (outcome.Failed()) return Report(RestoreAfter(std::move(outcome), file, journal, changes, io));

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
