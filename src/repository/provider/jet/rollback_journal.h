// In-place commits to a Jet file, all or nothing, through a rollback journal.
//
// A commit changes single bytes (or single bits) of data pages. Before the
// first of them is written, the pages they lie on are copied, whole and as
// they are, into a journal beside the file (JournalPath) that is synced to
// disk with its folder. Only then are the changes written and synced, and the
// journal removed; in the durable mode the folder is synced once more so
// that the removal is on disk before the commit returns.
//
// Invariants:
// - While a journal that is complete (its checksum holds) lies beside the
//   file, the pages it holds are the state before a commit that may be half
//   done: RecoverJournal writes them back, syncs, and removes the journal.
// - A journal that is not complete was never followed by a write to the
//   file: it is removed and the file is left as it is.
// - A commit that fails part way restores the journalled pages before it
//   returns; when even that fails, the journal stays for the next open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "com/hresult.h"
#include "provider/jet/commit_io.h"
#include "provider/jet/jet_file.h"

namespace platform::provider::jet {

// One byte's change: the bits set in `mask` take their value from `value`,
// the other bits stay as they are.
struct BytePatch {
  std::uint32_t page = 0;
  std::uint16_t offset = 0;  // in the page
  std::uint8_t mask = 0xFF;
  std::uint8_t value = 0;
};

std::string JournalPath(const std::string& path);

// Writes `patches` into the file all or nothing. `durable`: the journal's
// removal is on disk too before it returns.
HRESULT CommitPatches(JetFile& file, const std::vector<BytePatch>& patches, bool durable,
                      CommitIo& io = SystemCommitIo());

// Plays back, or removes, a journal left beside the file by a commit that
// did not finish. Does nothing when there is none. Fails when a complete
// journal cannot be played back (the file is write-protected, say), since
// the file must not be read before.
HRESULT RecoverJournal(JetFile& file, CommitIo& io = SystemCommitIo());

}  // namespace platform::provider::jet
