// Result codes of the data-access platform.
//
// Every platform call answers with a 32-bit HRESULT: negative means failure.
// The codes below are the ones this platform layer can produce. Where the
// platform it stands in for has a code for a cause, that code is used, so a
// result means here what it means there. Causes the platform has no code for
// use the customer range (bit 29 set), which no system code ever occupies.
//
// Every failing code listed here has a text in the message table
// (message_table.cpp) except the ones deliberately left without one, so that
// the fallback texts of ComError::ErrorMessage() are reachable.
#pragma once

#include <cstdint>

namespace platform {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;

constexpr bool Failed(HRESULT result) { return result < 0; }
constexpr bool Succeeded(HRESULT result) { return result >= 0; }

// Spells a code the way documentation prints it (0x8007000E) without
// tripping over the narrowing from unsigned to signed.
constexpr HRESULT MakeResult(std::uint32_t bits) {
  return static_cast<HRESULT>(bits);
}

// Success.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

// Generic COM failures.
inline constexpr HRESULT E_NOTIMPL = MakeResult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeResult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeResult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeResult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeResult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeResult(0x8000FFFF);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeResult(0x80040110);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeResult(0x80040154);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeResult(0x800401F0);

// Operating-system failures, as HRESULT_FROM_WIN32 spells them.
inline constexpr HRESULT E_FILE_NOT_FOUND = MakeResult(0x80070002);
inline constexpr HRESULT E_PATH_NOT_FOUND = MakeResult(0x80070003);
inline constexpr HRESULT E_ACCESSDENIED = MakeResult(0x80070005);
inline constexpr HRESULT E_BAD_FORMAT = MakeResult(0x8007000B);
inline constexpr HRESULT E_OUTOFMEMORY = MakeResult(0x8007000E);
inline constexpr HRESULT E_WRITE_FAULT = MakeResult(0x8007001D);
inline constexpr HRESULT E_READ_FAULT = MakeResult(0x8007001E);
inline constexpr HRESULT E_LOCK_VIOLATION = MakeResult(0x80070021);
inline constexpr HRESULT E_INVALIDARG = MakeResult(0x80070057);
inline constexpr HRESULT E_DISK_FULL = MakeResult(0x80070070);
inline constexpr HRESULT E_DIRECTORY = MakeResult(0x8007010B);
inline constexpr HRESULT E_FILE_CORRUPT = MakeResult(0x80070570);

// OLE Automation.
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeResult(0x80020004);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeResult(0x80020005);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeResult(0x80020008);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeResult(0x8002000A);

// OLE DB providers.
inline constexpr HRESULT DB_E_NOCOMMAND = MakeResult(0x80040E0C);
inline constexpr HRESULT DB_E_PARAMNOTOPTIONAL = MakeResult(0x80040E10);
inline constexpr HRESULT DB_E_BADCOLUMNID = MakeResult(0x80040E11);
inline constexpr HRESULT DB_E_ERRORSINCOMMAND = MakeResult(0x80040E14);
inline constexpr HRESULT DB_E_CANTCONVERTVALUE = MakeResult(0x80040E07);
inline constexpr HRESULT DB_SEC_E_PERMISSIONDENIED = MakeResult(0x80040E09);
inline constexpr HRESULT DB_E_ERRORSOCCURRED = MakeResult(0x80040E21);
inline constexpr HRESULT DB_E_INTEGRITYVIOLATION = MakeResult(0x80040E2F);
inline constexpr HRESULT DB_E_NOTABLE = MakeResult(0x80040E37);
inline constexpr HRESULT DB_SEC_E_AUTH_FAILED = MakeResult(0x80040E4D);
inline constexpr HRESULT XACT_E_COMMITFAILED = MakeResult(0x8004D002);
inline constexpr HRESULT XACT_E_NOTRANSACTION = MakeResult(0x8004D00E);
inline constexpr HRESULT XACT_E_XTIONEXISTS = MakeResult(0x8004D013);
inline constexpr HRESULT XACT_E_ABORTED = MakeResult(0x8004D019);

// ADO (facility 0xA, the ADO error numbers in the low word).
inline constexpr HRESULT adErrInvalidArgument = MakeResult(0x800A0BB9);
inline constexpr HRESULT adErrNoCurrentRecord = MakeResult(0x800A0BCD);
inline constexpr HRESULT adErrItemNotFound = MakeResult(0x800A0CC1);
inline constexpr HRESULT adErrObjectClosed = MakeResult(0x800A0E78);
inline constexpr HRESULT adErrObjectOpen = MakeResult(0x800A0E79);
inline constexpr HRESULT adErrProviderNotFound = MakeResult(0x800A0E7A);
inline constexpr HRESULT adErrInvalidConnection = MakeResult(0x800A0E7D);

// Causes the stood-in platform has no code for (customer range).
inline constexpr HRESULT E_STATEMENT_TOO_LONG = MakeResult(0xA0DB0001);
inline constexpr HRESULT E_MULTIPLE_STATEMENTS = MakeResult(0xA0DB0002);
inline constexpr HRESULT E_CHANGE_NOT_SUPPORTED = MakeResult(0xA0DB0003);
inline constexpr HRESULT E_CONNECTION_TEXT = MakeResult(0xA0DB0004);
// A database server: the address, reaching it, and keeping the connection.
inline constexpr HRESULT E_SERVER_UNREACHABLE = MakeResult(0xA0DB0005);
inline constexpr HRESULT E_DATABASE_NOT_FOUND = MakeResult(0xA0DB0006);
inline constexpr HRESULT E_CONNECTION_LOST = MakeResult(0xA0DB0007);
inline constexpr HRESULT E_SERVER_ADDRESS = MakeResult(0xA0DB0008);
inline constexpr HRESULT E_PRIVILEGE_DENIED = MakeResult(0xA0DB0009);
inline constexpr HRESULT E_CLIENT_LIBRARY = MakeResult(0xA0DB000A);

}  // namespace platform
