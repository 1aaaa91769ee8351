// From SQLite result codes to the platform's result codes.
#include <sqlite3.h>

#include <string>
#include <string_view>

#include "com/error_info.h"
#include "provider/sqlite_database.h"

namespace platform::provider {
namespace {

HRESULT ResultForError(int code, std::string_view message) {
  switch (code & 0xFF) {
    case SQLITE_NOMEM:
      return E_OUTOFMEMORY;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return E_LOCK_VIOLATION;
    case SQLITE_READONLY:
      return DB_SEC_E_PERMISSIONDENIED;
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_CANTOPEN:
      return E_ACCESSDENIED;
    case SQLITE_IOERR:
      if (code == SQLITE_IOERR_NOMEM) return E_OUTOFMEMORY;
      if (code == SQLITE_IOERR_READ || code == SQLITE_IOERR_SHORT_READ) return E_READ_FAULT;
      return E_WRITE_FAULT;
    case SQLITE_CORRUPT:
      return E_FILE_CORRUPT;
    case SQLITE_NOTADB:
      return E_BAD_FORMAT;
    case SQLITE_FULL:
      return E_DISK_FULL;
    case SQLITE_TOOBIG:
      return E_STATEMENT_TOO_LONG;
    case SQLITE_CONSTRAINT:
      return DB_E_INTEGRITYVIOLATION;
    case SQLITE_MISMATCH:
      return DB_E_CANTCONVERTVALUE;
    case SQLITE_RANGE:
      return DB_E_PARAMNOTOPTIONAL;
    case SQLITE_INTERRUPT:
    case SQLITE_ABORT:
      return E_ABORT;
    case SQLITE_ERROR:
      // The engine tells these causes apart only by its message.
      if (message.rfind("no such table", 0) == 0) return DB_E_NOTABLE;
      if (message.rfind("no such column", 0) == 0) return DB_E_BADCOLUMNID;
      return DB_E_ERRORSINCOMMAND;
    default:
      return E_FAIL;
  }
}

}  // namespace

HRESULT ResultFromSqlite(sqlite3* handle, int code) {
  const std::string message = handle != nullptr ? sqlite3_errmsg(handle) : sqlite3_errstr(code);
  return ReportError(ResultForError(code, message), "SQLite: " + message);
}

}  // namespace platform::provider
