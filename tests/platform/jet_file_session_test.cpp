// The Jet session on files Access wrote and on converted repositories: the
// VARIANT types of each Jet type, the rows other readers see (moved rows,
// deleted columns, long values), in-place updates of fixed-width numbers,
// transactions, and the changes it refuses before writing a byte.
#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "com/hresult.h"
#include "provider/jet/commit_io.h"
#include "provider/jet/jet_file_session.h"
#include "provider/jet/rollback_journal.h"
#include "support/jet_file.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform;
using namespace platform::provider;
using testing_support::CopyFile;
using testing_support::FixturePath;
using testing_support::ReadFileBytes;
using testing_support::TempDir;

std::string Hex(HRESULT code) {
  std::ostringstream text;
  text << std::hex << static_cast<std::uint32_t>(code);
  return text.str();
}

// A value as "type:text", so that a test sees both.
std::string Describe(const VARIANT& value) {
  std::ostringstream text;
  switch (value.vt) {
    case VT_NULL:
      return "NULL";
    case VT_I4:
      return "I4:" + std::to_string(value.lVal);
    case VT_I8:
      return "I8:" + std::to_string(value.llVal);
    case VT_R8:
      text << "R8:" << value.dblVal;
      return text.str();
    case VT_DATE:
      text << "DATE:" << value.date;
      return text.str();
    case VT_BOOL:
      return value.boolVal != 0 ? "BOOL:true" : "BOOL:false";
    case VT_BSTR:
      return "BSTR:" + std::string(BstrView(value.bstrVal));
    default:
      return "VT" + std::to_string(value.vt);
  }
}

using Table = std::vector<std::vector<std::string>>;

std::unique_ptr<Session> OpenSession(const std::string& path) {
  std::unique_ptr<Session> session;
  const HRESULT opened = jet::JetFileSession::Open(path, &session);
  EXPECT_EQ(Hex(opened), Hex(S_OK)) << path;
  return session;
}

HRESULT RunStatement(Session& session, const std::string& sql, Table* table = nullptr) {
  std::unique_ptr<Rowset> rows;
  const HRESULT result = session.Execute(sql, {}, &rows);
  if (Failed(result) || !rows || table == nullptr) return result;
  while (rows->OnRow()) {
    std::vector<std::string> row;
    for (int column = 0; column < rows->ColumnCount(); ++column) {
      Variant value;
      EXPECT_EQ(Hex(rows->GetValue(column, &value)), Hex(S_OK));
      row.push_back(Describe(value));
    }
    table->push_back(std::move(row));
    if (Failed(rows->MoveNext())) break;
  }
  return S_OK;
}

Table Query(Session& session, const std::string& sql) {
  Table table;
  EXPECT_EQ(Hex(RunStatement(session, sql, &table)), Hex(S_OK)) << sql;
  return table;
}

std::string CopyFixture(const TempDir& dir, const std::string& fixture) {
  const std::string path = dir.File(std::filesystem::path(fixture).filename().string());
  CopyFile(FixturePath(fixture), path);
  return path;
}

// ---------------------------------------------------------------------------
// Reading.

class AccessTypes : public ::testing::TestWithParam<std::string> {};

TEST_P(AccessTypes, EachJetTypeComesAsItsVariantType) {
  TempDir dir;
  const std::string path = CopyFixture(dir, "third-party/" + GetParam());
  auto session = OpenSession(path);
  ASSERT_TRUE(session);
  EXPECT_EQ(Query(*session, "select A, B, C, D, E, F, G, H, I from Table1 order by E"),
            (Table{{"BSTR:a", "BSTR:b", "I4:0", "I4:0", "I4:0", "R8:0", "DATE:29932", "R8:0", "BOOL:false"},
                   {"BSTR:abcdefg", "BSTR:hijklmnop", "I4:2", "I4:222", "I4:333333333", "R8:444.555", "DATE:27293",
                    "R8:3.5", "BOOL:true"}}));
  // Texts compare without regard to case, in both directions of the order.
  EXPECT_EQ(Query(*session, "select E from Table1 where A = 'ABCDEFG' and B > 'HIJ'"), (Table{{"I4:333333333"}}));
}

