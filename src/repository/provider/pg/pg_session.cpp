// PgSession and its rowset (pg_session.h). Every call that reaches the
// server goes through Send or RunCommand, which look at the connection after
// the call: a connection that went bad is reported as lost before anything
// the result says.
#include "provider/pg/pg_session.h"

#include <libpq-fe.h>

#include <string_view>

#include "com/error_info.h"
#include "provider/pg/libpq_library.h"
#include "provider/pg/pg_statement_text.h"
#include "provider/pg/pg_values.h"
#include "provider/property_names.h"
#include "provider/sqlite_database.h"

namespace platform::provider::pg {
namespace {

// The server takes no statement text of 1 GB or more.
constexpr std::size_t kLongestStatement = (std::size_t{1} << 30) - 1;
constexpr int kTextFormat = 0;

std::string SessionSettings() {
  return "set datestyle = 'ISO'; set extra_float_digits = 3; set lock_timeout = " +
         std::to_string(kLockWaitMilliseconds);
}

class PgRowset final : public Rowset {
 public:
  explicit PgRowset(ResultHandle result)
      : result_(std::move(result)), rows_(LibPq().PQntuples(result_.get())) {
    const int count = LibPq().PQnfields(result_.get());
    kinds_.reserve(static_cast<std::size_t>(count));
    for (int column = 0; column < count; ++column) {
      kinds_.push_back(KindOfType(LibPq().PQftype(result_.get(), column)));
    }
  }

  bool OnRow() const override { return row_ < rows_; }

  HRESULT MoveNext() override {
    if (!OnRow()) return ReportError(adErrNoCurrentRecord, "the rowset is at its end");
    ++row_;
    return S_OK;
  }

  int ColumnCount() const override { return static_cast<int>(kinds_.size()); }

  std::string_view ColumnName(int column) const override {
    const char* name = LibPq().PQfname(result_.get(), column);
    return name == nullptr ? std::string_view() : std::string_view(name);
  }

  HRESULT GetValue(int column, VARIANT* value) override {
    if (!OnRow()) return ReportError(adErrNoCurrentRecord, "the rowset is at its end");
    if (column < 0 || column >= ColumnCount()) return ReportError(adErrItemNotFound, "no such column");
    if (LibPq().PQgetisnull(result_.get(), row_, column) != 0) {
      value->vt = VT_NULL;
      return S_OK;
    }
    const std::string_view text(LibPq().PQgetvalue(result_.get(), row_, column),
                                static_cast<std::size_t>(LibPq().PQgetlength(result_.get(), row_, column)));
    return ColumnValue(kinds_[static_cast<std::size_t>(column)], text, value);
  }

