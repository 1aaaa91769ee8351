// Statements through Command and Recordset on a SQLite repository: rows in
// the engine's order, the failures of a statement, one statement per command
// text, the recordset's states, and statements of many megabytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ado_fixture.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform_testing;
using platform::S_OK;
using testing_support::QueryRows;
using testing_support::Rows;
using testing_support::TempDir;

class Statements : public testing_support::ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    path_ = dir_.File("sample.sqlite");
    testing_support::CopyFile(testing_support::FixturePath("repositories/sample.sqlite"), path_);
    connection_ = OpenConnection(path_);
  }

  std::vector<std::string> EngineColumn(const std::string& sql) const {
    std::vector<std::string> values;
    for (const std::vector<std::string>& row : QueryRows(path_, sql)) values.push_back(row.at(0));
    return values;
  }

  std::string ObjectCount() const { return QueryRows(path_, "select count(*) from t_object").at(0).at(0); }

  TempDir dir_;
  std::string path_;
  ComPtr<ado::Connection> connection_;
};

TEST_F(Statements, RowsComeInTheEnginesOrder) {
  for (const char* sql : {"select object_id from t_object",
                          "select object_id from t_object where object_type = 'Requirement'",
                          "select object_id from t_object order by name desc",
                          "select start_object_id as object_id from t_connector"}) {
    SCOPED_TRACE(sql);
    const std::vector<std::string> expected = EngineColumn(sql);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(QueryColumn(connection_, sql, "object_id"), expected);
  }
}

TEST_F(Statements, EmptyResultStartsAtEof) {
  Statement statement(connection_, "select object_id from t_object where object_id < 0");
  ado::Recordset* rows = statement.Open();
  EXPECT_TRUE(rows->GetEOF());
  EXPECT_EQ(ErrorOf([&] { rows->MoveNext(); }), platform::adErrNoCurrentRecord);
  EXPECT_EQ(ErrorOf([&] { Collect(rows, "object_id"); }), platform::adErrNoCurrentRecord);
  rows->Close();
}

TEST_F(Statements, ReadingPastTheLastRowFails) {
  Statement statement(connection_, "select object_id from t_object where object_id = 100");
  ado::Recordset* rows = statement.Open();
  ASSERT_FALSE(rows->GetEOF());
  EXPECT_EQ(Collect(rows, "object_id").lVal, 100);
  rows->MoveNext();
  EXPECT_TRUE(rows->GetEOF());
  EXPECT_EQ(Hex(ErrorOf([&] { rows->MoveNext(); })), Hex(platform::adErrNoCurrentRecord));
  EXPECT_EQ(Hex(ErrorOf([&] { Collect(rows, "object_id"); })), Hex(platform::adErrNoCurrentRecord));
  EXPECT_TRUE(rows->GetEOF());
}

TEST_F(Statements, ColumnsAreFoundByNameWhateverTheCaseOrByPosition) {
  Statement statement(connection_, "select object_id, name as Element_Name from t_object where object_id = 100");
  ado::Recordset* rows = statement.Open();
  EXPECT_EQ(Collect(rows, "OBJECT_ID").lVal, 100);
  EXPECT_EQ(platform::BstrView(Collect(rows, "element_name").bstrVal), "##MorlaneInfo##");
  EXPECT_EQ(rows->GetCollect(Variant(0)).lVal, 100);
  EXPECT_EQ(platform::BstrView(rows->GetCollect(Variant::Int64(1)).bstrVal), "##MorlaneInfo##");
}

TEST_F(Statements, ColumnTheResultLacksIsNotFound) {
  Statement statement(connection_, "select object_id, name as element_name from t_object");
  ado::Recordset* rows = statement.Open();
  // A column of the table that the statement did not select, an alias's
  // source name, a prefix of a name, and positions out of range.
  for (const Variant& index : {Variant("object_type"), Variant("name"), Variant("object"), Variant(""), Variant(2),
                               Variant(-1)}) {
    EXPECT_EQ(Hex(ErrorOf([&] { rows->GetCollect(index); })), Hex(platform::adErrItemNotFound));
  }
  EXPECT_EQ(ErrorOf([&] { rows->GetCollect(Variant::Null()); }), platform::adErrInvalidArgument);
  // The recordset is still usable.
  EXPECT_EQ(QueryColumn(connection_, "select object_id from t_object", "object_id").size(), 15u);
  EXPECT_FALSE(rows->GetEOF());
}

struct FailingStatement {
  const char* name;
  const char* sql;
  HRESULT expected;
};

