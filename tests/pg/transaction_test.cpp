// Transactions on a PostgreSQL server: what is committed is seen by other
// sessions; what is not (rolled back, closed, released, or failed part way)
// never is; the durable commit mode reaches the server; and a connection the
// server ends fails the next call with E_CONNECTION_LOST, never hangs, and
// commits nothing. Other sessions' view is read with psql.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "pg/pg_fixture.h"

namespace {

using namespace pg_testing;

class PgTransactions : public PgTest {
 protected:
  void Rename(const ComPtr<ado::Connection>& connection, const std::string& name) {
    ExecuteStatement(connection, "update t set name = ? where id = 1", {TextParameter(name)});
  }
  std::vector<std::string> Names(const ComPtr<ado::Connection>& connection) {
    return QueryColumn(connection, "select name from t where id = 1", "name");
  }
  void SetCommitMode(std::int32_t mode) {
    connection_->GetProperties()->GetItem(Variant("Jet OLEDB:Transaction Commit Mode"))->PutValue(Variant(mode));
  }
  // True when another session can change row 1: no transaction of ours
  // holds it (a session on its way out gets a few seconds to let go).
  bool RowIsFree() const {
    try {
      database_.Execute("set lock_timeout = 5000; update t set name = name where id = 1");
      return true;
    } catch (const std::runtime_error&) {
      return false;
    }
  }
  // Ends every session on the database but the administrator's own, and
  // waits until they are gone.
  void TerminateSessions() {
    database_.Execute("select pg_terminate_backend(pid, 5000) from pg_stat_activity where datname = '" +
                      database_.Name() + "' and pid <> pg_backend_pid()");
  }
};

TEST_F(PgTransactions, CommitMakesTheChangeVisibleToOtherSessions) {
  EXPECT_EQ(connection_->BeginTrans(), 1);
  Rename(connection_, "committed");
  EXPECT_EQ(Names(connection_), std::vector<std::string>{"committed"});
  EXPECT_EQ(NameOnServer(), "before") << "another session saw an uncommitted change";
  connection_->CommitTrans();
  EXPECT_EQ(NameOnServer(), "committed");
  EXPECT_EQ(Names(OpenServer(database_.Uri())), std::vector<std::string>{"committed"});
}

TEST_F(PgTransactions, RollbackUndoesTheChangeAndANewTransactionCanFollow) {
  connection_->BeginTrans();
  Rename(connection_, "rolled back");
  connection_->RollbackTrans();
  EXPECT_EQ(Names(connection_), std::vector<std::string>{"before"});
  EXPECT_EQ(NameOnServer(), "before");
  connection_->BeginTrans();
  Rename(connection_, "second");
  connection_->CommitTrans();
  EXPECT_EQ(NameOnServer(), "second");
}

TEST_F(PgTransactions, CloseOrReleaseInsideATransactionRollsItBack) {
  connection_->BeginTrans();
  Rename(connection_, "never committed");
  connection_->Close();
  EXPECT_TRUE(RowIsFree()) << "the transaction outlived Close";
  EXPECT_EQ(NameOnServer(), "before");

  connection_ = OpenServer(database_.Uri());
  connection_->BeginTrans();
  Rename(connection_, "never committed either");
  {
    // A recordset still holds the session when the connection goes.
    Statement reading(connection_, "select id from t");
    ASSERT_FALSE(reading.Open()->GetEOF());
    connection_.Reset();
  }
  EXPECT_TRUE(RowIsFree()) << "the transaction outlived the last object";
  EXPECT_EQ(NameOnServer(), "before");
}

TEST_F(PgTransactions, ChangesOutsideATransactionAreCommittedAtOnce) {
  Rename(connection_, "autocommitted");
  EXPECT_EQ(NameOnServer(), "autocommitted");
}

TEST_F(PgTransactions, CommitOrRollbackWithoutATransactionFails) {
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->CommitTrans(); })), Hex(platform::XACT_E_NOTRANSACTION));
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->RollbackTrans(); })), Hex(platform::XACT_E_NOTRANSACTION));
  connection_->BeginTrans();
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->BeginTrans(); })), Hex(platform::XACT_E_XTIONEXISTS));
  connection_->CommitTrans();
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->CommitTrans(); })), Hex(platform::XACT_E_NOTRANSACTION));
}

