// Transactions on a Connection: what is committed is durable and seen by
// other connections; what is not committed (rolled back, closed or released
// in a transaction) never reaches the file. The file is checked with a
// separate SQLite connection.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "ado_fixture.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform_testing;
using platform::S_OK;
using testing_support::QueryRows;
using testing_support::Rows;
using testing_support::TempDir;

// True when another connection can begin writing: no write transaction of
// ours holds the file.
bool OtherWriterCanBegin(const std::string& path) {
  try {
    testing_support::ExecuteSql(path, "begin immediate; rollback;");
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

class Transactions : public testing_support::ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    path_ = dir_.File("repo.sqlite");
    testing_support::ExecuteSql(path_,
                                "create table t (id integer primary key, name text);"
                                "insert into t values (1, 'before');");
    connection_ = OpenConnection(path_);
  }

  // The name of row 1 as another connection reads it from the file.
  std::string NameInFile() const { return QueryRows(path_, "select name from t where id = 1").at(0).at(0); }

  void Rename(const ComPtr<ado::Connection>& connection, const std::string& name) {
    ExecuteStatement(connection, "update t set name = ? where id = 1", {TextParameter(name)});
  }

  TempDir dir_;
  std::string path_;
  ComPtr<ado::Connection> connection_;
};

TEST_F(Transactions, CommitMakesTheChangeVisibleToOtherConnections) {
  EXPECT_EQ(connection_->BeginTrans(), 1);
  Rename(connection_, "committed");
  EXPECT_EQ(QueryColumn(connection_, "select name from t", "name"), std::vector<std::string>{"committed"});
  EXPECT_EQ(NameInFile(), "before") << "another connection saw an uncommitted change";
  connection_->CommitTrans();
  EXPECT_EQ(NameInFile(), "committed");

  const ComPtr<ado::Connection> other = OpenConnection(path_);
  EXPECT_EQ(QueryColumn(other, "select name from t", "name"), std::vector<std::string>{"committed"});
}

TEST_F(Transactions, CommitInDurableModeReachesTheFile) {
  connection_->GetProperties()->GetItem(Variant("Jet OLEDB:Transaction Commit Mode"))->PutValue(Variant(1));
  connection_->BeginTrans();
  Rename(connection_, "durable");
  connection_->CommitTrans();
  connection_.Reset();
  EXPECT_EQ(NameInFile(), "durable");
  EXPECT_FALSE(testing_support::FileExists(path_ + "-journal"));
}

TEST_F(Transactions, RollbackUndoesTheChange) {
  connection_->BeginTrans();
  Rename(connection_, "rolled back");
  connection_->RollbackTrans();
  EXPECT_EQ(QueryColumn(connection_, "select name from t", "name"), std::vector<std::string>{"before"});
  EXPECT_EQ(NameInFile(), "before");
  // A new transaction can follow.
  connection_->BeginTrans();
  Rename(connection_, "second");
  connection_->CommitTrans();
  EXPECT_EQ(NameInFile(), "second");
}

TEST_F(Transactions, CloseInsideATransactionRollsItBack) {
  connection_->BeginTrans();
  Rename(connection_, "never committed");
  ASSERT_FALSE(OtherWriterCanBegin(path_));
  connection_->Close();
  EXPECT_TRUE(OtherWriterCanBegin(path_)) << "the transaction outlived Close";
  EXPECT_EQ(NameInFile(), "before");
}

TEST_F(Transactions, ReleaseWithoutCloseInsideATransactionRollsItBack) {
  connection_->BeginTrans();
  Rename(connection_, "never committed");
  connection_.Reset();
  EXPECT_TRUE(OtherWriterCanBegin(path_)) << "the transaction outlived the connection";
  EXPECT_EQ(NameInFile(), "before");
}

TEST_F(Transactions, CloseRollsBackAtOnceEvenWhileARecordsetIsOpen) {
  connection_->BeginTrans();
  Rename(connection_, "never committed");
  Statement reading(connection_, "select id, name from t");
  ado::Recordset* rows = reading.Open();
  ASSERT_FALSE(rows->GetEOF());
  ASSERT_FALSE(OtherWriterCanBegin(path_));
  connection_->Close();
  EXPECT_TRUE(OtherWriterCanBegin(path_)) << "the transaction outlived Close";
  EXPECT_EQ(NameInFile(), "before");
}

