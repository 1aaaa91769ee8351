// libpq, loaded when the first server repository is opened.
//
// Runs on repository files never talk to a server, yet linking libpq would
// make every run load it and the twenty libraries it needs (TLS, Kerberos,
// LDAP): 3 ms of the 16 ms a run on a small file takes. So the library is
// opened with dlopen when the first server connection is made, and its
// functions are called through the table here; the header gives their types.
//
// Invariants: LoadLibPq either fills every entry of the table or answers null
// and keeps nothing loaded; once loaded, the library stays for the life of
// the process. LibPq() is only called after LoadLibPq succeeded: every
// handle of libpq's exists only after a connection was started.
#pragma once

#include <libpq-fe.h>

namespace platform::provider::pg {

// Every libpq function the provider calls.
#define RECONSIDER_LIBPQ_FUNCTIONS(X) \
  X(PQclear) \
  X(PQcmdStatus) \
  X(PQconnectPoll) \
  X(PQconnectStartParams) \
  X(PQconnectionNeedsPassword) \
  X(PQconninfo) \
  X(PQconninfoFree) \
  X(PQconninfoParse) \
  X(PQerrorMessage) \
  X(PQexec) \
  X(PQexecParams) \
  X(PQfinish) \
  X(PQfname) \
  X(PQfreemem) \
  X(PQftype) \
  X(PQgetCopyData) \
  X(PQgetResult) \
  X(PQgetisnull) \
  X(PQgetlength) \
  X(PQgetvalue) \
  X(PQhost) \
  X(PQhostaddr) \
  X(PQnfields) \
  X(PQntuples) \
  X(PQparameterStatus) \
  X(PQport) \
  X(PQputCopyEnd) \
  X(PQresultErrorField) \
  X(PQresultErrorMessage) \
  X(PQresultStatus) \
  X(PQsetErrorVerbosity) \
  X(PQsetNoticeProcessor) \
  X(PQsocket) \
  X(PQstatus) \
  X(PQtransactionStatus)

struct LibPqFunctions {
#define RECONSIDER_LIBPQ_ENTRY(name) decltype(&::name) name = nullptr;
  RECONSIDER_LIBPQ_FUNCTIONS(RECONSIDER_LIBPQ_ENTRY)
#undef RECONSIDER_LIBPQ_ENTRY
};

// Loads the library (once); null when it cannot be loaded or lacks one of
// the functions.
const LibPqFunctions* LoadLibPq();

// The table LoadLibPq filled.
const LibPqFunctions& LibPq();

}  // namespace platform::provider::pg
