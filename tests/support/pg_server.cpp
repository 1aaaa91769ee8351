// The test server's settings and throw-away databases, through psql. Query
// output separates values and rows with the ASCII unit and record
// separators, which no value of the tests holds, so texts with commas, tabs
// or line breaks come back whole.
#include "support/pg_server.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "support/process.h"
#include "support/temp_dir.h"

namespace testing_support {
namespace {

constexpr char kUnitSeparator = '\x1f';
constexpr char kRecordSeparator = '\x1e';
constexpr char kAdminDatabase[] = "postgres";

PgServer ReadServerEnv(const std::string& path) {
  std::ifstream in(path);
  if (!in) return {};
  PgServer server;
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    if (key == "PG_SOCKET_DIR") server.socket_dir = value;
    if (key == "PG_PORT") server.port = value;
    if (key == "PG_ADMIN") server.admin = value;
    if (key == "PG_USER") server.user = value;
    if (key == "PG_PASSWORD") server.password = value;
  }
  return server;
}

PgServer FindServer() {
  PgServer server = ReadServerEnv(RECONSIDER_PG_SERVER_ENV);
  if (server.port.empty()) {
    if (const char* state = std::getenv("RECONSIDER_TEST_PG_STATE")) {
      server = ReadServerEnv(std::string(state) + "/server.env");
    }
  }
  if (server.port.empty()) {
    throw std::runtime_error(std::string("no test server: ") + RECONSIDER_PG_SERVER_ENV +
                             " is missing (run the tests through ctest, or start one with "
                             "tests/pg/test-server start DIR and set RECONSIDER_TEST_PG_STATE=DIR)");
  }
  return server;
}

std::vector<std::string> AdminArguments(const std::string& database) {
  const PgServer& server = TestPgServer();
  return {"-X", "-q", "-v", "ON_ERROR_STOP=1", "-h", server.socket_dir, "-p", server.port,
          "-U", server.admin, "-d", database};
}

ProcessResult RunPsql(const std::string& database, const std::vector<std::string>& extra) {
  std::vector<std::string> arguments = AdminArguments(database);
  arguments.insert(arguments.end(), extra.begin(), extra.end());
  ProcessResult result = RunProcess("psql", arguments);
  if (result.exit_status != 0) {
    throw std::runtime_error("psql failed on " + database + ": " + result.standard_error);
  }
  return result;
}

std::string UniqueName() {
  static std::atomic<int> counter{0};
  std::random_device seed;
  std::ostringstream name;
  name << "rt_" << ::getpid() << '_' << counter++ << '_' << std::hex << (seed() & 0xFFFFFF);
  return name.str();
}

std::string PercentEncoded(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0xF];
    }
  }
  return encoded;
}

}  // namespace

const PgServer& TestPgServer() {
  static const PgServer server = FindServer();
  return server;
}

void ExecuteAsAdmin(const std::string& name, const std::string& sql) { RunPsql(name, {"-c", sql}); }

PgDatabase::PgDatabase() : name_(UniqueName()) {
  ExecuteAsAdmin(kAdminDatabase, "create database " + name_);
}

PgDatabase::~PgDatabase() {
  try {
    ExecuteAsAdmin(kAdminDatabase, "drop database if exists " + name_ + " with (force)");
  } catch (const std::exception&) {
    // The server may be gone; it takes its databases with it.
  }
}

std::string PgDatabase::Uri() const {
  const PgServer& server = TestPgServer();
  return "postgresql://" + server.user + ":" + PercentEncoded(server.password) + "@127.0.0.1:" + server.port +
         "/" + name_;
}

std::string PgDatabase::SocketUri() const {
  const PgServer& server = TestPgServer();
  return "postgresql://" + server.admin + "@" + PercentEncoded(server.socket_dir) + ":" + server.port + "/" +
         name_;
}

void PgDatabase::Execute(const std::string& sql) const { ExecuteAsAdmin(name_, sql); }

Rows PgDatabase::Query(const std::string& sql) const {
  const ProcessResult result =
      RunPsql(name_, {"-A", "-t", "-F", std::string(1, kUnitSeparator), "-R", std::string(1, kRecordSeparator),
                      "-P", "null=NULL", "-c", sql});
  std::string output = result.standard_output;
  if (!output.empty() && output.back() == '\n') output.pop_back();
  Rows rows;
  if (output.empty()) return rows;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = output.find(kRecordSeparator, start);
    const std::string record = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::vector<std::string> row;
    std::size_t field_start = 0;
    for (;;) {
      const std::size_t field_end = record.find(kUnitSeparator, field_start);
      row.push_back(record.substr(field_start, field_end == std::string::npos ? std::string::npos
                                                                               : field_end - field_start));
      if (field_end == std::string::npos) break;
      field_start = field_end + 1;
    }
    rows.push_back(std::move(row));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return rows;
}

void PgDatabase::LoadSqlite(const std::string& sqlite_path) const {
  const ProcessResult script = RunProcess(std::string(RECONSIDER_SHARED_DIR) + "/tools/sqlite2pg", {sqlite_path});
  if (script.exit_status != 0) throw std::runtime_error("sqlite2pg failed: " + script.standard_error);
  const TempDir dir;
  const std::string script_path = dir.File("load.sql");
  std::ofstream(script_path, std::ios::binary) << script.standard_output;
  RunPsql(name_, {"-f", script_path});
}

Rows PgDatabase::Dump() const {
  Rows dump;
  for (const std::vector<std::string>& table :
       Query("select tablename from pg_tables where schemaname = 'public' order by tablename")) {
    for (std::vector<std::string>& row : Query("select r.* from " + table[0] + " as r order by r")) {
      row.insert(row.begin(), table[0]);
      dump.push_back(std::move(row));
    }
  }
  return dump;
}

}  // namespace testing_support