TEST_F(Transactions, ReleasingTheLastObjectRollsBack) {
  connection_->BeginTrans();
  Rename(connection_, "never committed");
  {
    Statement reading(connection_, "select id, name from t");
    ado::Recordset* rows = reading.Open();
    ASSERT_FALSE(rows->GetEOF());
    // The command and the recordset still hold the connection.
    connection_.Reset();
  }
  EXPECT_TRUE(OtherWriterCanBegin(path_)) << "the transaction outlived the objects";
  EXPECT_EQ(NameInFile(), "before");
}

TEST_F(Transactions, ChangesOutsideATransactionAreCommittedAtOnce) {
  Rename(connection_, "autocommitted");
  EXPECT_EQ(NameInFile(), "autocommitted");
  connection_->Close();
  EXPECT_EQ(NameInFile(), "autocommitted");
}

TEST_F(Transactions, CommitOrRollbackWithoutATransactionFails) {
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->CommitTrans(); })), Hex(platform::XACT_E_NOTRANSACTION));
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->RollbackTrans(); })), Hex(platform::XACT_E_NOTRANSACTION));
  connection_->BeginTrans();
  connection_->CommitTrans();
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->CommitTrans(); })), Hex(platform::XACT_E_NOTRANSACTION));
}

TEST_F(Transactions, NestedBeginFailsAndKeepsTheOuterTransaction) {
  connection_->BeginTrans();
  Rename(connection_, "outer");
  EXPECT_EQ(Hex(ErrorOf([&] { connection_->BeginTrans(); })), Hex(platform::XACT_E_XTIONEXISTS));
  EXPECT_EQ(NameInFile(), "before");
  connection_->CommitTrans();
  EXPECT_EQ(NameInFile(), "outer");
}

TEST_F(Transactions, ClosedConnectionHasNone) {
  connection_->Close();
  EXPECT_EQ(ErrorOf([&] { connection_->BeginTrans(); }), platform::adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { connection_->CommitTrans(); }), platform::adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { connection_->RollbackTrans(); }), platform::adErrObjectClosed);
}

TEST_F(Transactions, FailedStatementLeavesTheTransactionOpen) {
  connection_->BeginTrans();
  Rename(connection_, "kept");
  EXPECT_EQ(ErrorOf([&] { ExecuteStatement(connection_, "insert into t values (1, 'duplicate')"); }),
            platform::DB_E_INTEGRITYVIOLATION);
  connection_->CommitTrans();
  EXPECT_EQ(QueryRows(path_, "select id, name from t"), (Rows{{"1", "kept"}}));
}

TEST_F(Transactions, WriteAheadLogRepositoryCommitsAndRollsBackAlike) {
  connection_.Reset();
  testing_support::ExecuteSql(path_, "pragma journal_mode = wal;");
  connection_ = OpenConnection(path_);
  connection_->BeginTrans();
  Rename(connection_, "committed");
  EXPECT_EQ(NameInFile(), "before");
  connection_->CommitTrans();
  EXPECT_EQ(NameInFile(), "committed");

  connection_->BeginTrans();
  Rename(connection_, "never committed");
  ASSERT_FALSE(OtherWriterCanBegin(path_));
  connection_->Close();
  EXPECT_TRUE(OtherWriterCanBegin(path_));
  EXPECT_EQ(NameInFile(), "committed");
}

struct SqliteCloser {
  void operator()(sqlite3* handle) const { sqlite3_close_v2(handle); }
};

TEST_F(Transactions, FileLockedByAnotherWriterFailsWithLockViolation) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  const std::unique_ptr<sqlite3, SqliteCloser> other(raw);
  ASSERT_EQ(sqlite3_exec(raw, "begin exclusive; update t set name = 'other' where id = 1;", nullptr, nullptr, nullptr),
            SQLITE_OK);
  // The connection waits for the lock, then gives up.
  EXPECT_EQ(Hex(ErrorOf([&] { Rename(connection_, "blocked"); })), Hex(platform::E_LOCK_VIOLATION));
  ASSERT_EQ(sqlite3_exec(raw, "rollback;", nullptr, nullptr, nullptr), SQLITE_OK);
  Rename(connection_, "unblocked");
  EXPECT_EQ(NameInFile(), "unblocked");
}

}  // namespace
