// Recognising a repository file by its content, never by its name.
//
// SQLite files open with "SQLite format 3" and a NUL. Jet files carry
// "Standard Jet DB" and a NUL at byte 4 and their version at byte 20: 0 for
// Jet 3, 1 for Jet 4; a higher version, or the "Standard ACE DB" signature,
// is an ACE (Access 2007 and later) file. Anything else, an empty file
// included, is of no format the tool opens.
#pragma once

#include <string>

#include "com/hresult.h"

namespace platform::provider {

enum class FileFormat {
  kSqlite,
  kJet3,
  kJet4,
  kAce,
  kUnknown,
};

// Reads the first bytes of the file at `path`. Fails with the operating
// system's cause when the file cannot be read (missing, a folder, no access).
HRESULT ProbeFileFormat(const std::string& path, FileFormat* format);

// The result code for an errno value met while opening or reading a file.
HRESULT ResultFromErrno(int error_number);

}  // namespace platform::provider
