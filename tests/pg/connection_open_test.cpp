// Opening a Connection on a postgresql:// address: what libpq's conventions
// fill in, each way of failing with its own code, no password in any message
// or description, a bounded wait for a server that never answers, and
// nothing printed by libpq on the way.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <string>

#include "pg/pg_fixture.h"

namespace {

using namespace pg_testing;
using testing_support::TestPgServer;

// A TCP port on 127.0.0.1: listening but never answering, or (once closed)
// with nothing behind it.
class LocalPort {
 public:
  explicit LocalPort(bool listen) {
    socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (socket_ < 0 || ::bind(socket_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
        (listen && ::listen(socket_, 4) != 0)) {
      throw std::runtime_error("cannot make a local port");
    }
    port_ = std::to_string(ntohs(address.sin_port));
    if (!listen) Close();
  }
  ~LocalPort() { Close(); }
  LocalPort(const LocalPort&) = delete;
  LocalPort& operator=(const LocalPort&) = delete;

  const std::string& Port() const { return port_; }

 private:
  void Close() {
    if (socket_ >= 0) ::close(socket_);
    socket_ = -1;
  }

  int socket_ = -1;
  std::string port_;
};

std::string TcpAddress(const std::string& user_information, const std::string& port, const std::string& database) {
  return "postgresql://" + user_information + "@127.0.0.1:" + port + "/" + database;
}

constexpr char kWrongPassword[] = "Wr0ng-pa55word";

struct FailureCase {
  const char* name;
  // The address, given the test's database.
  std::function<std::string(const PgDatabase&)> address;
  HRESULT expected;
};

void PrintTo(const FailureCase& printed, std::ostream* out) { *out << printed.name; }

class PgOpenFailure : public testing_support::ComTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(PgOpenFailure, HasItsOwnCodeAndKeepsPasswordsOutOfEveryText) {
  // Nothing of the machine's own may log the user in.
  const ScopedEnvironment no_password("PGPASSWORD", std::nullopt);
  const ScopedEnvironment no_password_file("PGPASSFILE", "/nonexistent/pgpass");
  PgDatabase database;
  const std::string address = GetParam().address(database);

  std::optional<ComError> error;
  OutputWatch watch;
  error = RaisedBy([&] { OpenServer(address); });
  const std::string printed = watch.Finish();