INSTANTIATE_TEST_SUITE_P(Files, AccessTypes, ::testing::Values("jet3-types.mdb", "jet4-types.mdb"),
                         [](const ::testing::TestParamInfo<std::string>& case_info) {
                           return case_info.param.substr(0, 4);
                         });

// A row as mdb-export writes it: texts quoted, NULL empty.
std::string AsExportLine(const std::vector<std::string>& row) {
  std::string line;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i > 0) line += ",";
    const std::string& value = row[i];
    if (value.rfind("BSTR:", 0) == 0) {
      line += "\"" + value.substr(5) + "\"";
    } else if (value.rfind("I4:", 0) == 0) {
      line += value.substr(3);
    } else if (value != "NULL") {
      line += value;
    }
  }
  return line;
}

std::multiset<std::string> ExpectedLines(const std::string& stem, const std::string& table) {
  std::ifstream file(FixturePath("third-party/expected/" + stem + "/" + table + ".csv"));
  std::multiset<std::string> lines;
  std::string line;
  std::getline(file, line);  // the header
  while (std::getline(file, line)) lines.insert(line);
  return lines;
}

class AccessRows : public ::testing::TestWithParam<std::string> {};

TEST_P(AccessRows, AreTheRowsOtherReadersSee) {
  TempDir dir;
  const std::string path = CopyFixture(dir, "third-party/" + GetParam() + ".mdb");
  auto session = OpenSession(path);
  ASSERT_TRUE(session);
  std::multiset<std::string> lines;
  for (const auto& row : Query(*session, "select * from Table1")) lines.insert(AsExportLine(row));
  EXPECT_EQ(lines, ExpectedLines(GetParam(), "Table1"));
}

INSTANTIATE_TEST_SUITE_P(MovedRowsAndDeletedColumns, AccessRows,
                         ::testing::Values("jet3-overflow", "jet4-overflow", "jet3-delcol", "jet4-delcol"),
                         [](const ::testing::TestParamInfo<std::string>& case_info) {
                           std::string name;
                           for (const char c : case_info.param) {
                             if (c != '-') name += c;
                           }
                           return name;
                         });

TEST(AccessLongValues, MemosOnLongValuePagesReadWhole) {
  for (const std::string stem : {"jet3-lval", "jet4-lval"}) {
    TempDir dir;
    const std::string path = CopyFixture(dir, "third-party/" + stem + ".mdb");
    auto session = OpenSession(path);
    ASSERT_TRUE(session);
    const Table table = Query(*session, "select PROJ_PROP_AUTHOR from MSP_PROJECTS");
    ASSERT_EQ(table.size(), 1u) << stem;
    ASSERT_EQ(table[0].size(), 1u);
    EXPECT_EQ(table[0][0].size(), std::string("BSTR:").size() + 348) << stem;
  }
}

// Texts are decoded here for Jet 4 and for Jet 3 in code page 1252; a Jet 3
// file in another code page has its texts converted by libmdb instead, the
// reader they were read with before, also when the table's other columns
// were copied already.
TEST(JetTexts, AJet3FileInAnotherCodePageIsReadThroughTheLibrary) {
  TempDir dir;
  const std::string source = dir.File("texts.sqlite");
  testing_support::ExecuteSql(source,
                              "create table t (id INTEGER, name VARCHAR(50), kind VARCHAR(50));"
                              "insert into t values (1, 'plain', 'a'), (2, 'Gr\xc3\xb6\xc3\x9f\x65', 'b');");
  const std::string path = dir.File("texts.mdb");
  testing_support::ConvertToJet(source, path, testing_support::RepositoryFormat::kJet3);
  {
    // The code page sits masked in the header: flipping the bits that tell
    // 1252 (0x04E4) from 1251 (0x04E3) makes it 1251.
    constexpr std::streamoff kCodePageOffset = 60;
    constexpr char kCodePageFlip = 0x07;
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(kCodePageOffset);
    char byte = 0;
    file.read(&byte, 1);
    byte = static_cast<char>(byte ^ kCodePageFlip);
    file.seekp(kCodePageOffset);
    file.write(&byte, 1);
  }
  std::string library_text;
  for (const auto& row : testing_support::DumpJetDatabase(path)) {
    if (row.size() == 4 && row[1] == "2") library_text = row[2];
  }
  ASSERT_FALSE(library_text.empty());

  auto session = OpenSession(path);
  ASSERT_TRUE(session);
  EXPECT_EQ(Query(*session, "select id from t where kind = 'B'"), (Table{{"I4:2"}}));
  EXPECT_EQ(Query(*session, "select name from t order by id"), (Table{{"BSTR:plain"}, {"BSTR:" + library_text}}));
}

