// Whole runs on repositories served by PostgreSQL: the models of the SQLite
// runs give the same lines, exit statuses and rows; a run whose connection
// is cut after a step or during the update, or that cannot log in, prints
// one line, exits with status 1 and leaves the server's rows as they were.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <future>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "run/model_cases.h"
#include "run/run_checks.h"
#include "support/pg_server.h"
#include "support/process.h"
#include "support/sqlite_file.h"
#include "support/temp_dir.h"

namespace {

using namespace testing_support;
using namespace run_checks;
using namespace model_cases;

// A server repository holding the rows of `model` (SQL on the shared schema).
std::unique_ptr<PgDatabase> ServedModel(const std::string& model) {
  TempDir dir;
  const std::string source = dir.File("model.sqlite");
  CreateRepository(source, "begin;\n" + model + "commit;\n");
  auto database = std::make_unique<PgDatabase>();
  database->LoadSqlite(source);
  return database;
}

std::size_t ServerColumnIndex(const PgDatabase& database, const std::string& table, const std::string& column) {
  const Rows found = database.Query(
      "select ordinal_position from information_schema.columns where table_schema = current_schema() and "
      "table_name = " + SqlText(table) + " and column_name = " + SqlText(column));
  if (found.size() != 1) throw std::runtime_error(table + "." + column + " is missing");
  return std::stoul(found[0][0]) - 1;
}

// `before` (a Dump) as it should read once the elements `ids` are tagged.
Rows ServerDumpWithTagged(const Rows& before, const PgDatabase& database, const std::vector<std::string>& ids) {
  // Dump puts the table name before the columns.
  const std::size_t id_column = ServerColumnIndex(database, "t_object", "object_id") + 1;
  const std::size_t tagged_column = ServerColumnIndex(database, "t_object", "tagged") + 1;
  const std::set<std::string> wanted(ids.begin(), ids.end());
  Rows after = before;
  for (std::vector<std::string>& row : after) {
    if (row[0] == "t_object" && wanted.count(row[id_column]) != 0) row[tagged_column] = "1";
  }
  std::sort(after.begin(), after.end());
  return after;
}

Rows SortedDump(const PgDatabase& database) {
  Rows rows = database.Dump();
  std::sort(rows.begin(), rows.end());
  return rows;
}

// The checks of ExpectRun, for a served repository: lines, status, an empty
// standard error, and the rows afterwards.
void ExpectServerRun(const PgDatabase& database, const Expectation& expected, const std::string& uri = "") {
  const Rows before = SortedDump(database);
  const ProcessResult result = RunTool({uri.empty() ? database.Uri() : uri});
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_EQ(result.exit_status, expected.status);
  EXPECT_TRUE(LinesMatch(expected.lines, result.Lines()));
  const bool succeeded = expected.status == 0 && expected.lines.size() == 4;
  EXPECT_EQ(SortedDump(database),
            succeeded ? ServerDumpWithTagged(before, database, Split(expected.lines[3], ',')) : before);
}

// ---------------------------------------------------------------------------
// The models of the file formats.

template <std::size_t N>
std::vector<ModelCase> ServableCases(const ModelCase (&cases)[N]) {
  std::vector<ModelCase> servable;
  for (const ModelCase& model : cases) {
    // A text in a number column cannot be copied into a typed server column.
    if (!model.sqlite_only) servable.push_back(model);
  }
  return servable;
}

class ServerModelRuns : public ::testing::TestWithParam<ModelCase> {};

TEST_P(ServerModelRuns, PrintTheLinesAndTagTheRealisers) {
  const auto database = ServedModel(GetParam().rows);
  ExpectServerRun(*database, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(PackageTrees, ServerModelRuns, ::testing::ValuesIn(ServableCases(kTreeCases)), CaseName());
INSTANTIATE_TEST_SUITE_P(Selections, ServerModelRuns, ::testing::ValuesIn(ServableCases(kSelectionCases)),
                         CaseName());
INSTANTIATE_TEST_SUITE_P(EarlyEnds, ServerModelRuns, ::testing::ValuesIn(ServableCases(kStopCases)), CaseName());

// A GUID holding SQL reaches the server as a value: it matches no package,
// and every table is still there afterwards.
TEST(ServerRuns, AGuidHoldingSqlMatchesNothing) {
  for (const std::string& guid : {std::string("x' or '1'='1"), std::string("'; drop table t_package; --")}) {
    const auto database = ServedModel(Marker(guid) + Package(10, 0, kRoot) + Requirement(100, 10) + Flag(100) +
                                      Class(200, 10) + Realises(200, 100));
    ExpectServerRun(*database, {{guid}, 1});
    EXPECT_EQ(database->Query("select count(*) from t_package"), (Rows{{"1"}}));
  }
}

// libpq is loaded only for a server: with a broken libpq.so.5 first on the
// library path, a file still runs as always, and a server address gets one
// line saying the library is missing.
TEST(ServerRuns, TheClientLibraryIsLoadedOnlyForAServer) {
  TempDir dir;
  const std::string fake_library = dir.File("libpq.so.5");
  std::ofstream(fake_library).close();
  const std::string file = dir.File("sample.sqlite");
  CreateSampleRepository(file);
  const std::string with_broken_library = "LD_LIBRARY_PATH=" + dir.Path();

  const ProcessResult file_run = RunProcess("env", {with_broken_library, RECONSIDER_TOOL_PATH, file});
  EXPECT_EQ(file_run.exit_status, 0) << file_run.standard_output;
  EXPECT_EQ(file_run.Lines().size(), 4u);

  const ProcessResult server_run =
      RunProcess("env", {with_broken_library, RECONSIDER_TOOL_PATH, "postgresql://tagger@127.0.0.1:1/db"});
  EXPECT_EQ(server_run.exit_status, 1);
  EXPECT_EQ(server_run.standard_error, "");
  EXPECT_EQ(server_run.Lines(),
            (std::vector<std::string>{
                "The PostgreSQL client library (libpq5) is not installed, so no server repository can be opened."}));
}

// ---------------------------------------------------------------------------
// Connections that fail.

struct UnreachableCase {
  std::string name;
  std::string (*uri)(const PgDatabase& database);
};

// A port nothing listens on: one the system just gave out and took back.
int FreePort() {
  const int socket_fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(socket_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(socket_fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(socket_fd);
  if (port == 0) throw std::runtime_error("no free port");
  return port;
}

std::string FreePortUri(const PgDatabase&) {
  const PgServer& server = TestPgServer();
  return "postgresql://" + server.user + ":" + server.password + "@127.0.0.1:" + std::to_string(FreePort()) +
         "/postgres";
}

std::string WrongPasswordUri(const PgDatabase& database) {
  const PgServer& server = TestPgServer();
  return "postgresql://" + server.user + ":not-" + server.password + "@127.0.0.1:" + server.port + "/" +
         database.Name();
}

std::string MissingDatabaseUri(const PgDatabase& database) {
  const PgServer& server = TestPgServer();
  return "postgresql://" + server.user + ":" + server.password + "@127.0.0.1:" + server.port + "/" +
         database.Name() + "_missing";
}

const UnreachableCase kUnreachable[] = {
    {"ServerNotRunning", FreePortUri},
    {"WrongPassword", WrongPasswordUri},
    {"DatabaseMissing", MissingDatabaseUri},
};

class UnreachableRepository : public ::testing::TestWithParam<UnreachableCase> {};

TEST_P(UnreachableRepository, OneLineNoPasswordAndNothingChanged) {
  const auto database = ServedModel(SmallModel());
  const Rows before = SortedDump(*database);
  const std::string uri = GetParam().uri(*database);
  const ProcessResult result = RunTool({uri});
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "");
  ASSERT_EQ(result.Lines().size(), 1u) << result.standard_output;
  EXPECT_EQ(result.standard_output.find(TestPgServer().password), std::string::npos) << result.standard_output;
  EXPECT_EQ(SortedDump(*database), before);
}

INSTANTIATE_TEST_SUITE_P(Connections, UnreachableRepository, ::testing::ValuesIn(kUnreachable),
                         [](const ::testing::TestParamInfo<UnreachableCase>& test) { return test.param.name; });

// ---------------------------------------------------------------------------
// Connections cut while the tool runs.

// A second session on the database, as the administrator, kept open by a
// psql process until the object ends. Its pipe is close-on-exec ("e"), so
// the tool started meanwhile does not keep psql's input open.
class SecondSession {
 public:
  explicit SecondSession(const PgDatabase& database)
      : psql_(popen(("psql -X -q -v ON_ERROR_STOP=1 -d '" + database.SocketUri() + "' >/dev/null 2>&1").c_str(),
                    "we")) {
    if (psql_ == nullptr) throw std::runtime_error("cannot start psql");
  }
  ~SecondSession() {
    Send("rollback;\n\\q\n");
    pclose(psql_);
  }
  SecondSession(const SecondSession&) = delete;
  SecondSession& operator=(const SecondSession&) = delete;

  void Send(const std::string& sql) {
    std::fputs(sql.c_str(), psql_);
    std::fflush(psql_);
  }

 private:
  FILE* psql_;
};

// Runs `query` until it gives a row; false when it never does.
bool WaitForRow(const PgDatabase& database, const std::string& query) {
  constexpr auto kPatience = std::chrono::seconds(30);
  constexpr auto kPoll = std::chrono::milliseconds(20);
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!database.Query(query).empty()) return true;
    std::this_thread::sleep_for(kPoll);
  }
  return false;
}

// Waits until the tool's backend is seen in `state_condition` (SQL over
// pg_stat_activity), then ends it.
bool TerminateToolBackendWhen(const PgDatabase& database, const std::string& state_condition) {
  return WaitForRow(database,
                    "select pg_terminate_backend(pid) from pg_stat_activity where datname = current_database() and "
                    "pid <> pg_backend_pid() and usename = " + SqlText(TestPgServer().user) + " and " +
                        state_condition);
}

struct CutCase {
  std::string name;
  std::string locked_table;  // the first table of the step the tool is cut in
  std::vector<std::string> lines;
};

const CutCase kCuts[] = {
    {"AfterTheGuidAsTheLookupBegins", "t_package", {kRoot, kErrorLine}},
    {"AfterTheSelectionAsTheRealisersAreSought", "t_connector", {kRoot, "10", "100", kErrorLine}},
};

class CutBetweenSteps : public ::testing::TestWithParam<CutCase> {};

// The steps before ran; the backend is ended while it waits for a table a
// second session holds, before the next step read anything.
TEST_P(CutBetweenSteps, OneErrorLineStatusOneAndNothingChanged) {
  const auto database = ServedModel(SmallModel());
  const Rows before = SortedDump(*database);
  ProcessResult result;
  {
    SecondSession holder(*database);
    holder.Send("begin;\nlock table " + GetParam().locked_table + " in access exclusive mode;\n");
    ASSERT_TRUE(WaitForRow(*database, "select 1 from pg_locks join pg_class on relation = pg_class.oid where relname = " +
                                          SqlText(GetParam().locked_table) + " and mode = 'AccessExclusiveLock' and granted"));
    auto run = std::async(std::launch::async, [&] { return RunTool({database->Uri()}); });
    EXPECT_TRUE(TerminateToolBackendWhen(*database, "wait_event_type = 'Lock'"));
    result = run.get();
  }
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_TRUE(LinesMatch(GetParam().lines, result.Lines()));
  EXPECT_EQ(SortedDump(*database), before);
}

INSTANTIATE_TEST_SUITE_P(Steps, CutBetweenSteps, ::testing::ValuesIn(kCuts),
                         [](const ::testing::TestParamInfo<CutCase>& test) { return test.param.name; });

// The update runs (held up by a trigger) when its backend is ended: the
// server rolls the transaction back and the run says so and exits with 1.
TEST(CutDuringTheUpdate, ErrorLineStatusOneAndNoTag) {
  const auto database = ServedModel(SmallModel());
  database->Execute(
      "create function hold_update() returns trigger language plpgsql as "
      "$$ begin perform pg_sleep(60); return null; end $$;\n"
      "create trigger hold_update before update on t_object for each statement execute function hold_update();\n");
  const Rows before = SortedDump(*database);
  auto run = std::async(std::launch::async, [&] { return RunTool({database->Uri()}); });
  EXPECT_TRUE(TerminateToolBackendWhen(*database, "state = 'active' and query like 'update t_object%'"));
  const ProcessResult result = run.get();
  EXPECT_EQ(result.signal, 0);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, "");
  EXPECT_TRUE(LinesMatch({kRoot, "10", "100", "200", kErrorLine}, result.Lines()));
  EXPECT_EQ(SortedDump(*database), before);
}

}  // namespace
