// Opening a connection: libpq's non-blocking start, driven to its end by a
// poll loop that keeps the connect timeout itself.
//
// libpq's blocking connect would keep the timeout too, but it gives no hold
// on the connection until the attempt is over, and by then the server's
// SQLSTATE is lost: only the non-blocking start lets the error verbosity be
// raised first, so that the message names the SQLSTATE (wrong password,
// missing database), whatever language the server speaks. The loop restarts
// the clock whenever libpq moves on to another host or address, as libpq's
// own loop does; when the clock runs out the whole attempt ends (libpq's own
// loop would try the next host in a list).
#include "provider/pg/pg_connection.h"

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <string>

#include "com/error_info.h"
#include "provider/pg/libpq_library.h"
#include "provider/quiet_stdio.h"

namespace platform::provider::pg {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kUriScheme = "postgresql://";
constexpr std::string_view kShortUriScheme = "postgres://";

// The connect timeout when neither the address nor libpq's conventions
// (PGCONNECT_TIMEOUT, the service file) set one. The loop below keeps it, so
// libpq need not be told.
constexpr int kDefaultConnectTimeoutSeconds = 10;
// Defaults the address may override (they stand before it).
constexpr const char* kKeepaliveIdleSeconds = "30";
constexpr const char* kKeepaliveIntervalSeconds = "10";
constexpr const char* kKeepaliveCount = "3";
constexpr const char* kTcpUserTimeoutMilliseconds = "60000";
constexpr const char* kApplicationName = "reconsider-tagger";
// libpq's floor for a connect timeout that is set at all.
constexpr int kShortestConnectTimeoutSeconds = 2;

constexpr int kExpandDbname = 1;

void DiscardNotice(void* /*argument*/, const char* /*message*/) {}

struct OptionsFreer {
  void operator()(PQconninfoOption* options) const { LibPq().PQconninfoFree(options); }
};

// The connect timeout in force once libpq has read the address, the
// environment and the service file (the default when none of them sets one),
// 0 for none; false when it is no number.
bool ConnectTimeoutOf(PGconn* connection, int* seconds) {
  *seconds = kDefaultConnectTimeoutSeconds;
  const std::unique_ptr<PQconninfoOption, OptionsFreer> options(LibPq().PQconninfo(connection));
  if (!options) return true;
  for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
    if (std::string_view(option->keyword) != "connect_timeout" || option->val == nullptr) continue;
    std::string_view text(option->val);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return true;
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return false;
    *seconds = value <= 0 ? 0 : std::max(value, kShortestConnectTimeoutSeconds);
  }
  return true;
}

// Which host and address libpq is trying now.
std::string AttemptOf(const PGconn* connection) {
  const char* host = LibPq().PQhost(connection);
  const char* port = LibPq().PQport(connection);
  const char* address = LibPq().PQhostaddr(connection);
  return std::string(host == nullptr ? "" : host) + '\n' + (port == nullptr ? "" : port) + '\n' +
         (address == nullptr ? "" : address);
}

std::string HostOf(const PGconn* connection) {
  const char* host = LibPq().PQhost(connection);
  const char* port = LibPq().PQport(connection);
  return std::string(host == nullptr ? "" : host) + ", port " + (port == nullptr ? "" : port);
}

enum class Outcome { kConnected, kFailed, kTimedOut };