void PrintTo(const FailingStatement& printed, std::ostream* out) { *out << printed.name; }

class StatementFailure : public Statements, public ::testing::WithParamInterface<FailingStatement> {};

TEST_P(StatementFailure, FailsWithTheCauseAndChangesNothing) {
  const Rows before = testing_support::DumpDatabase(path_);
  EXPECT_EQ(Hex(ErrorOf([&] { Statement(connection_, GetParam().sql).Open(); })), Hex(GetParam().expected));
  EXPECT_EQ(testing_support::DumpDatabase(path_), before);
  // The connection still runs statements.
  EXPECT_EQ(QueryColumn(connection_, "select count(*) as n from t_package", "n"), std::vector<std::string>{"9"});
}

INSTANTIATE_TEST_SUITE_P(
    Causes, StatementFailure,
    ::testing::Values(
        FailingStatement{"MissingTable", "select object_id from t_objects", platform::DB_E_NOTABLE},
        FailingStatement{"MissingTableInJoin",
                         "select o.object_id from t_object o join t_links l on l.guid = o.ov_guid",
                         platform::DB_E_NOTABLE},
        FailingStatement{"MissingColumn", "select object_idx from t_object", platform::DB_E_BADCOLUMNID},
        FailingStatement{"SyntaxError", "selct object_id from t_object", platform::DB_E_ERRORSINCOMMAND},
        FailingStatement{"UnclosedQuote", "select object_id from t_object where name = 'x", platform::DB_E_ERRORSINCOMMAND},
        FailingStatement{"UnknownFunction", "select nosuchfunction(object_id) from t_object",
                         platform::DB_E_ERRORSINCOMMAND},
        FailingStatement{"DuplicateKey", "insert into t_object (object_id, name) values (100, 'again')",
                         platform::DB_E_INTEGRITYVIOLATION},
        FailingStatement{"NotNullBroken", "update t_object set package_id = null where object_id = 100",
                         platform::DB_E_INTEGRITYVIOLATION},
        FailingStatement{"SecondStatementDeletes", "select 1; delete from t_object", platform::E_MULTIPLE_STATEMENTS},
        FailingStatement{"FirstStatementDeletes", "delete from t_object; select 1", platform::E_MULTIPLE_STATEMENTS},
        FailingStatement{"TwoUpdates",
                         "update t_object set tagged = 1 where object_id = 100; update t_object set tagged = 1",
                         platform::E_MULTIPLE_STATEMENTS},
        FailingStatement{"SecondStatementAfterComment", "select 1; -- one\n delete from t_object",
                         platform::E_MULTIPLE_STATEMENTS},
        FailingStatement{"BrokenSecondStatement", "delete from t_object where object_id = 100; delete frm t_object",
                         platform::DB_E_ERRORSINCOMMAND},
        FailingStatement{"EmptyText", "", platform::DB_E_NOCOMMAND},
        FailingStatement{"OnlyWhiteSpace", " \n\t ", platform::DB_E_NOCOMMAND},
        FailingStatement{"OnlyAComment", "-- nothing to run", platform::DB_E_NOCOMMAND},
        FailingStatement{"OnlySemicolons", ";;", platform::DB_E_NOCOMMAND}),
    [](const ::testing::TestParamInfo<FailingStatement>& case_info) { return std::string(case_info.param.name); });

TEST_F(Statements, FailureWhileReadingEndsTheRows) {
  // The second row overflows a 64-bit integer only when it is computed.
  Statement statement(connection_, "select abs(x) as v from (select 1 as x union all select -9223372036854775807 - 1)");
  ado::Recordset* rows = statement.Open();
  ASSERT_FALSE(rows->GetEOF());
  EXPECT_EQ(Collect(rows, "v").lVal, 1);
  EXPECT_EQ(Hex(ErrorOf([&] { rows->MoveNext(); })), Hex(platform::DB_E_ERRORSINCOMMAND));
  EXPECT_TRUE(rows->GetEOF());
}