 private:
  ResultHandle result_;
  int rows_;
  int row_ = 0;
  std::vector<ColumnKind> kinds_;
};

// A COPY the text started has the connection waiting for data or sending
// it; end it so the connection serves the next statement.
void EndCopy(PGconn* connection, ExecStatusType status) {
  if (status == PGRES_COPY_IN) {
    LibPq().PQputCopyEnd(connection, "the platform sends no COPY data");
  } else if (status == PGRES_COPY_OUT) {
    char* buffer = nullptr;
    while (LibPq().PQgetCopyData(connection, &buffer, 0) > 0) LibPq().PQfreemem(buffer);
  }
  while (PGresult* rest = LibPq().PQgetResult(connection)) LibPq().PQclear(rest);
}

}  // namespace

HRESULT PgSession::Open(const std::string& address, std::unique_ptr<Session>* session) {
  if (LoadLibPq() == nullptr) {
    return ReportError(E_CLIENT_LIBRARY, "libpq.so.5 cannot be loaded, or lacks a function the provider calls");
  }
  Secrets secrets = Secrets::Of(address);
  ConnectionHandle connection;
  const HRESULT connected = Connect(address, secrets, &connection);
  if (Failed(connected)) return connected;
  std::unique_ptr<PgSession> created(new PgSession(std::move(connection), std::move(secrets)));
  const HRESULT configured = created->RunCommand(SessionSettings().c_str());
  if (Failed(configured)) return configured;
  *session = std::move(created);
  return S_OK;
}

const std::vector<std::string>& PgSession::PropertyNames() const { return CommitModePropertyNames(); }

HRESULT PgSession::GetProperty(std::string_view name, VARIANT* value) {
  return GetCommitModeProperty(name, commit_mode_, value);
}

HRESULT PgSession::SetProperty(std::string_view name, const VARIANT& value) {
  return ReadCommitModeProperty(name, value, &commit_mode_);
}

bool PgSession::ConnectionLost() const { return LibPq().PQstatus(connection_.get()) == CONNECTION_BAD; }

HRESULT PgSession::Failure(const pg_result* result) {
  const char* message = result != nullptr ? LibPq().PQresultErrorMessage(result) : LibPq().PQerrorMessage(connection_.get());
  std::string description = secrets_.Mask(message == nullptr ? "" : message);
  while (!description.empty() && (description.back() == '\n' || description.back() == ' ')) {
    description.pop_back();
  }
  description = "PostgreSQL: " + description;
  if (ConnectionLost()) return ReportError(E_CONNECTION_LOST, description);
  const char* sqlstate = result != nullptr ? LibPq().PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  if (sqlstate == nullptr) return ReportError(result == nullptr ? E_OUTOFMEMORY : E_FAIL, description);
  return ReportError(ResultForSqlState(sqlstate), description);
}

HRESULT PgSession::Send(const std::string& text, const std::vector<std::optional<std::string>>& values,
                        ResultHandle* result) {
  std::vector<const char*> pointers;
  pointers.reserve(values.size());
  for (const std::optional<std::string>& value : values) pointers.push_back(value ? value->c_str() : nullptr);
  // Type 0 for every parameter (no types given): the server infers each one.
  ResultHandle answer(LibPq().PQexecParams(connection_.get(), text.c_str(), static_cast<int>(values.size()),
                                   nullptr, pointers.data(), nullptr, nullptr, kTextFormat));
  const ExecStatusType status = answer ? LibPq().PQresultStatus(answer.get()) : PGRES_FATAL_ERROR;
  switch (status) {
    case PGRES_COMMAND_OK:
    case PGRES_TUPLES_OK:
      *result = std::move(answer);
      return S_OK;
    case PGRES_EMPTY_QUERY:
      return ReportError(DB_E_NOCOMMAND, "the command text holds no statement");
    case PGRES_COPY_IN:
    case PGRES_COPY_OUT:
    case PGRES_COPY_BOTH:
      EndCopy(connection_.get(), status);
      if (ConnectionLost()) return Failure(nullptr);
      return ReportError(DB_E_ERRORSINCOMMAND, "COPY moves no data through the platform");
    default:
      return Failure(answer.get());
  }
}

HRESULT PgSession::RunCommand(const char* text, ResultHandle* result) {
  ResultHandle answer;
  // A plain query: the session's settings come as several statements in one.
  answer.reset(LibPq().PQexec(connection_.get(), text));
  if (!answer || LibPq().PQresultStatus(answer.get()) != PGRES_COMMAND_OK) return Failure(answer.get());
  if (result != nullptr) *result = std::move(answer);
  return S_OK;
}

HRESULT PgSession::Execute(std::string_view statement, const std::vector<Variant>& parameters,
                           std::unique_ptr<Rowset>* rows) {
  rows->reset();
  if (statement.size() > kLongestStatement) {
    return ReportError(E_STATEMENT_TOO_LONG, "the statement is 1 GB or longer");
  }
  if (statement.find('\0') != std::string_view::npos) {
    return ReportError(DB_E_ERRORSINCOMMAND, "the statement holds a NUL character");
  }
  const char* conforming = LibPq().PQparameterStatus(connection_.get(), "standard_conforming_strings");
  RewrittenStatement rewritten;
  std::vector<std::optional<std::string>> values;
  try {
    rewritten = RewritePlaceholders(statement, conforming == nullptr || std::string_view(conforming) != "off");
    values.resize(parameters.size());
  } catch (const std::bad_alloc&) {
    return ReportError(E_OUTOFMEMORY, "rewriting the statement");
  }
  if (rewritten.empty) return ReportError(DB_E_NOCOMMAND, "the command text holds no statement");
  if (rewritten.several) {
    return ReportError(E_MULTIPLE_STATEMENTS, "the command text holds a second statement");
  }
  if (rewritten.placeholders != parameters.size()) {
    return ReportError(DB_E_PARAMNOTOPTIONAL,
                       "the statement has " + std::to_string(rewritten.placeholders) + " parameters, " +
                           std::to_string(parameters.size()) + " values were given");
  }
  for (std::size_t i = 0; i < parameters.size(); ++i) {
    const HRESULT converted = ParameterText(parameters[i], &values[i]);
    if (Failed(converted)) return converted;
  }

  ResultHandle result;
  const HRESULT sent = Send(rewritten.text, values, &result);
  if (Failed(sent)) return sent;
  if (LibPq().PQnfields(result.get()) == 0) return S_OK;
  try {
    *rows = std::make_unique<PgRowset>(std::move(result));
  } catch (const std::bad_alloc&) {
    return ReportError(E_OUTOFMEMORY, "making a rowset");
  }
  return S_OK;
}

HRESULT PgSession::BeginTransaction() {
  const HRESULT begun = RunCommand("begin");
  if (Failed(begun)) return begun;
  transaction_begun_ = true;
  if (commit_mode_ == kCommitModeDurable) {
    const HRESULT durable = RunCommand("set local synchronous_commit to on");
    if (Failed(durable)) {
      // Keep the description of the failure, not of the rollback.
      std::string description;
      GetErrorInfo(&description);
      AbortTransaction();
      return ReportError(durable, description);
    }
  }
  return S_OK;
}

HRESULT PgSession::CommitTransaction() {
  ResultHandle result;
  const HRESULT committed = RunCommand("commit", &result);
  transaction_begun_ = false;
  if (Failed(committed)) return committed;
  // The server ends an aborted transaction with a rollback, and says so only
  // in the command tag.
  if (std::string_view(LibPq().PQcmdStatus(result.get())) == "ROLLBACK") {
    return ReportError(XACT_E_COMMITFAILED, "a statement of the transaction failed; the server rolled it back");
  }
  return S_OK;
}

HRESULT PgSession::AbortTransaction() {
  transaction_begun_ = false;
  if (ConnectionLost()) return S_OK;
  const HRESULT rolled_back = RunCommand("rollback");
  // A connection that went down on the way took the transaction with it.
  if (Failed(rolled_back) && ConnectionLost()) return S_OK;
  return rolled_back;
}

bool PgSession::InTransaction() const {
  switch (LibPq().PQtransactionStatus(connection_.get())) {
    case PQTRANS_IDLE:
      return false;
    case PQTRANS_ACTIVE:
    case PQTRANS_INTRANS:
    case PQTRANS_INERROR:
      return true;
    case PQTRANS_UNKNOWN:
      break;
  }
  return transaction_begun_;
}

}  // namespace platform::provider::pg
