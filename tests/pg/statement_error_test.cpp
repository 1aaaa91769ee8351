// Statements a PostgreSQL server refuses: each cause with its code, the
// connection still usable afterwards (a COPY included), another session's
// lock given up on after the lock timeout, and a user without privileges.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "pg/pg_fixture.h"

namespace {

using namespace pg_testing;

using PgStatements = PgTest;

struct ErrorCase {
  const char* name;
  const char* statement;
  HRESULT expected;
};

void PrintTo(const ErrorCase& printed, std::ostream* out) { *out << printed.name; }

class PgStatementError : public PgTest, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(PgStatementError, HasItsCodeAndLeavesTheConnectionUsable) {
  std::optional<ComError> error;
  OutputWatch watch;
  error = RaisedBy([&] { QueryColumn(connection_, GetParam().statement, "id"); });
  const std::string printed = watch.Finish();
  ASSERT_TRUE(error);
  EXPECT_EQ(Hex(error->Error()), Hex(GetParam().expected)) << error->Description();
  EXPECT_FALSE(error->Description().empty());
  EXPECT_EQ(printed, "");
  EXPECT_EQ(QueryColumn(connection_, "select id from t order by id", "id"), (std::vector<std::string>{"1", "2"}));
}

INSTANTIATE_TEST_SUITE_P(
    Statements, PgStatementError,
    ::testing::Values(ErrorCase{"MissingTable", "select id from t_missing", platform::DB_E_NOTABLE},
                      ErrorCase{"MissingColumn", "select id, missing from t", platform::DB_E_BADCOLUMNID},
                      ErrorCase{"SyntaxError", "selec id from t", platform::DB_E_ERRORSINCOMMAND},
                      ErrorCase{"UnknownFunction", "select no_such_function(id) as id from t",
                                platform::DB_E_ERRORSINCOMMAND},
                      ErrorCase{"DuplicateKey", "insert into t values (1, 'again')", platform::DB_E_INTEGRITYVIOLATION},
                      ErrorCase{"TextThatIsNoNumber", "select 'twelve'::integer as id", platform::DB_E_CANTCONVERTVALUE},
                      ErrorCase{"IntegerOverflow", "select 2147483647 + id as id from t", platform::DB_E_CANTCONVERTVALUE},
                      ErrorCase{"DivisionByZero", "select 1 / (id - id) as id from t", platform::DB_E_ERRORSINCOMMAND},
                      ErrorCase{"RaisedByTheDatabase", "do $$ begin raise exception 'refused'; end $$",
                                platform::DB_E_ERRORSINCOMMAND},
                      ErrorCase{"CopyIn", "copy t from stdin", platform::DB_E_ERRORSINCOMMAND},
                      ErrorCase{"CopyOut", "copy t to stdout", platform::DB_E_ERRORSINCOMMAND}),
    CaseName());

TEST_F(PgStatements, NoticesAndWarningsAreNotPrinted) {
  OutputWatch watch;
  ExecuteStatement(connection_, "drop table if exists t_missing");
  ExecuteStatement(connection_, "do $$ begin raise warning 'a warning'; raise notice 'a notice'; end $$");
  EXPECT_EQ(watch.Finish(), "");
}

TEST_F(PgStatements, ReadOnlyTransactionRefusesTheChange) {
  ExecuteStatement(connection_, "set default_transaction_read_only = on");
  EXPECT_EQ(Hex(ErrorOf([&] { ExecuteStatement(connection_, "update t set name = 'x' where id = 1"); })),
            Hex(platform::DB_SEC_E_PERMISSIONDENIED));
  EXPECT_EQ(NameOnServer(), "before");
}

// Another session holds the row: the update waits for the lock timeout (5
// seconds, as for a repository file), then fails and changes nothing.
TEST_F(PgStatements, RowLockedByAnotherSessionFailsWithLockViolation) {
  const ComPtr<ado::Connection> other = OpenServer(database_.Uri());
  other->BeginTrans();
  ExecuteStatement(other, "update t set name = 'other' where id = 1");

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Hex(ErrorOf([&] { ExecuteStatement(connection_, "update t set name = 'blocked' where id = 1"); })),
            Hex(platform::E_LOCK_VIOLATION));
  const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited.count(), 4.9);
  EXPECT_LE(waited.count(), 15.0);

  other->RollbackTrans();
  ExecuteStatement(connection_, "update t set name = 'unblocked' where id = 1");
  EXPECT_EQ(NameOnServer(), "unblocked");
}

// A role the server lets in but not at the table.
class PgPrivileges : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    role_ = database_.Name() + "_reader";
    testing_support::ExecuteAsAdmin("postgres", "create role " + role_ + " login password 'reader-password'");
  }
  void TearDown() override {
    reader_.Reset();
    PgTest::TearDown();
    // The role goes once nothing of the database refers to it.
    database_.Execute("drop owned by " + role_);
    testing_support::ExecuteAsAdmin("postgres", "drop role if exists " + role_);
  }

  std::string role_;
  ComPtr<ado::Connection> reader_;
};

TEST_F(PgPrivileges, TableTheUserMayNotReadOrChange) {
  const testing_support::PgServer& server = testing_support::TestPgServer();
  reader_ = OpenServer("postgresql://" + role_ + ":reader-password@127.0.0.1:" + server.port + "/" + database_.Name());
  EXPECT_EQ(Hex(ErrorOf([&] { QueryColumn(reader_, "select id from t", "id"); })), Hex(platform::E_PRIVILEGE_DENIED));
  EXPECT_EQ(Hex(ErrorOf([&] { ExecuteStatement(reader_, "update t set name = 'x' where id = 1"); })),
            Hex(platform::E_PRIVILEGE_DENIED));
  database_.Execute("grant select on t to " + role_);
  EXPECT_EQ(QueryColumn(reader_, "select id from t order by id", "id"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(NameOnServer(), "before");
}

}  // namespace
