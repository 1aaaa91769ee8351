#include "provider/file_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "com/error_info.h"
#include "provider/unique_fd.h"

namespace platform::provider {
namespace {

constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
constexpr std::string_view kJetSignature{"Standard Jet DB\0", 16};
constexpr std::string_view kAceSignature{"Standard ACE DB\0", 16};
constexpr std::size_t kJetSignatureOffset = 4;
constexpr std::size_t kJetVersionOffset = 20;
constexpr unsigned char kJet3Version = 0;
constexpr unsigned char kJet4Version = 1;
constexpr std::size_t kProbeLength = 32;


FileFormat FormatOf(std::string_view head) {
  if (head.substr(0, kSqliteMagic.size()) == kSqliteMagic) return FileFormat::kSqlite;
  if (head.size() > kJetVersionOffset) {
    const std::string_view signature = head.substr(kJetSignatureOffset, kJetSignature.size());
    if (signature == kAceSignature) return FileFormat::kAce;
    if (signature == kJetSignature) {
      const auto version = static_cast<unsigned char>(head[kJetVersionOffset]);
      if (version == kJet3Version) return FileFormat::kJet3;
      if (version == kJet4Version) return FileFormat::kJet4;
      return FileFormat::kAce;
    }
  }
  return FileFormat::kUnknown;
}

// Whether the folder `path` names its file in exists, so that a missing
// folder and a missing file in an existing folder get their own causes.
bool FolderExists(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return true;
  const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
  struct stat status {};
  return ::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

HRESULT ResultFromErrno(int error_number) {
  switch (error_number) {
    case ENOENT:
      return E_FILE_NOT_FOUND;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return E_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
      return E_ACCESSDENIED;
    case EISDIR:
      return E_DIRECTORY;
    case ENOMEM:
      return E_OUTOFMEMORY;
    case ENOSPC:
    case EDQUOT:
      return E_DISK_FULL;
    case EAGAIN:  // also EWOULDBLOCK
      return E_LOCK_VIOLATION;
    default:
      return E_READ_FAULT;
  }
}

HRESULT ProbeFileFormat(const std::string& path, FileFormat* format) {
  UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.Get() < 0) {
    const int error_number = errno;
    HRESULT result = ResultFromErrno(error_number);
    if (error_number == ENOENT && !FolderExists(path)) result = E_PATH_NOT_FOUND;
    return ReportError(result, "cannot open " + path + ": " + std::strerror(error_number));
  }
  struct stat status {};
  if (::fstat(file.Get(), &status) != 0) {
    const int error_number = errno;
    return ReportError(ResultFromErrno(error_number), std::strerror(error_number));
  }
  if (S_ISDIR(status.st_mode)) return ReportError(E_DIRECTORY, path + " is a folder");
  if (!S_ISREG(status.st_mode)) {
    // A pipe or a device has no content to recognise and could block a read.
    *format = FileFormat::kUnknown;
    return S_OK;
  }
  char head[kProbeLength];
  std::size_t length = 0;
  while (length < sizeof head) {
    const ssize_t count = ::read(file.Get(), head + length, sizeof head - length);
    if (count < 0) {
      if (errno == EINTR) continue;
      const int error_number = errno;
      return ReportError(ResultFromErrno(error_number), std::strerror(error_number));
    }
    if (count == 0) break;
    length += static_cast<std::size_t>(count);
  }
  *format = FormatOf(std::string_view(head, length));
  return S_OK;
}

}  // namespace platform::provider