TEST_F(Statements, DamagedTableFailsWithFileCorrupt) {
  connection_.Reset();
  // Page 3 is t_object's root page: overwrite it, leaving the schema whole.
  std::string bytes = testing_support::ReadFileBytes(path_);
  ASSERT_EQ(QueryRows(path_, "select rootpage from sqlite_schema where name = 't_object'"), (Rows{{"3"}}));
  bytes.replace(2 * 4096, 4096, std::string(4096, '\x5A'));
  {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  connection_ = OpenConnection(path_);
  EXPECT_EQ(Hex(ErrorOf([&] { QueryColumn(connection_, "select * from t_object", "object_id"); })),
            Hex(platform::E_FILE_CORRUPT));
  EXPECT_EQ(QueryColumn(connection_, "select package_id from t_package where package_id = 2", "package_id"),
            std::vector<std::string>{"2"});
}

TEST_F(Statements, FailureCarriesTheEngineMessageAsDescriptionOnly) {
  try {
    Statement(connection_, "select object_id from t_objects").Open();
    FAIL() << "the statement ran";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), platform::DB_E_NOTABLE);
    EXPECT_NE(error.Description().find("no such table: t_objects"), std::string::npos) << error.Description();
    EXPECT_STREQ(error.ErrorMessage(), ComError(platform::DB_E_NOTABLE).ErrorMessage());
  }
  // The next failure carries its own description, not the one before.
  Statement statement(connection_, "select object_id from t_object");
  ado::Recordset* rows = statement.Open();
  try {
    Collect(rows, "no_such_column");
    FAIL() << "found a column the result lacks";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), platform::adErrItemNotFound);
    EXPECT_EQ(error.Description().find("t_objects"), std::string::npos) << error.Description();
  }
}

TEST_F(Statements, StatementEndingInSemicolonsOrCommentsRuns) {
  for (const char* sql : {"select object_id from t_object where object_id = 100;",
                          "select object_id from t_object where object_id = 100 ;; \n",
                          "select object_id from t_object where object_id = 100; -- done",
                          "select object_id from t_object where object_id = 100 /* done */ ;",
                          "  -- the marker\n select object_id from t_object where object_id = 100"}) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(QueryColumn(connection_, sql, "object_id"), std::vector<std::string>{"100"});
  }
}

TEST_F(Statements, UpdateLeavesTheRecordsetClosed) {
  Statement statement(connection_, "update t_object set tagged = 7 where object_id in (110, 111)");
  ado::Recordset* rows = statement.Open();
  EXPECT_EQ(Hex(ErrorOf([&] { rows->GetEOF(); })), Hex(platform::adErrObjectClosed));
  EXPECT_EQ(ErrorOf([&] { Collect(rows, "tagged"); }), platform::adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rows->MoveNext(); }), platform::adErrObjectClosed);
  EXPECT_EQ(ErrorOf([&] { rows->Close(); }), platform::adErrObjectClosed);
  EXPECT_EQ(QueryRows(path_, "select object_id from t_object where tagged = 7 order by object_id"),
            (Rows{{"110"}, {"111"}}));
}

TEST_F(Statements, UpdateMatchingNothingSucceeds) {
  ExecuteStatement(connection_, "update t_object set tagged = 7 where object_id = -1");
  EXPECT_EQ(QueryRows(path_, "select count(*) from t_object where tagged = 7"), (Rows{{"0"}}));
}

TEST_F(Statements, RecordsetStatesAndReopening) {
  Statement statement(connection_, "select object_id from t_object where object_id in (100, 110) order by object_id");
  ado::Recordset* rows = statement.Open();
  EXPECT_EQ(Hex(ErrorOf([&] { statement.Open(); })), Hex(platform::adErrObjectOpen));
  EXPECT_EQ(ErrorOf([&] { rows->PutRefSource(statement.Command().Get()); }), platform::adErrObjectOpen);
  rows->MoveNext();
  EXPECT_EQ(Collect(rows, "object_id").lVal, 110);
  rows->Close();
  EXPECT_EQ(ErrorOf([&] { rows->GetEOF(); }), platform::adErrObjectClosed);
  // Opened again, the statement runs again from its first row.
  statement.Open();
  EXPECT_EQ(ReadColumn(rows, "object_id"), (std::vector<std::string>{"100", "110"}));
}

TEST_F(Statements, RecordsetOpenChecksItsArguments) {
  Statement statement(connection_, "select 1 as one");
  ado::Recordset* rows = statement.Recordset().Get();
  const Variant missing = Variant::Missing();
  const Variant text("select 1 as one");
  EXPECT_EQ(rows->raw_Open(text, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdText),
            platform::adErrInvalidArgument);
  EXPECT_EQ(rows->raw_Open(missing, Variant::Object(connection_.Get()), ado::adOpenForwardOnly, ado::adLockReadOnly,
                           ado::adCmdText),
            platform::adErrInvalidArgument);
  EXPECT_EQ(rows->raw_Open(missing, missing, static_cast<ado::CursorTypeEnum>(9), ado::adLockReadOnly, ado::adCmdText),
            platform::adErrInvalidArgument);
  EXPECT_EQ(rows->raw_Open(missing, missing, ado::adOpenForwardOnly, static_cast<ado::LockTypeEnum>(0), ado::adCmdText),
            platform::adErrInvalidArgument);
  EXPECT_EQ(rows->raw_Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, 2),
            platform::adErrInvalidArgument);
  EXPECT_EQ(rows->raw_Open(missing, missing, ado::adOpenUnspecified, ado::adLockUnspecified, ado::adCmdUnspecified),
            S_OK);
  EXPECT_FALSE(rows->GetEOF());
}

