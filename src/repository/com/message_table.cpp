// The message table: one plain sentence per result code this platform layer
// produces. The texts are written for the person running the tool, who sees
// them as the tool's error lines; they say what went wrong, not which call.
#include "com/message_table.h"

#include <cstddef>

namespace platform {
namespace {

struct MessageEntry {
  HRESULT code;
  const char* text;
};

// Codes 0x80040200, 0x80040201 and 0x8004FFFF are deliberately absent: they
// show the generic texts a code without a message gets.
constexpr MessageEntry kMessages[] = {
    {E_NOTIMPL, "The operation is not implemented.\r\n"},
    {E_NOINTERFACE, "The object does not support the requested interface.\r\n"},
    {E_POINTER, "A data-access object that the operation needs is missing.\r\n"},
    {E_ABORT, "The operation was aborted.\r\n"},
    {E_FAIL, "The operation failed.\r\n"},
    {E_UNEXPECTED, "An unexpected failure occurred.\r\n"},
    {CLASS_E_NOAGGREGATION, "The data-access class cannot be created as part of another object.\r\n"},
    {REGDB_E_CLASSNOTREG, "The data-access class is not registered.\r\n"},
    {CO_E_NOTINITIALIZED, "The data-access platform has not been initialised.\r\n"},
    {E_FILE_NOT_FOUND, "The repository file cannot be found.\r\n"},
    {E_PATH_NOT_FOUND, "The folder of the repository file cannot be found.\r\n"},
    {E_ACCESSDENIED, "Access to the repository file is denied.\r\n"},
    {E_BAD_FORMAT, "The file is not a repository database in a format this tool can open.\r\n"},
    {E_OUTOFMEMORY, "There is not enough memory to complete the operation.\r\n"},
    {E_WRITE_FAULT, "The repository file could not be written (input/output error).\r\n"},
    {E_READ_FAULT, "The repository file could not be read (input/output error).\r\n"},
    {E_LOCK_VIOLATION, "The repository is locked by another process; try again when it has finished.\r\n"},
    {E_INVALIDARG, "An argument passed to the data-access platform is not valid.\r\n"},
    {E_DISK_FULL, "There is not enough space on the disk to write the repository.\r\n"},
    {E_DIRECTORY, "The path names a folder, not a repository file.\r\n"},
    {E_FILE_CORRUPT, "The repository file is damaged and cannot be read.\r\n"},
    {DISP_E_PARAMNOTFOUND, "A required argument was not given.\r\n"},
    {DISP_E_TYPEMISMATCH, "A value in the repository has the wrong type (it is empty or not a number where a number is needed).\r\n"},
    {DISP_E_BADVARTYPE, "A value has a type the data-access platform does not know.\r\n"},
    {DISP_E_OVERFLOW, "A value in the repository is out of the range of a 32-bit integer.\r\n"},
    {DB_E_NOCOMMAND, "No statement was given to run.\r\n"},
    {DB_E_PARAMNOTOPTIONAL, "The statement's parameters and the values given for them do not match.\r\n"},
    {DB_E_BADCOLUMNID, "The statement names a column that the repository's tables do not have.\r\n"},
    {DB_E_ERRORSINCOMMAND, "The statement contains an error and cannot be run.\r\n"},
    {DB_E_CANTCONVERTVALUE, "A value cannot be converted to the type the database needs.\r\n"},
    {DB_SEC_E_PERMISSIONDENIED, "The repository is read-only; the change cannot be written.\r\n"},
    {DB_E_ERRORSOCCURRED, "The provider refused a property value.\r\n"},
    {DB_E_INTEGRITYVIOLATION, "The change breaks a rule of the repository database (a constraint or trigger refused it).\r\n"},
    {DB_E_NOTABLE, "The repository lacks a table that the statement reads.\r\n"},
    {DB_SEC_E_AUTH_FAILED, "The database server refused the user name or password.\r\n"},
    {XACT_E_COMMITFAILED, "The transaction could not be committed; none of its changes were written.\r\n"},
    {XACT_E_NOTRANSACTION, "No transaction is in progress.\r\n"},
    {XACT_E_XTIONEXISTS, "A transaction is already in progress on this connection.\r\n"},
    {XACT_E_ABORTED, "A statement of the transaction failed; nothing more runs in it until it is rolled back.\r\n"},
    {adErrInvalidArgument, "An argument is of the wrong type, out of range, or in conflict with another.\r\n"},
    {adErrNoCurrentRecord, "There is no current row.\r\n"},
    {adErrItemNotFound, "No item of that name is in the collection (a column the result lacks, or a property the provider does not know).\r\n"},
    {adErrObjectClosed, "The operation is not allowed while the object is closed.\r\n"},
    {adErrObjectOpen, "The operation is not allowed while the object is open.\r\n"},
    {adErrProviderNotFound, "The data provider named in the connection text cannot be found.\r\n"},
    {adErrInvalidConnection, "The connection is closed or cannot be used for this operation.\r\n"},
    {E_STATEMENT_TOO_LONG, "The statement is longer than the database engine can take.\r\n"},
    {E_MULTIPLE_STATEMENTS, "The command text holds more than one statement.\r\n"},
    {E_CHANGE_NOT_SUPPORTED, "The provider cannot make this change to a Jet file in place; the file is unchanged.\r\n"},
    {E_CONNECTION_TEXT, "The connection text is not of the form Provider=...;Data Source=...\r\n"},
    {E_SERVER_UNREACHABLE, "The database server cannot be reached.\r\n"},
    {E_DATABASE_NOT_FOUND, "The database named in the connection does not exist on the server.\r\n"},
    {E_CONNECTION_LOST, "The connection to the database server was lost; the server keeps nothing of a transaction that was not committed.\r\n"},
    {E_SERVER_ADDRESS, "The database server address is not a valid postgresql:// address.\r\n"},
    {E_CLIENT_LIBRARY, "The PostgreSQL client library (libpq5) is not installed, so no server repository can be opened.\r\n"},
    {E_PRIVILEGE_DENIED, "The database server does not allow this user to read or change the repository's tables.\r\n"},
};

}  // namespace

bool FormatMessage(HRESULT code, std::uint32_t /*language*/, std::string* text) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.code == code) {
      *text = entry.text;
      return true;
    }
  }
  return false;
}

}  // namespace platform
