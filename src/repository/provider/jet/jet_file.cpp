#include "provider/jet/jet_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "com/error_info.h"
#include "provider/file_format.h"

namespace platform::provider::jet {
namespace {

constexpr std::string_view kSignature{"Standard Jet DB\0", 16};
constexpr std::size_t kSignatureOffset = 4;
constexpr std::size_t kVersionOffset = 20;
constexpr std::uint8_t kJet3VersionByte = 0;
constexpr std::uint8_t kJet4VersionByte = 1;
constexpr std::uint8_t kHeaderPageType = 0x00;
constexpr std::uint32_t kMinimumPages = 3;  // header, global usage map, catalog definition

// The masked block of the header: RC4 with a fixed key, from byte 0x18.
constexpr std::size_t kMaskedOffset = 0x18;
constexpr std::size_t kJet3MaskedLength = 126;
constexpr std::size_t kJet4MaskedLength = 128;
constexpr std::array<std::uint8_t, 4> kMaskKey = {0xC7, 0xDA, 0x39, 0x6B};
constexpr std::size_t kCodePageOffset = 0x3C;
constexpr std::size_t kDatabaseKeyOffset = 0x3E;

void Rc4(const std::array<std::uint8_t, 4>& key, std::uint8_t* data, std::size_t length) {
  std::array<std::uint8_t, 256> state{};
  for (std::size_t i = 0; i < state.size(); ++i) state[i] = static_cast<std::uint8_t>(i);
  std::size_t j = 0;
  for (std::size_t i = 0; i < state.size(); ++i) {
    j = (j + state[i] + key[i % key.size()]) & 0xFF;
    std::swap(state[i], state[j]);
  }
  std::size_t a = 0;
  std::size_t b = 0;
  for (std::size_t n = 0; n < length; ++n) {
    a = (a + 1) & 0xFF;
    b = (b + state[a]) & 0xFF;
    std::swap(state[a], state[b]);
    data[n] ^= state[(state[a] + state[b]) & 0xFF];
  }
}

}  // namespace

HRESULT JetFile::Open(const std::string& path, std::unique_ptr<JetFile>* file) {
  bool writable = true;
  int descriptor = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
  if (descriptor < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
    writable = false;
    descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  }
  if (descriptor < 0) {
    const int error_number = errno;
    return ReportError(ResultFromErrno(error_number),
                       "cannot open " + path + ": " + std::strerror(error_number));
  }
  std::unique_ptr<JetFile> opened(new JetFile(path, UniqueFd(descriptor), writable));
  const HRESULT header = opened->ReadHeader();
  if (Failed(header)) return header;
  *file = std::move(opened);
  return S_OK;
}

HRESULT JetFile::Refresh() {
  struct stat status {};
  if (::fstat(fd_.Get(), &status) != 0) {
    const int error_number = errno;
    return ReportError(ResultFromErrno(error_number), std::strerror(error_number));
  }
  if (!S_ISREG(status.st_mode)) return ReportError(E_BAD_FORMAT, path_ + " is not a regular file");
  size_ = static_cast<std::uint64_t>(status.st_size);
  const std::uint64_t pages = size_ / page_size_;
  page_count_ = pages > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(pages);
  return S_OK;
}

HRESULT JetFile::ReadHeader() {
  std::array<std::uint8_t, kJet3PageSize> head{};
  const ssize_t got = ::pread(fd_.Get(), head.data(), head.size(), 0);
  if (got < 0) {
    const int error_number = errno;
    return ReportError(ResultFromErrno(error_number),
                       "cannot read " + path_ + ": " + std::strerror(error_number));
  }
  const auto length = static_cast<std::size_t>(got);
  if (length <= kVersionOffset || head[0] != kHeaderPageType ||
      std::memcmp(head.data() + kSignatureOffset, kSignature.data(), kSignature.size()) != 0) {
    return ReportError(E_BAD_FORMAT, path_ + " is not a Jet database");
  }
  std::size_t masked_length = 0;
  switch (head[kVersionOffset]) {
    case kJet3VersionByte:
      version_ = JetVersion::kJet3;
      page_size_ = kJet3PageSize;
      masked_length = kJet3MaskedLength;
      break;
    case kJet4VersionByte:
      version_ = JetVersion::kJet4;
      page_size_ = kJet4PageSize;
      masked_length = kJet4MaskedLength;
      break;
    default:
      return ReportError(E_BAD_FORMAT, path_ + " is a database version this provider does not read");
  }
  const HRESULT sized = Refresh();
  if (Failed(sized)) return sized;
  if (page_count_ < kMinimumPages || length < kMaskedOffset + masked_length) {
    return ReportError(E_FILE_CORRUPT, path_ + " is cut short: it lacks the pages every database has");
  }
  std::uint8_t* masked = head.data() + kMaskedOffset;
  Rc4(kMaskKey, masked, masked_length);
  code_page_ = ReadU16(head.data() + kCodePageOffset);
  if (ReadU32(head.data() + kDatabaseKeyOffset) != 0) {
    return ReportError(E_BAD_FORMAT, path_ + " is encrypted; the provider reads unencrypted files only");
  }
  return S_OK;
}

HRESULT JetFile::ReadPage(std::uint32_t page, std::uint8_t* buffer) const {
  if (page >= page_count_) {
    return ReportError(E_FILE_CORRUPT, path_ + " is damaged: page " + std::to_string(page) +
                                           " lies past the end of the file");
  }
  const auto offset = static_cast<off_t>(static_cast<std::uint64_t>(page) * page_size_);
  std::size_t done = 0;
  while (done < page_size_) {
    const ssize_t got = ::pread(fd_.Get(), buffer + done, page_size_ - done,
                                offset + static_cast<off_t>(done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error_number = errno;
      return ReportError(E_READ_FAULT, "cannot read " + path_ + ": " + std::strerror(error_number));
    }
    if (got == 0) {
      return ReportError(E_FILE_CORRUPT, path_ + " is damaged: page " + std::to_string(page) +
                                             " ends past the end of the file");
    }
    done += static_cast<std::size_t>(got);
  }
  return S_OK;
}

}  // namespace platform::provider::jet