  ASSERT_TRUE(error) << address << " opened";
  EXPECT_EQ(Hex(error->Error()), Hex(GetParam().expected)) << error->Description();
  EXPECT_EQ(printed, "");
  EXPECT_FALSE(error->Description().empty());
  for (const std::string& secret : {std::string(kWrongPassword), TestPgServer().password}) {
    EXPECT_EQ(std::string(error->ErrorMessage()).find(secret), std::string::npos);
    EXPECT_EQ(error->Description().find(secret), std::string::npos) << error->Description();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, PgOpenFailure,
    ::testing::Values(
        FailureCase{"NothingListening",
                    [](const PgDatabase& database) {
                      const LocalPort closed(false);
                      return TcpAddress("tagger:" + TestPgServer().password, closed.Port(), database.Name());
                    },
                    platform::E_SERVER_UNREACHABLE},
        FailureCase{"NoSocketAtThePath",
                    [](const PgDatabase& database) {
                      return "postgresql://postgres@%2Fnonexistent%2Fsocket:" + TestPgServer().port + "/" +
                             database.Name();
                    },
                    platform::E_SERVER_UNREACHABLE},
        FailureCase{"WrongPassword",
                    [](const PgDatabase& database) {
                      return TcpAddress(std::string("tagger:") + kWrongPassword, TestPgServer().port,
                                        database.Name());
                    },
                    platform::DB_SEC_E_AUTH_FAILED},
        FailureCase{"WrongPasswordAsQueryParameter",
                    [](const PgDatabase& database) {
                      return TcpAddress("tagger", TestPgServer().port, database.Name()) + "?password=" +
                             kWrongPassword;
                    },
                    platform::DB_SEC_E_AUTH_FAILED},
        FailureCase{"UnknownUser",
                    [](const PgDatabase& database) {
                      return TcpAddress(std::string("nobody:") + kWrongPassword, TestPgServer().port,
                                        database.Name());
                    },
                    platform::DB_SEC_E_AUTH_FAILED},
        FailureCase{"NoPasswordGiven",
                    [](const PgDatabase& database) {
                      return TcpAddress("tagger", TestPgServer().port, database.Name());
                    },
                    platform::DB_SEC_E_AUTH_FAILED},
        FailureCase{"MissingDatabase",
                    [](const PgDatabase& database) {
                      return TcpAddress("tagger:" + TestPgServer().password, TestPgServer().port,
                                        database.Name() + "_missing");
                    },
                    platform::E_DATABASE_NOT_FOUND},
        // libpq's own message quotes the broken escape, password and all.
        FailureCase{"BadEscapeInThePassword",
                    [](const PgDatabase& database) {
                      return TcpAddress(std::string("tagger:%zz") + kWrongPassword, TestPgServer().port,
                                        database.Name());
                    },
                    platform::E_SERVER_ADDRESS},
        FailureCase{"UnknownQueryParameter",
                    [](const PgDatabase& database) {
                      return TcpAddress(std::string("tagger:") + kWrongPassword, TestPgServer().port,
                                        database.Name()) +
                             "?no_such_option=1";
                    },
                    platform::E_SERVER_ADDRESS}),
    CaseName());

using PgOpen = testing_support::ComTest;

std::string CurrentUser(const ComPtr<ado::Connection>& connection) {
  const std::vector<std::string> users = QueryColumn(connection, "select current_user as u", "u");
  return users.size() == 1 ? users[0] : "(" + std::to_string(users.size()) + " rows)";
}

TEST_F(PgOpen, OpensOverTcpWithAPasswordAndOverTheSocket) {
  PgDatabase database;
  EXPECT_EQ(CurrentUser(OpenServer(database.Uri())), TestPgServer().user);
  EXPECT_EQ(CurrentUser(OpenServer(database.SocketUri())), TestPgServer().admin);
  // The short scheme, and the socket folder as a query parameter.
  const std::string short_scheme = database.Uri().replace(0, std::string("postgresql").size(), "postgres");
  EXPECT_EQ(CurrentUser(OpenServer(short_scheme)), TestPgServer().user);
  EXPECT_EQ(CurrentUser(OpenServer("postgresql:///" + database.Name() + "?host=" + TestPgServer().socket_dir +
                                   "&port=" + TestPgServer().port + "&user=postgres")),
            TestPgServer().admin);
}

TEST_F(PgOpen, SchemeInAnotherCaseIsAFilePath) {
  PgDatabase database;
  std::string address = database.Uri();
  address.replace(0, std::string("postgresql").size(), "PostgreSQL");
  EXPECT_EQ(Hex(ErrorOf([&] { OpenServer(address); })), Hex(platform::E_PATH_NOT_FOUND));
}

TEST_F(PgOpen, EnvironmentFillsInWhatTheAddressLeavesOut) {
  PgDatabase database;
  const ScopedEnvironment user("PGUSER", TestPgServer().user);
  const ScopedEnvironment password("PGPASSWORD", TestPgServer().password);
  const ScopedEnvironment port("PGPORT", TestPgServer().port);
  EXPECT_EQ(CurrentUser(OpenServer("postgresql://127.0.0.1/" + database.Name())), TestPgServer().user);
}

// libpq reads a password file only when no one else may read it, and warns
// on standard error about one it ignores; neither warning may get out.
TEST_F(PgOpen, PasswordFileIsUsedWhenPrivateAndIgnoredSilentlyOtherwise) {
  PgDatabase database;
  testing_support::TempDir dir;
  const std::string file = dir.File("pgpass");
  std::ofstream(file) << "127.0.0.1:" << TestPgServer().port << ":*:" << TestPgServer().user << ":"
                      << TestPgServer().password << "\n";
  const ScopedEnvironment no_password("PGPASSWORD", std::nullopt);
  const ScopedEnvironment password_file("PGPASSFILE", file);
  const std::string address = TcpAddress(TestPgServer().user, TestPgServer().port, database.Name());

  ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
  HRESULT shared_file = platform::S_OK;
  OutputWatch watch;
  shared_file = ErrorOf([&] { OpenServer(address); });
  EXPECT_EQ(watch.Finish(), "");
  EXPECT_EQ(Hex(shared_file), Hex(platform::DB_SEC_E_AUTH_FAILED));

  ASSERT_EQ(::chmod(file.c_str(), 0600), 0);
  EXPECT_EQ(CurrentUser(OpenServer(address)), TestPgServer().user);
}

// A server that accepts the connection and never says a word: the attempt
// ends after the connect timeout the address sets, or else the one of
// PGCONNECT_TIMEOUT, or else the default of 10 seconds.
struct WaitCase {
  const char* name;
  const char* query;
  const char* environment;  // PGCONNECT_TIMEOUT, or null for none
  double at_least_seconds;
  double at_most_seconds;
};

void PrintTo(const WaitCase& printed, std::ostream* out) { *out << printed.name; }

class PgSilentServer : public testing_support::ComTest, public ::testing::WithParamInterface<WaitCase> {};

TEST_P(PgSilentServer, IsGivenUpOnInTime) {
  const ScopedEnvironment timeout("PGCONNECT_TIMEOUT", GetParam().environment == nullptr
                                                           ? std::nullopt
                                                           : std::optional<std::string>(GetParam().environment));
  const LocalPort silent(true);
  const std::string address = TcpAddress(std::string("tagger:") + kWrongPassword, silent.Port(), "db") + GetParam().query;
  const auto start = std::chrono::steady_clock::now();
  const HRESULT result = ErrorOf([&] { OpenServer(address); });
  const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(Hex(result), Hex(platform::E_SERVER_UNREACHABLE));
  EXPECT_GE(waited.count(), GetParam().at_least_seconds);
  EXPECT_LE(waited.count(), GetParam().at_most_seconds);
}

INSTANTIATE_TEST_SUITE_P(Timeouts, PgSilentServer,
                         ::testing::Values(WaitCase{"AddressTimeout", "?connect_timeout=3", nullptr, 2.9, 6},
                                           WaitCase{"AddressOverEnvironment", "?connect_timeout=3", "20", 2.9, 6},
                                           WaitCase{"EnvironmentTimeout", "", "4", 3.9, 7},
                                           WaitCase{"DefaultTimeout", "", nullptr, 9.9, 14}),
                         CaseName());

}  // namespace