// After a failed statement the server runs nothing more in the transaction;
// closing the connection then leaves every row as it was.
TEST_F(PgTransactions, FailedStatementThenCloseLeavesTheRowsAsBefore) {
  const Rows before = database_.Dump();
  connection_->BeginTrans();
  Rename(connection_, "part of a failed transaction");
  EXPECT_EQ(Hex(ErrorOf([&] { ExecuteStatement(connection_, "update t_missing set name = 'x'"); })),
            Hex(platform::DB_E_NOTABLE));
  EXPECT_EQ(Hex(ErrorOf([&] { Rename(connection_, "after the failure"); })), Hex(platform::XACT_E_ABORTED));
  connection_->Close();
  EXPECT_EQ(database_.Dump(), before);
}

TEST_F(PgTransactions, CommitAfterAFailedStatementFailsAndWritesNothing) {
  const Rows before = database_.Dump();
  connection_->BeginTrans();
  Rename(connection_, "part of a failed transaction");
  EXPECT_EQ(Hex(ErrorOf([&] { ExecuteStatement(connection_, "insert into t values (2, 'duplicate')"); })),
            Hex(platform::DB_E_INTEGRITYVIOLATION));
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->CommitTrans(); })), Hex(platform::XACT_E_COMMITFAILED));
  EXPECT_EQ(database_.Dump(), before);
  // The transaction is over; the connection carries on.
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->RollbackTrans(); })), Hex(platform::XACT_E_NOTRANSACTION));
  Rename(connection_, "later");
  EXPECT_EQ(NameOnServer(), "later");
}

// The database's own default is not durable; the durable commit mode makes
// each transaction of the session durable, and only its transactions.
TEST_F(PgTransactions, DurableCommitModeMakesTheTransactionSynchronous) {
  database_.Execute("alter database " + database_.Name() + " set synchronous_commit = off");
  connection_ = OpenServer(database_.Uri());
  const auto setting = [&] { return QueryColumn(connection_, "select current_setting('synchronous_commit') as s", "s"); };
  for (const auto& [mode, inside] : {std::pair{0, "off"}, std::pair{1, "on"}}) {
    SCOPED_TRACE(mode);
    SetCommitMode(mode);
    connection_->BeginTrans();
    EXPECT_EQ(setting(), std::vector<std::string>{inside});
    Rename(connection_, "mode " + std::to_string(mode));
    connection_->CommitTrans();
    EXPECT_EQ(setting(), std::vector<std::string>{"off"});
    EXPECT_EQ(NameOnServer(), "mode " + std::to_string(mode));
  }
}

TEST_F(PgTransactions, TerminatedSessionFailsEveryLaterCallWithConnectionLost) {
  ASSERT_EQ(Names(connection_), std::vector<std::string>{"before"});
  TerminateSessions();
  std::optional<ComError> first;
  HRESULT second = platform::S_OK;
  HRESULT begin = platform::S_OK;
  HRESULT close = platform::S_OK;
  OutputWatch watch;
  first = RaisedBy([&] { Names(connection_); });
  second = ErrorOf([&] { Rename(connection_, "after"); });
  begin = ErrorOf([&] { connection_->BeginTrans(); });
  close = ErrorOf([&] { connection_->Close(); });
  EXPECT_EQ(watch.Finish(), "");
  ASSERT_TRUE(first);
  EXPECT_EQ(Hex(first->Error()), Hex(platform::E_CONNECTION_LOST)) << first->Description();
  EXPECT_EQ(Hex(second), Hex(platform::E_CONNECTION_LOST));
  EXPECT_EQ(Hex(begin), Hex(platform::E_CONNECTION_LOST));
  EXPECT_EQ(Hex(close), Hex(platform::S_OK));
  EXPECT_EQ(NameOnServer(), "before");
}

TEST_F(PgTransactions, ConnectionLostInsideATransactionCommitsNothing) {
  connection_->BeginTrans();
  Rename(connection_, "never committed");
  TerminateSessions();
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->CommitTrans(); })), Hex(platform::E_CONNECTION_LOST));
  EXPECT_EQ(NameOnServer(), "before");
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->Close(); })), Hex(platform::S_OK));
}

// The run's own order: the update fails on the lost connection, and closing
// afterwards reports nothing more.
TEST_F(PgTransactions, ConnectionLostBeforeTheUpdateFailsItAndCloseIsQuiet) {
  connection_->BeginTrans();
  TerminateSessions();
  EXPECT_EQ(Hex(ErrorOf([&] { Rename(connection_, "never written"); })), Hex(platform::E_CONNECTION_LOST));
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->Close(); })), Hex(platform::S_OK));
  EXPECT_EQ(NameOnServer(), "before");
}

}  // namespace
