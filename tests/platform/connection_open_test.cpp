// Opening a Connection: the connection text, the provider it names, and the
// file behind "Data Source=", told apart by content: SQLite repositories
// open, everything else fails with the cause's code before any statement.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "ado_fixture.h"
#include "com/hresult.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace platform_testing;
using platform::S_OK;
using testing_support::ComTest;
using testing_support::CopyFile;
using testing_support::ExecuteSql;
using testing_support::FixturePath;
using testing_support::TempDir;

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// A small repository whose one row tells which file was opened.
void CreateMarkedRepository(const std::string& path, const std::string& marker) {
  ExecuteSql(path, "create table marker (name text); insert into marker values ('" + marker + "');");
}

std::string MarkerOf(const ComPtr<ado::Connection>& connection) {
  const std::vector<std::string> names = QueryColumn(connection, "select name from marker", "name");
  return names.size() == 1 ? names[0] : "(" + std::to_string(names.size()) + " rows)";
}

HRESULT OpenResult(const std::string& connection_text) {
  return ErrorOf([&] { OpenConnectionText(connection_text); });
}

using ConnectionOpen = ComTest;

TEST_F(ConnectionOpen, OpensTheExactFileWhateverCharactersItsPathHolds) {
  TempDir dir;
  const std::string folder = dir.File("a folder; with 'quotes'");
  std::filesystem::create_directory(folder);
  const std::string path = folder + "/repo;Data Source=other \"v2\" 'x'.sqlite";
  CreateMarkedRepository(path, "wanted");
  // Files a parser that stops early at ";" or a quote would open instead.
  CreateMarkedRepository(dir.File("a folder"), "cut at the semicolon");
  CreateMarkedRepository(folder + "/repo", "cut at the second semicolon");

  const ComPtr<ado::Connection> connection = OpenConnection(path);
  EXPECT_EQ(MarkerOf(connection), "wanted");
}

TEST_F(ConnectionOpen, KeyWordsAndProviderNameIgnoreCase) {
  TempDir dir;
  const std::string path = dir.File("repo.sqlite");
  CreateMarkedRepository(path, "lower case");
  const ComPtr<ado::Connection> connection =
      OpenConnectionText("provider=MICROSOFT.jet.oledb.4.0;DATA SOURCE=" + path);
  EXPECT_EQ(MarkerOf(connection), "lower case");
}

