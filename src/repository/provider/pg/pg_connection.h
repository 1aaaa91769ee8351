// Connections to PostgreSQL servers: owning handles for libpq's objects, and
// opening a connection from a postgresql:// address.
//
// Connect hands libpq the address whole (expand_dbname), so what the address
// leaves out comes from libpq's own conventions, as for every PostgreSQL
// client: the PG* environment variables, the service and password files, a
// Unix socket when the host is a path. Before the address stand the defaults
// it may override: TCP keepalives and a TCP user timeout (a server that
// vanishes mid-statement is noticed within about a minute instead of the
// system's quarter of an hour) and the application name. After it stands
// client_encoding UTF8, which nothing overrides: texts cross the platform as
// UTF-8. The connect timeout is the one the address (or PGCONNECT_TIMEOUT,
// or the service file) sets, 10 seconds when none does.
//
// Invariants: connecting never waits longer than the connect timeout for any
// one host address (libpq's rule: at least 2 seconds when one is set; none
// when it is 0), however the server behaves; a notice processor that
// discards everything is installed before the first message from the server
// can arrive, and libpq's warnings during the attempt (about a password
// file, say) are kept off the standard streams (QuietStdio), so the library
// prints nothing; a failed attempt leaves no connection behind.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "com/hresult.h"
#include "provider/pg/pg_errors.h"

struct pg_conn;
struct pg_result;

namespace platform::provider::pg {

struct ConnectionCloser {
  void operator()(pg_conn* connection) const;
};
// Ending one closes the connection; the server rolls back whatever
// transaction was open on it.
using ConnectionHandle = std::unique_ptr<pg_conn, ConnectionCloser>;

struct ResultClearer {
  void operator()(pg_result* result) const;
};
using ResultHandle = std::unique_ptr<pg_result, ResultClearer>;

// True for a data source that names a server: it starts with "postgresql://"
// or "postgres://", spelt in lower case as libpq reads them.
bool IsServerAddress(std::string_view data_source);

// Connects to the server `address` names. Failures map as pg_errors.h lists,
// with libpq's message, masked by `secrets`, as the description.
HRESULT Connect(const std::string& address, const Secrets& secrets, ConnectionHandle* connection);

}  // namespace platform::provider::pg
