// A session on a repository kept by a PostgreSQL server.
//
// The data source is a postgresql:// address (pg_connection.h). Statements
// run as the platform writes them, with "?" placeholders turned into the
// server's numbered ones and their values sent beside the text, never in
// it (pg_statement_text.h, pg_values.h). Each statement's result is fetched
// whole; its rowset reads from that copy and needs the connection no more.
//
// Right after connecting, the session sets DateStyle ISO (the texts its
// rowsets read dates from), extra_float_digits 3 (doubles read back exactly
// from servers before version 12 too) and a lock timeout of 5 seconds, the
// wait the file repositories allow another writer.
//
// Transactions: BeginTransaction sends "begin" and, in the durable commit
// mode (the commit-mode property at 1), "set local synchronous_commit to on",
// so that CommitTransaction returns only once the server has made the change
// durable. A statement that fails inside a transaction leaves the server's
// transaction aborted; a commit then is answered with a rollback, and
// reported as XACT_E_COMMITFAILED.
//
// Invariants: the connection is open for the object's whole life, and ending
// the object closes it (the server rolls back an open transaction); once the
// connection is lost, every call that needs the server fails with
// E_CONNECTION_LOST, and a rollback succeeds without it (the server has kept
// nothing of the transaction); nothing is ever printed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "provider/pg/pg_connection.h"
#include "provider/pg/pg_errors.h"
#include "provider/provider.h"

namespace platform::provider::pg {

class PgSession final : public Session {
 public:
  static HRESULT Open(const std::string& address, std::unique_ptr<Session>* session);

  const std::vector<std::string>& PropertyNames() const override;
  HRESULT GetProperty(std::string_view name, VARIANT* value) override;
  HRESULT SetProperty(std::string_view name, const VARIANT& value) override;
  HRESULT Execute(std::string_view statement, const std::vector<Variant>& parameters,
                  std::unique_ptr<Rowset>* rows) override;
  HRESULT BeginTransaction() override;
  HRESULT CommitTransaction() override;
  HRESULT AbortTransaction() override;
  bool InTransaction() const override;

 private:
  PgSession(ConnectionHandle connection, Secrets secrets)
      : connection_(std::move(connection)), secrets_(std::move(secrets)) {}

  // Sends `text` with `values` ($1, $2, ... already in the text) and checks
  // the outcome; `result` holds the server's answer when it succeeded.
  HRESULT Send(const std::string& text, const std::vector<std::optional<std::string>>& values,
               ResultHandle* result);
  // Runs a statement of the session's own, which takes no values.
  HRESULT RunCommand(const char* text, ResultHandle* result = nullptr);
  // Records and returns the code for a call that failed; `result` may be null.
  HRESULT Failure(const pg_result* result);
  bool ConnectionLost() const;

  ConnectionHandle connection_;
  Secrets secrets_;
  std::int32_t commit_mode_ = kCommitModeDefault;
  // A transaction this session began and has not ended; the server's own
  // account (PQtransactionStatus) is gone with a lost connection.
  bool transaction_begun_ = false;
};

}  // namespace platform::provider::pg
