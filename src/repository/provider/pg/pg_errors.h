// From a PostgreSQL server's failures to the platform's result codes, and the
// passwords kept out of every description.
//
// The tool prints the message table's text for a code, never libpq's or the
// server's text; those go, with every password of the connection masked,
// into the description recorded beside the code (ReportError).
//
// Opening a connection (ResultForConnectFailure):
//   the server asked for a password and none was given, SQLSTATE class 28
//     (invalid authorization: wrong password, unknown role, no pg_hba.conf
//     line for the client) or 42501 (no CONNECT privilege)
//                                        -> DB_SEC_E_AUTH_FAILED 0x80040E4D
//   3D000 (the database does not exist)  -> E_DATABASE_NOT_FOUND 0xA0DB0006
//   everything else: connection refused, unknown host, no socket at the
//     path, the connect timeout, TLS refused, a server starting up or
//     shutting down, too many connections -> E_SERVER_UNREACHABLE 0xA0DB0005
//   an address libpq cannot parse (checked before any connection attempt)
//                                        -> E_SERVER_ADDRESS 0xA0DB0008
//
// A statement on an open connection (ResultForSqlState, after the session
// checked the connection itself: PQstatus CONNECTION_BAD after a call is
// E_CONNECTION_LOST, whatever the result says):
//   class 08 (connection exception), 57P01 (terminated by the
//     administrator), 57P02 (crash shutdown), 57P03 (cannot connect now)
//                                        -> E_CONNECTION_LOST 0xA0DB0007
//   42P01 undefined table                -> DB_E_NOTABLE 0x80040E37
//   42703 undefined column               -> DB_E_BADCOLUMNID 0x80040E11
//   42501 insufficient privilege         -> E_PRIVILEGE_DENIED 0xA0DB0009
//   class 54 (program limit exceeded: statement too complex, too many
//     columns)                           -> E_STATEMENT_TOO_LONG 0xA0DB0001
//   42601 syntax error and the rest of class 42
//                                        -> DB_E_ERRORSINCOMMAND 0x80040E14
//   class 23 (integrity constraint violation)
//                                        -> DB_E_INTEGRITYVIOLATION 0x80040E2F
//   22012 division by zero               -> DB_E_ERRORSINCOMMAND 0x80040E14
//   the rest of class 22 (data exception: a text that is no number, a value
//     out of range, a character the encoding lacks)
//                                        -> DB_E_CANTCONVERTVALUE 0x80040E07
//   25006 read-only transaction          -> DB_SEC_E_PERMISSIONDENIED 0x80040E09
//   25P02 the transaction failed earlier -> XACT_E_ABORTED 0x8004D019
//   40001 serialization failure, 40P01 deadlock, 55P03 lock not available
//     (the session's lock timeout)       -> E_LOCK_VIOLATION 0x80070021
//   57014 query canceled                 -> E_ABORT 0x80004004
//   53100 disk full                      -> E_DISK_FULL 0x80070070
//   53200 out of memory                  -> E_OUTOFMEMORY 0x8007000E
//   any other SQLSTATE                   -> DB_E_ERRORSINCOMMAND 0x80040E14
// The session adds, without a SQLSTATE: a text of several statements ->
// E_MULTIPLE_STATEMENTS 0xA0DB0002 (nothing is sent); a count of "?" other
// than the count of values -> DB_E_PARAMNOTOPTIONAL 0x80040E10; a commit the
// server answered with a rollback (a statement of the transaction had failed)
// -> XACT_E_COMMITFAILED 0x8004D002.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "com/hresult.h"

namespace platform::provider::pg {

// The code for a connection attempt that failed. `message` is libpq's
// message in its verbose form, which names each SQLSTATE the server sent
// ("FATAL:  28P01: password authentication failed ...").
HRESULT ResultForConnectFailure(std::string_view message, bool server_wanted_password);

// The code for a statement the server refused with `sqlstate`.
HRESULT ResultForSqlState(std::string_view sqlstate);

// The passwords of one connection: in the address (user:PASSWORD@, or
// ?password=), as written and as decoded, and the one libpq takes from
// PGPASSWORD. Whatever text is masked, none of them survives.
class Secrets {
 public:
  static Secrets Of(std::string_view address);
  std::string Mask(std::string text) const;

 private:
  void Add(std::string secret);

  std::vector<std::string> secrets_;
};

}  // namespace platform::provider::pg