// ---------------------------------------------------------------------------
// Writing in place.

class InPlaceUpdates : public ::testing::TestWithParam<std::string> {};

TEST_P(InPlaceUpdates, ChangeOnlyTheValueBytesAndReadBackRight) {
  TempDir dir;
  const std::string path = CopyFixture(dir, "third-party/" + GetParam());
  const std::string before = ReadFileBytes(path);
  {
    auto session = OpenSession(path);
    ASSERT_TRUE(session);
    ASSERT_EQ(Hex(session->BeginTransaction()), Hex(S_OK));
    ASSERT_EQ(Hex(RunStatement(*session, "update Table1 set E = 7, F = 2.25 where A = 'A'")), Hex(S_OK));
    EXPECT_EQ(Query(*session, "select E, F from Table1 order by E"),
              (Table{{"I4:7", "R8:2.25"}, {"I4:333333333", "R8:444.555"}}));
    ASSERT_EQ(Hex(session->CommitTransaction()), Hex(S_OK));
  }
  const std::string after = ReadFileBytes(path);
  ASSERT_EQ(after.size(), before.size());
  std::size_t differing = 0;
  for (std::size_t i = 0; i < before.size(); ++i) differing += before[i] != after[i] ? 1u : 0u;
  EXPECT_GE(differing, 2u);
  EXPECT_LE(differing, 4u + 8u) << "only the bytes of E and F in one row";
  EXPECT_FALSE(std::filesystem::exists(path + "-journal"));

  auto reopened = OpenSession(path);
  ASSERT_TRUE(reopened);
  EXPECT_EQ(Query(*reopened, "select A, E, F from Table1 order by E"),
            (Table{{"BSTR:a", "I4:7", "R8:2.25"}, {"BSTR:abcdefg", "I4:333333333", "R8:444.555"}}));
  // And another reader agrees.
  bool found = false;
  for (const auto& row : testing_support::DumpJetDatabase(path)) {
    if (row[0] == "Table1" && row[1] == "a") {
      found = true;
      EXPECT_EQ(row[5], "7");
    }
  }
  EXPECT_TRUE(found);
}

INSTANTIATE_TEST_SUITE_P(Files, InPlaceUpdates, ::testing::Values("jet3-types.mdb", "jet4-types.mdb"),
                         [](const ::testing::TestParamInfo<std::string>& case_info) {
                           return case_info.param.substr(0, 4);
                         });

struct RefusedCase {
  std::string name;
  std::string sql;
  HRESULT expected;
  std::string fixture = "third-party/jet4-types.mdb";
};

const RefusedCase kRefusedCases[] = {
    {"IndexedNumberColumn", "update Table1 set id2 = 9", E_CHANGE_NOT_SUPPORTED, "third-party/jet4-delcol.mdb"},
    {"IndexedColumn", "update Table1 set A = 'x'", E_CHANGE_NOT_SUPPORTED},
    {"IndexedTextColumn", "update Table1 set B = 'x'", E_CHANGE_NOT_SUPPORTED},
    {"TextIntoLong", "update Table1 set E = 'seven'", DISP_E_TYPEMISMATCH},
    {"ByteOutOfRange", "update Table1 set C = 300", DISP_E_OVERFLOW},
    {"IntegerOutOfRange", "update Table1 set D = 40000", DISP_E_OVERFLOW},
    {"YesNoToNull", "update Table1 set I = NULL", E_CHANGE_NOT_SUPPORTED},
    {"Insert", "insert into Table1 (E) values (1)", E_CHANGE_NOT_SUPPORTED},
    {"Delete", "delete from Table1", E_CHANGE_NOT_SUPPORTED},
    {"Drop", "drop table Table1", E_CHANGE_NOT_SUPPORTED},
    {"SqlTransaction", "begin", E_CHANGE_NOT_SUPPORTED},
};