TEST_F(Statements, MisassembledObjectsAreRefused) {
  ComPtr<ado::Recordset> recordset;
  platform::MakeObject(recordset, ado::CLSID_Recordset);
  const Variant missing = Variant::Missing();
  EXPECT_EQ(recordset->raw_Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdUnknown),
            platform::adErrInvalidConnection);
  EXPECT_EQ(recordset->putref_Source(connection_.Get()), platform::adErrInvalidArgument);

  ComPtr<ado::Command> command;
  platform::MakeObject(command, ado::CLSID_Command);
  EXPECT_EQ(command->putref_ActiveConnection(recordset.Get()), platform::adErrInvalidConnection);
  const BString text("select 1 as one");
  command->PutCommandText(text.Get());
  recordset->PutRefSource(command.Get());
  EXPECT_EQ(recordset->raw_Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdUnknown),
            platform::adErrInvalidConnection);
  // Once the command has a connection, it runs.
  command->PutRefActiveConnection(connection_.Get());
  recordset->Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdUnknown);
  EXPECT_EQ(Collect(recordset.Get(), "one").lVal, 1);
  recordset->Close();
  // And stops when it loses it.
  command->PutRefActiveConnection(nullptr);
  EXPECT_EQ(recordset->raw_Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdUnknown),
            platform::adErrInvalidConnection);
}

TEST_F(Statements, OpenRecordsetOutlivesItsConnectionAndCommand) {
  auto statement = std::make_unique<Statement>(
      connection_, "select object_id from t_object where object_id in (100, 110, 111) order by object_id");
  const ComPtr<ado::Recordset> rows = statement->Recordset();
  statement->Open();
  statement.reset();
  connection_.Reset();
  EXPECT_EQ(ReadColumn(rows.Get(), "object_id"), (std::vector<std::string>{"100", "110", "111"}));
}

TEST_F(Statements, CommandTextIsCopied) {
  ComPtr<ado::Command> command;
  platform::MakeObject(command, ado::CLSID_Command);
  ComPtr<ado::Recordset> recordset;
  platform::MakeObject(recordset, ado::CLSID_Recordset);
  command->PutRefActiveConnection(connection_.Get());
  {
    const BString text("select name from t_package where package_id = 2");
    command->PutCommandText(text.Get());
  }
  recordset->PutRefSource(command.Get());
  const Variant missing = Variant::Missing();
  recordset->Open(missing, missing, ado::adOpenForwardOnly, ado::adLockReadOnly, ado::adCmdUnknown);
  EXPECT_EQ(ReadColumn(recordset.Get(), "name"), std::vector<std::string>{"Online Shop"});
}

TEST_F(Statements, StatementOfTensOfMegabytesRuns) {
  // A list of a million ids, most of them matching nothing, written wide.
  std::string sql = "select object_id from t_object where object_id in (";
  sql.reserve(24'000'000);
  for (int id = 1'000'000; id < 2'000'000; ++id) {
    sql += "   ";
    sql += std::to_string(id * 10);
    sql += ",\n";
  }
  sql += "205, 100, 111)";
  ASSERT_GT(sql.size(), 10'000'000u);
  std::vector<std::string> ids = QueryColumn(connection_, sql, "object_id");
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(ids, (std::vector<std::string>{"100", "111", "205"}));
}

TEST_F(Statements, UpdateOfTensOfMegabytesRuns) {
  std::string sql = "update t_object set tagged = 9 where object_id in (";
  for (int id = 0; id < 1'000'000; ++id) sql += std::to_string(300'000'000 + id) + ", ";
  sql += "200, 201)";
  ExecuteStatement(connection_, sql);
  EXPECT_EQ(QueryRows(path_, "select object_id from t_object where tagged = 9 order by object_id"),
            (Rows{{"200"}, {"201"}}));
}

}  // namespace
