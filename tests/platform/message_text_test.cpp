// The message texts of result codes: the table's sentence without its line
// ending, the generic texts for codes the table lacks, and the attached
// description kept out of the message.
#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <string>

#include "com/com_error.h"
#include "com/hresult.h"
#include "com/message_table.h"

namespace {

using namespace platform;

struct FallbackCase {
  std::uint32_t code;
  const char* message;
};

void PrintTo(const FallbackCase& fallback, std::ostream* out) { *out << std::hex << fallback.code; }

class FallbackMessage : public ::testing::TestWithParam<FallbackCase> {};

TEST_P(FallbackMessage, NamesTheCode) {
  const ComError error(MakeResult(GetParam().code));
  EXPECT_STREQ(error.ErrorMessage(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    CodesWithoutText, FallbackMessage,
    ::testing::Values(FallbackCase{0x80040201, "IDispatch error #1"},
                      FallbackCase{0x80040202, "IDispatch error #2"},
                      FallbackCase{0x8004FFFF, "IDispatch error #65023"},
                      // The floor of the dispatch range is outside it, and so is the next facility.
                      FallbackCase{0x80040200, "Unknown error 0x80040200"},
                      FallbackCase{0x80050000, "Unknown error 0x80050000"},
                      FallbackCase{0x800401FF, "Unknown error 0x800401FF"},
                      FallbackCase{0x12345678, "Unknown error 0x12345678"},
                      FallbackCase{0xA0DB00FF, "Unknown error 0xA0DB00FF"}));

struct TableCase {
  const char* name;
  HRESULT code;
};

void PrintTo(const TableCase& printed, std::ostream* out) { *out << printed.name; }

// Every failing code the platform declares, but the three left without a text.
const TableCase kDeclaredFailures[] = {
    {"E_NOTIMPL", E_NOTIMPL},
    {"E_NOINTERFACE", E_NOINTERFACE},
    {"E_POINTER", E_POINTER},
    {"E_ABORT", E_ABORT},
    {"E_FAIL", E_FAIL},
    {"E_UNEXPECTED", E_UNEXPECTED},
    {"CLASS_E_NOAGGREGATION", CLASS_E_NOAGGREGATION},
    {"REGDB_E_CLASSNOTREG", REGDB_E_CLASSNOTREG},
    {"CO_E_NOTINITIALIZED", CO_E_NOTINITIALIZED},
    {"E_FILE_NOT_FOUND", E_FILE_NOT_FOUND},
    {"E_PATH_NOT_FOUND", E_PATH_NOT_FOUND},
    {"E_ACCESSDENIED", E_ACCESSDENIED},
    {"E_BAD_FORMAT", E_BAD_FORMAT},
    {"E_OUTOFMEMORY", E_OUTOFMEMORY},
    {"E_WRITE_FAULT", E_WRITE_FAULT},
    {"E_READ_FAULT", E_READ_FAULT},
    {"E_LOCK_VIOLATION", E_LOCK_VIOLATION},
    {"E_INVALIDARG", E_INVALIDARG},
    {"E_DISK_FULL", E_DISK_FULL},
    {"E_DIRECTORY", E_DIRECTORY},
    {"E_FILE_CORRUPT", E_FILE_CORRUPT},
    {"DISP_E_PARAMNOTFOUND", DISP_E_PARAMNOTFOUND},
    {"DISP_E_TYPEMISMATCH", DISP_E_TYPEMISMATCH},
    {"DISP_E_BADVARTYPE", DISP_E_BADVARTYPE},
    {"DISP_E_OVERFLOW", DISP_E_OVERFLOW},
    {"DB_E_NOCOMMAND", DB_E_NOCOMMAND},
    {"DB_E_PARAMNOTOPTIONAL", DB_E_PARAMNOTOPTIONAL},
    {"DB_E_BADCOLUMNID", DB_E_BADCOLUMNID},
    {"DB_E_ERRORSINCOMMAND", DB_E_ERRORSINCOMMAND},
    {"DB_E_CANTCONVERTVALUE", DB_E_CANTCONVERTVALUE},
    {"DB_SEC_E_PERMISSIONDENIED", DB_SEC_E_PERMISSIONDENIED},
    {"DB_E_ERRORSOCCURRED", DB_E_ERRORSOCCURRED},
    {"DB_E_INTEGRITYVIOLATION", DB_E_INTEGRITYVIOLATION},
    {"DB_E_NOTABLE", DB_E_NOTABLE},
    {"DB_SEC_E_AUTH_FAILED", DB_SEC_E_AUTH_FAILED},
    {"XACT_E_COMMITFAILED", XACT_E_COMMITFAILED},
    {"XACT_E_NOTRANSACTION", XACT_E_NOTRANSACTION},
    {"XACT_E_XTIONEXISTS", XACT_E_XTIONEXISTS},
    {"XACT_E_ABORTED", XACT_E_ABORTED},
    {"adErrInvalidArgument", adErrInvalidArgument},
    {"adErrNoCurrentRecord", adErrNoCurrentRecord},
    {"adErrItemNotFound", adErrItemNotFound},
    {"adErrObjectClosed", adErrObjectClosed},
    {"adErrObjectOpen", adErrObjectOpen},
    {"adErrProviderNotFound", adErrProviderNotFound},
    {"adErrInvalidConnection", adErrInvalidConnection},
    {"E_STATEMENT_TOO_LONG", E_STATEMENT_TOO_LONG},
    {"E_MULTIPLE_STATEMENTS", E_MULTIPLE_STATEMENTS},
    {"E_CHANGE_NOT_SUPPORTED", E_CHANGE_NOT_SUPPORTED},
    {"E_CONNECTION_TEXT", E_CONNECTION_TEXT},
    {"E_SERVER_UNREACHABLE", E_SERVER_UNREACHABLE},
    {"E_DATABASE_NOT_FOUND", E_DATABASE_NOT_FOUND},
    {"E_CONNECTION_LOST", E_CONNECTION_LOST},
    {"E_SERVER_ADDRESS", E_SERVER_ADDRESS},
    {"E_PRIVILEGE_DENIED", E_PRIVILEGE_DENIED},
    {"E_CLIENT_LIBRARY", E_CLIENT_LIBRARY},
};

std::string CaseName(const ::testing::TestParamInfo<TableCase>& case_info) {
  return case_info.param.name;
}

class TableMessage : public ::testing::TestWithParam<TableCase> {};

TEST_P(TableMessage, IsTheTableTextWithoutItsLineEnding) {
  const HRESULT code = GetParam().code;
  std::string table_text;
  ASSERT_TRUE(FormatMessage(code, kLanguageNeutral, &table_text)) << "no text for " << GetParam().name;
  ASSERT_GE(table_text.size(), 3u);
  EXPECT_EQ(table_text.substr(table_text.size() - 2), "\r\n");

  const std::string message = ComError(code).ErrorMessage();
  EXPECT_EQ(message, table_text.substr(0, table_text.size() - 2));
  EXPECT_FALSE(message.empty());
  EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos);
  // A generic text would mean the table entry was missed.
  EXPECT_EQ(message.rfind("Unknown error", 0), std::string::npos);
  EXPECT_EQ(message.rfind("IDispatch error", 0), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(DeclaredFailures, TableMessage, ::testing::ValuesIn(kDeclaredFailures),
                         CaseName);

TEST(MessageTable, TextsTellTheCodesApart) {
  for (std::size_t i = 0; i < std::size(kDeclaredFailures); ++i) {
    for (std::size_t j = i + 1; j < std::size(kDeclaredFailures); ++j) {
      EXPECT_STRNE(ComError(kDeclaredFailures[i].code).ErrorMessage(),
                   ComError(kDeclaredFailures[j].code).ErrorMessage())
          << kDeclaredFailures[i].name << " and " << kDeclaredFailures[j].name;
    }
  }
}

TEST(MessageTable, HoldsNoTextForTheCodesLeftToTheGenericTexts) {
  for (const std::uint32_t bits : {0x80040200u, 0x80040201u, 0x8004FFFFu}) {
    std::string text = "unchanged";
    EXPECT_FALSE(FormatMessage(MakeResult(bits), kLanguageNeutral, &text)) << std::hex << bits;
  }
}

TEST(MessageTable, AnswersEveryLanguageWithTheSameText) {
  std::string neutral;
  std::string other;
  ASSERT_TRUE(FormatMessage(E_FAIL, kLanguageNeutral, &neutral));
  ASSERT_TRUE(FormatMessage(E_FAIL, 0x409, &other));
  EXPECT_EQ(neutral, other);
}

TEST(ComErrorMessage, LeavesTheDescriptionOut) {
  const ComError error(DB_E_NOTABLE, "SQLite: no such table: t_missing");
  EXPECT_EQ(error.Description(), "SQLite: no such table: t_missing");
  EXPECT_STREQ(error.ErrorMessage(), ComError(DB_E_NOTABLE).ErrorMessage());

  const ComError unknown(MakeResult(0x80040201), "a description");
  EXPECT_STREQ(unknown.ErrorMessage(), "IDispatch error #1");
}

TEST(ComErrorMessage, IsFormedOnceAndStaysValid) {
  const ComError error(E_FILE_NOT_FOUND);
  const char* first = error.ErrorMessage();
  const char* second = error.ErrorMessage();
  EXPECT_EQ(first, second);
  // A copy of the error carries a message of its own.
  const ComError copy = error;
  EXPECT_STREQ(copy.ErrorMessage(), first);
}

TEST(ComErrorRaising, CarriesTheCode) {
  try {
    IssueError(E_BAD_FORMAT);
    FAIL() << "IssueError returned";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), E_BAD_FORMAT);
    EXPECT_EQ(error.Description(), "");
  }
  EXPECT_NO_THROW(CheckResult(S_OK));
  EXPECT_NO_THROW(CheckResult(S_FALSE));
  EXPECT_THROW(CheckResult(E_FAIL), ComError);
}

}  // namespace