class RefusedChanges : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedChanges, FailBeforeAnyByteIsWrittenAndLeaveNoTrace) {
  TempDir dir;
  const std::string path = CopyFixture(dir, GetParam().fixture);
  const std::string before = ReadFileBytes(path);
  auto session = OpenSession(path);
  ASSERT_TRUE(session);
  const Table values = Query(*session, "select * from Table1 order by 1");
  EXPECT_EQ(Hex(RunStatement(*session, GetParam().sql)), Hex(GetParam().expected));
  EXPECT_EQ(Query(*session, "select * from Table1 order by 1"), values);
  session.reset();
  EXPECT_TRUE(ReadFileBytes(path) == before);
}

INSTANTIATE_TEST_SUITE_P(Statements, RefusedChanges, ::testing::ValuesIn(kRefusedCases),
                         [](const ::testing::TestParamInfo<RefusedCase>& case_info) { return case_info.param.name; });

// Fails every call of one kind after the first `pass` ones.
class FailingIo final : public jet::CommitIo {
 public:
  explicit FailingIo(int pass) : pass_(pass) {}
  int Open(const char* path, int flags, mode_t mode) override { return jet::SystemCommitIo().Open(path, flags, mode); }
  ssize_t PRead(int fd, void* buffer, std::size_t length, off_t offset) override {
    return jet::SystemCommitIo().PRead(fd, buffer, length, offset);
  }
  ssize_t PWrite(int fd, const void* buffer, std::size_t length, off_t offset) override {
    if (pass_-- <= 0) {
      errno = ENOSPC;
      return -1;
    }
    return jet::SystemCommitIo().PWrite(fd, buffer, length, offset);
  }
  int FSync(int fd) override { return jet::SystemCommitIo().FSync(fd); }
  int FTruncate(int fd, off_t length) override { return jet::SystemCommitIo().FTruncate(fd, length); }
  int Close(int fd) override { return jet::SystemCommitIo().Close(fd); }
  int Unlink(const char* path) override { return jet::SystemCommitIo().Unlink(path); }
  int SyncFolderOf(const char* path) override { return jet::SystemCommitIo().SyncFolderOf(path); }

 private:
  int pass_;
};

TEST(JetTransactions, AbortAndAFailedCommitLeaveFileAndCopyAsTheyWere) {
  for (const bool abort : {true, false}) {
    TempDir dir;
    const std::string path = CopyFixture(dir, "third-party/jet4-types.mdb");
    const std::string before = ReadFileBytes(path);
    FailingIo io(0);  // no write goes through
    std::unique_ptr<Session> session;
    ASSERT_EQ(Hex(jet::JetFileSession::Open(path, &session, io)), Hex(S_OK));
    const Table values = Query(*session, "select E, I from Table1 order by A");
    ASSERT_EQ(Hex(session->BeginTransaction()), Hex(S_OK));
    ASSERT_EQ(Hex(RunStatement(*session, "update Table1 set E = E + 1, I = not I")), Hex(S_OK));
    EXPECT_NE(Query(*session, "select E, I from Table1 order by A"), values);
    if (abort) {
      EXPECT_EQ(Hex(session->AbortTransaction()), Hex(S_OK));
    } else {
      EXPECT_EQ(Hex(session->CommitTransaction()), Hex(E_DISK_FULL));
    }
    EXPECT_FALSE(session->InTransaction());
    EXPECT_EQ(Query(*session, "select E, I from Table1 order by A"), values) << (abort ? "abort" : "commit");
    session.reset();
    EXPECT_TRUE(ReadFileBytes(path) == before);
    EXPECT_FALSE(std::filesystem::exists(path + "-journal"));
  }
}

TEST(JetTransactions, AnUpdateOutsideATransactionIsWrittenAtOnce) {
  TempDir dir;
  const std::string path = CopyFixture(dir, "third-party/jet3-types.mdb");
  {
    auto session = OpenSession(path);
    ASSERT_TRUE(session);
    ASSERT_EQ(Hex(RunStatement(*session, "update Table1 set I = 1, H = 12.5 where E = 0")), Hex(S_OK));
  }
  auto reopened = OpenSession(path);
  ASSERT_TRUE(reopened);
  EXPECT_EQ(Query(*reopened, "select H, I from Table1 order by E"),
            (Table{{"R8:12.5", "BOOL:true"}, {"R8:3.5", "BOOL:true"}}));
}

}  // namespace