Outcome DriveConnection(PGconn* connection, int timeout_seconds) {
  const auto timeout = std::chrono::seconds(timeout_seconds);
  // Before the first PQconnectPoll, libpq waits to write.
  PostgresPollingStatusType state = PGRES_POLLING_WRITING;
  std::string attempt = AttemptOf(connection);
  Clock::time_point deadline = Clock::now() + timeout;
  for (;;) {
    if (state == PGRES_POLLING_OK) return Outcome::kConnected;
    if (state == PGRES_POLLING_FAILED || LibPq().PQstatus(connection) == CONNECTION_BAD) return Outcome::kFailed;
    const std::string current = AttemptOf(connection);
    if (current != attempt) {
      attempt = current;
      deadline = Clock::now() + timeout;
    }
    int wait_milliseconds = -1;
    if (timeout_seconds > 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return Outcome::kTimedOut;
      wait_milliseconds = left > INT_MAX ? INT_MAX : static_cast<int>(left);
    }
    pollfd socket{LibPq().PQsocket(connection), 0, 0};
    if (socket.fd < 0) return Outcome::kFailed;
    socket.events = state == PGRES_POLLING_READING ? POLLIN : POLLOUT;
    const int ready = ::poll(&socket, 1, wait_milliseconds);
    if (ready < 0 && errno != EINTR) return Outcome::kFailed;
    // Nothing yet (or a signal): look at the clock again.
    if (ready <= 0) continue;
    state = LibPq().PQconnectPoll(connection);
  }
}

std::string Described(const Secrets& secrets, const char* message) {
  std::string text = secrets.Mask(message == nullptr ? "" : message);
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return "PostgreSQL: " + text;
}

}  // namespace

void ConnectionCloser::operator()(pg_conn* connection) const { LibPq().PQfinish(connection); }

void ResultClearer::operator()(pg_result* result) const { LibPq().PQclear(result); }

bool IsServerAddress(std::string_view data_source) {
  return data_source.substr(0, kUriScheme.size()) == kUriScheme ||
         data_source.substr(0, kShortUriScheme.size()) == kShortUriScheme;
}

HRESULT Connect(const std::string& address, const Secrets& secrets, ConnectionHandle* connection) {
  {
    char* error = nullptr;
    const std::unique_ptr<PQconninfoOption, OptionsFreer> parsed(LibPq().PQconninfoParse(address.c_str(), &error));
    if (!parsed) {
      if (error == nullptr) return ReportError(E_OUTOFMEMORY, "reading the server address");
      const std::string description = Described(secrets, error);
      LibPq().PQfreemem(error);
      return ReportError(E_SERVER_ADDRESS, description);
    }
  }

  const char* const keywords[] = {"keepalives_idle",
                                  "keepalives_interval",
                                  "keepalives_count",
                                  "tcp_user_timeout",
                                  "fallback_application_name",
                                  "dbname",
                                  "client_encoding",
                                  nullptr};
  const char* const values[] = {kKeepaliveIdleSeconds,
                                kKeepaliveIntervalSeconds,
                                kKeepaliveCount,
                                kTcpUserTimeoutMilliseconds,
                                kApplicationName,
                                address.c_str(),
                                "UTF8",
                                nullptr};

  const QuietStdio quiet;
  ConnectionHandle started(LibPq().PQconnectStartParams(keywords, values, kExpandDbname));
  if (!started) return ReportError(E_OUTOFMEMORY, "starting a connection");
  LibPq().PQsetNoticeProcessor(started.get(), DiscardNotice, nullptr);
  LibPq().PQsetErrorVerbosity(started.get(), PQERRORS_VERBOSE);

  int timeout_seconds = 0;
  if (!ConnectTimeoutOf(started.get(), &timeout_seconds)) {
    return ReportError(E_SERVER_ADDRESS, "connect_timeout is not a whole number of seconds");
  }
  switch (DriveConnection(started.get(), timeout_seconds)) {
    case Outcome::kConnected:
      break;
    case Outcome::kTimedOut:
      return ReportError(E_SERVER_UNREACHABLE, "PostgreSQL: no answer from " +
                                                   secrets.Mask(HostOf(started.get())) + " within " +
                                                   std::to_string(timeout_seconds) + " s");
    case Outcome::kFailed: {
      const char* message = LibPq().PQerrorMessage(started.get());
      return ReportError(ResultForConnectFailure(message == nullptr ? "" : message,
                                                 LibPq().PQconnectionNeedsPassword(started.get()) != 0),
                         Described(secrets, message));
    }
  }
  // Statement errors name their SQLSTATE in the result, not in the text.
  LibPq().PQsetErrorVerbosity(started.get(), PQERRORS_DEFAULT);
  *connection = std::move(started);
  return S_OK;
}

}  // namespace platform::provider::pg