// Restores the working folder at the end of a test that changes it.
class WorkingFolder {
 public:
  explicit WorkingFolder(const std::string& path) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(path);
  }
  ~WorkingFolder() { std::filesystem::current_path(previous_); }
  WorkingFolder(const WorkingFolder&) = delete;
  WorkingFolder& operator=(const WorkingFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

TEST_F(ConnectionOpen, RelativePathsAreFilesEvenWhenTheyLookLikeEngineNames) {
  TempDir dir;
  for (const char* name : {":memory:", "file:repo.sqlite", "plain.sqlite"}) {
    CreateMarkedRepository(dir.File(name), name);
  }
  const WorkingFolder here(dir.Path());
  for (const char* name : {":memory:", "file:repo.sqlite", "plain.sqlite"}) {
    SCOPED_TRACE(name);
    EXPECT_EQ(MarkerOf(OpenConnection(name)), name);
  }
}

struct OpenCase {
  const char* name;
  // Makes the file (or not) in the scratch folder and returns the data source.
  std::function<std::string(const TempDir&)> make;
  HRESULT expected;
};

std::string CopyOf(const TempDir& dir, const std::string& fixture) {
  const std::string path = dir.File(std::filesystem::path(fixture).filename().string());
  CopyFile(FixturePath(fixture), path);
  return path;
}

const OpenCase kOpenCases[] = {
    {"SqliteRepository", [](const TempDir& dir) { return CopyOf(dir, "repositories/sample.sqlite"); }, S_OK},
    {"EmptySqliteDatabase",
     [](const TempDir& dir) {
       const std::string path = dir.File("empty-db.sqlite");
       ExecuteSql(path, "pragma user_version = 1;");
       return path;
     },
     S_OK},
    {"MissingFile", [](const TempDir& dir) { return dir.File("missing.sqlite"); }, platform::E_FILE_NOT_FOUND},
    {"EmptyDataSource", [](const TempDir&) { return std::string(); }, platform::E_FILE_NOT_FOUND},
    {"MissingFolder", [](const TempDir& dir) { return dir.File("no-such-folder/repo.sqlite"); },
     platform::E_PATH_NOT_FOUND},
    {"Folder", [](const TempDir& dir) { return dir.Path(); }, platform::E_DIRECTORY},
    {"FileUsedAsFolder",
     [](const TempDir& dir) {
       WriteFile(dir.File("plain"), "x");
       return dir.File("plain/repo.sqlite");
     },
     platform::E_PATH_NOT_FOUND},
    {"TextFile",
     [](const TempDir& dir) {
       WriteFile(dir.File("notes.sqlite"), "object_id,name\n100,Marker\n");
       return dir.File("notes.sqlite");
     },
     platform::E_BAD_FORMAT},
    {"EmptyFile",
     [](const TempDir& dir) {
       WriteFile(dir.File("empty.sqlite"), "");
       return dir.File("empty.sqlite");
     },
     platform::E_BAD_FORMAT},
    {"AlmostTheSqliteSignature",
     [](const TempDir& dir) {
       WriteFile(dir.File("near.sqlite"), std::string("SQLite format 2\0", 16) + std::string(4080, '\0'));
       return dir.File("near.sqlite");
     },
     platform::E_BAD_FORMAT},
    {"SqliteSignatureOverGarbage",
     [](const TempDir& dir) {
       WriteFile(dir.File("garbage.sqlite"), std::string("SQLite format 3\0", 16) + std::string(8176, '\x5A'));
       return dir.File("garbage.sqlite");
     },
     platform::E_BAD_FORMAT},
    {"SqliteFileCutAfterItsSecondPage",
     [](const TempDir& dir) {
       WriteFile(dir.File("cut.sqlite"),
                 testing_support::ReadFileBytes(FixturePath("repositories/sample.sqlite")).substr(0, 8192));
       return dir.File("cut.sqlite");
     },
     platform::E_FILE_CORRUPT},
    {"Fifo",
     [](const TempDir& dir) {
       // Opening a pipe for reading must not wait for a writer.
       ::mkfifo(dir.File("pipe").c_str(), 0600);
       return dir.File("pipe");
     },
     platform::E_BAD_FORMAT},
    {"Device", [](const TempDir&) { return std::string("/dev/null"); }, platform::E_BAD_FORMAT},
    {"SymlinkToRepository",
     [](const TempDir& dir) {
       CopyFile(FixturePath("repositories/sample.sqlite"), dir.File("target.sqlite"));
       std::filesystem::create_symlink(dir.File("target.sqlite"), dir.File("link.sqlite"));
       return dir.File("link.sqlite");
     },
     S_OK},
    {"SymlinkLoop",
     [](const TempDir& dir) {
       std::filesystem::create_symlink(dir.File("loop-b"), dir.File("loop-a"));
       std::filesystem::create_symlink(dir.File("loop-a"), dir.File("loop-b"));
       return dir.File("loop-a");
     },
     platform::E_PATH_NOT_FOUND},
    {"NameTooLong", [](const TempDir& dir) { return dir.File(std::string(300, 'n') + ".sqlite"); },
     platform::E_PATH_NOT_FOUND},
    {"AceFile", [](const TempDir& dir) { return CopyOf(dir, "third-party/ace-sample.accdb"); },
     platform::E_BAD_FORMAT},
    {"JetSignatureWithAceVersion",
     [](const TempDir& dir) { return CopyOf(dir, "damaged/open-version-ace.mdb"); }, platform::E_BAD_FORMAT},
    {"JetSignatureWithUnknownVersion",
     [](const TempDir& dir) { return CopyOf(dir, "damaged/open-version-unknown.mdb"); }, platform::E_BAD_FORMAT},
    {"ZeroLengthMdb", [](const TempDir& dir) { return CopyOf(dir, "damaged/open-empty.mdb"); },
     platform::E_BAD_FORMAT},
    {"Jet4File", [](const TempDir& dir) { return CopyOf(dir, "repositories/sample.mdb"); }, S_OK},
    {"Jet3File", [](const TempDir& dir) { return CopyOf(dir, "repositories/sample-jet3.mdb"); }, S_OK},
    {"JetFileCutAfterItsHeader", [](const TempDir& dir) { return CopyOf(dir, "damaged/open-cut-header.mdb"); },
     platform::E_FILE_CORRUPT},
    {"JetFileWithGarbledCatalog",
     [](const TempDir& dir) { return CopyOf(dir, "damaged/open-msysobjects-garbage.mdb"); },
     platform::E_FILE_CORRUPT},
    {"JetFileCutShort", [](const TempDir& dir) { return CopyOf(dir, "damaged/open-truncated.mdb"); },
     platform::E_FILE_CORRUPT},
    {"JetCatalogPropertyLoop",
     [](const TempDir& dir) { return CopyOf(dir, "damaged/open-catalog-property-loop.mdb"); },
     platform::E_FILE_CORRUPT},
    {"SqliteFileNamedMdb",
     [](const TempDir& dir) {
       CopyFile(FixturePath("repositories/sample.sqlite"), dir.File("repository.mdb"));
       return dir.File("repository.mdb");
     },
     S_OK},
    {"JetFileNamedSqlite",
     [](const TempDir& dir) {
       CopyFile(FixturePath("repositories/sample.mdb"), dir.File("repository.sqlite"));
       return dir.File("repository.sqlite");
     },
     S_OK},
};

void PrintTo(const OpenCase& open_case, std::ostream* out) { *out << open_case.name; }

class DataSource : public ComTest, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(DataSource, OpensOrFailsWithTheCauseAndLeavesTheFileAlone) {
  TempDir dir;
  const std::string source = GetParam().make(dir);
  std::error_code ignored;
  const bool is_file = std::filesystem::is_regular_file(source, ignored);
  const std::string before = is_file ? testing_support::ReadFileBytes(source) : std::string();
  {
    const ComPtr<ado::Connection> connection = MakeConnection();
    const BString text{std::string_view(JetConnectionText(source))};
    const HRESULT result = connection->raw_Open(text.Get(), nullptr, nullptr, ado::adConnectUnspecified);
    EXPECT_EQ(Hex(result), Hex(GetParam().expected)) << source;
    if (platform::Succeeded(result)) connection->Close();
  }
  if (is_file) {
    EXPECT_EQ(testing_support::ReadFileBytes(source), before) << "the open changed the file";
  }
}

INSTANTIATE_TEST_SUITE_P(Files, DataSource, ::testing::ValuesIn(kOpenCases),
                         [](const ::testing::TestParamInfo<OpenCase>& case_info) {
                           return std::string(case_info.param.name);
                         });

struct TextCase {
  const char* name;
  const char* head;  // put before the path of a repository that exists
  HRESULT expected;
};

void PrintTo(const TextCase& printed, std::ostream* out) { *out << printed.name; }

class ConnectionTextForm : public ComTest, public ::testing::WithParamInterface<TextCase> {};

TEST_P(ConnectionTextForm, IsCheckedBeforeTheFile) {
  TempDir dir;
  const std::string path = dir.File("repo.sqlite");
  CreateMarkedRepository(path, "x");
  EXPECT_EQ(Hex(OpenResult(GetParam().head + path)), Hex(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ConnectionTextForm,
    ::testing::Values(
        TextCase{"UnknownProvider", "Provider=SQLOLEDB;Data Source=", platform::adErrProviderNotFound},
        TextCase{"OtherJetVersion", "Provider=Microsoft.Jet.OLEDB.3.51;Data Source=", platform::adErrProviderNotFound},
        TextCase{"EmptyProvider", "Provider=;Data Source=", platform::adErrProviderNotFound},
        TextCase{"NoProvider", "Data Source=", platform::E_CONNECTION_TEXT},
        TextCase{"OtherKeyAfterProvider", "Provider=Microsoft.Jet.OLEDB.4.0;User ID=admin;Data Source=",
                 platform::E_CONNECTION_TEXT},
        TextCase{"SpaceBeforeKey", " Provider=Microsoft.Jet.OLEDB.4.0;Data Source=", platform::E_CONNECTION_TEXT}),
    [](const ::testing::TestParamInfo<TextCase>& case_info) { return std::string(case_info.param.name); });

TEST_F(ConnectionOpen, UnknownProviderFailsEvenForAMissingFile) {
  EXPECT_EQ(Hex(OpenResult("Provider=MSDASQL;Data Source=/no/such/file")), Hex(platform::adErrProviderNotFound));
  EXPECT_EQ(Hex(OpenResult("Provider=Microsoft.Jet.OLEDB.4.0")), Hex(platform::E_CONNECTION_TEXT));
  EXPECT_EQ(Hex(OpenResult("")), Hex(platform::E_CONNECTION_TEXT));
}

TEST_F(ConnectionOpen, FailedOpenLeavesTheConnectionClosedAndReusable) {
  TempDir dir;
  const std::string path = dir.File("repo.sqlite");
  CreateMarkedRepository(path, "second try");
  const ComPtr<ado::Connection> connection = MakeConnection();
  const BString missing{std::string_view(JetConnectionText(dir.File("missing")))};
  EXPECT_EQ(connection->raw_Open(missing.Get(), nullptr, nullptr, ado::adConnectUnspecified),
            platform::E_FILE_NOT_FOUND);
  EXPECT_EQ(ErrorOf([&] { connection->Close(); }), platform::adErrObjectClosed);
  const BString good{std::string_view(JetConnectionText(path))};
  connection->Open(good.Get(), nullptr, nullptr, ado::adConnectUnspecified);
  EXPECT_EQ(MarkerOf(connection), "second try");
}

TEST_F(ConnectionOpen, OpenAndCloseFollowTheConnectionState) {
  TempDir dir;
  const std::string path = dir.File("repo.sqlite");
  CreateMarkedRepository(path, "state");
  const BString text{std::string_view(JetConnectionText(path))};
  const ComPtr<ado::Connection> connection = MakeConnection();

  EXPECT_EQ(connection->raw_Open(text.Get(), nullptr, nullptr, 0), platform::adErrInvalidArgument);
  EXPECT_EQ(connection->raw_Close(), platform::adErrObjectClosed);
  EXPECT_EQ(connection->raw_Open(text.Get(), nullptr, nullptr, ado::adConnectUnspecified), S_OK);
  EXPECT_EQ(connection->raw_Open(text.Get(), nullptr, nullptr, ado::adConnectUnspecified),
            platform::adErrObjectOpen);
  EXPECT_EQ(connection->raw_Close(), S_OK);
  EXPECT_EQ(connection->raw_Close(), platform::adErrObjectClosed);
  // A closed connection runs nothing.
  EXPECT_EQ(ErrorOf([&] { QueryColumn(connection, "select name from marker", "name"); }),
            platform::adErrInvalidConnection);
  // And opens again.
  EXPECT_EQ(connection->raw_Open(text.Get(), nullptr, nullptr, ado::adConnectUnspecified), S_OK);
  EXPECT_EQ(MarkerOf(connection), "state");
}

TEST_F(ConnectionOpen, FailureCarriesADescriptionNamingTheFile) {
  TempDir dir;
  const std::string path = dir.File("missing-repository.sqlite");
  try {
    OpenConnection(path);
    FAIL() << "opened a missing file";
  } catch (const ComError& error) {
    EXPECT_EQ(error.Error(), platform::E_FILE_NOT_FOUND);
    EXPECT_NE(error.Description().find("missing-repository.sqlite"), std::string::npos) << error.Description();
    EXPECT_EQ(std::string(error.ErrorMessage()).find("missing-repository"), std::string::npos);
  }
}

}  // namespace
