// JetFile: the pages of a Jet 3 or Jet 4 database file, read by number.
//
// Open reads and checks the header page before anything else trusts the
// file: the signature, a version of 0 (Jet 3, 2 KB pages) or 1 (Jet 4, 4 KB
// pages), no database key (an encrypted file has every page scrambled) and
// at least the three pages every database has. The masked block of the
// header is unmasked once here; the code page comes from it.
//
// Invariants: the descriptor stays open for the object's life; PageCount()
// counts whole pages only, so a page at or past it lies outside the file
// (a torn last page included) and ReadPage refuses it as damage.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "com/hresult.h"
#include "provider/unique_fd.h"

namespace platform::provider::jet {

enum class JetVersion { kJet3, kJet4 };

inline constexpr std::uint32_t kJet3PageSize = 2048;
inline constexpr std::uint32_t kJet4PageSize = 4096;

class JetFile {
 public:
  // Opens `path` for reading and writing, or for reading only when the file
  // is write-protected. Fails with the operating system's cause, or with
  // E_BAD_FORMAT / E_FILE_CORRUPT when the header is not that of a Jet 3 or
  // Jet 4 database this provider can read.
  static HRESULT Open(const std::string& path, std::unique_ptr<JetFile>* file);

  JetFile(const JetFile&) = delete;
  JetFile& operator=(const JetFile&) = delete;

  JetVersion Version() const { return version_; }
  std::uint32_t PageSize() const { return page_size_; }
  std::uint32_t PageCount() const { return page_count_; }
  std::uint64_t Size() const { return size_; }
  std::uint16_t CodePage() const { return code_page_; }
  bool Writable() const { return writable_; }
  int Descriptor() const { return fd_.Get(); }
  const std::string& Path() const { return path_; }

  // Reads page `page` (PageSize() bytes) into `buffer`. A page outside the
  // file is damage (E_FILE_CORRUPT); a failed read is a read fault.
  HRESULT ReadPage(std::uint32_t page, std::uint8_t* buffer) const;

  // Reads the size of the file again, after a journal was played back.
  HRESULT Refresh();

 private:
  JetFile(std::string path, UniqueFd fd, bool writable)
      : path_(std::move(path)), fd_(std::move(fd)), writable_(writable) {}
  HRESULT ReadHeader();

  std::string path_;
  UniqueFd fd_;
  bool writable_;
  JetVersion version_ = JetVersion::kJet4;
  std::uint32_t page_size_ = kJet4PageSize;
  std::uint32_t page_count_ = 0;
  std::uint64_t size_ = 0;
  std::uint16_t code_page_ = 0;
};

// Little-endian fields of a page, read without alignment assumptions.
inline std::uint16_t ReadU16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}
inline std::uint32_t ReadU24(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16);
}
inline std::uint32_t ReadU32(const std::uint8_t* bytes) {
  return ReadU24(bytes) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

}  // namespace platform::provider::jet
