// The mappings of pg_errors.h, and the masking of passwords. A SQLSTATE is
// five characters; its first two name its class.
#include "provider/pg/pg_errors.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "provider/pg/libpq_library.h"

namespace platform::provider::pg {
namespace {

constexpr std::size_t kSqlStateLength = 5;
constexpr std::string_view kMask = "********";

bool IsSqlStateCharacter(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); }

bool InClass(std::string_view sqlstate, std::string_view sqlstate_class) {
  return sqlstate.substr(0, 2) == sqlstate_class;
}

// The SQLSTATEs a verbose libpq message names: each follows a severity and
// two spaces, and is followed by a colon ("FATAL:  3D000: database ...").
std::vector<std::string_view> SqlStatesIn(std::string_view message) {
  std::vector<std::string_view> found;
  constexpr std::string_view kLead = ":  ";
  for (std::size_t at = message.find(kLead); at != std::string_view::npos;
       at = message.find(kLead, at + 1)) {
    const std::size_t start = at + kLead.size();
    if (start + kSqlStateLength >= message.size() || message[start + kSqlStateLength] != ':') continue;
    const std::string_view candidate = message.substr(start, kSqlStateLength);
    if (std::all_of(candidate.begin(), candidate.end(), IsSqlStateCharacter)) found.push_back(candidate);
  }
  return found;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX decoded where it is well formed; other characters as they are.
std::string PercentDecoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    decoded += text[i];
  }
  return decoded;
}

struct OptionsFreer {
  void operator()(PQconninfoOption* options) const { LibPq().PQconninfoFree(options); }
};

}  // namespace

HRESULT ResultForConnectFailure(std::string_view message, bool server_wanted_password) {
  if (server_wanted_password) return DB_SEC_E_AUTH_FAILED;
  const std::vector<std::string_view> states = SqlStatesIn(message);
  // With several hosts in the address each attempt adds its own; the one
  // that got furthest tells the most.
  for (std::string_view state : states) {
    if (InClass(state, "28") || state == "42501") return DB_SEC_E_AUTH_FAILED;
  }
  for (std::string_view state : states) {
    if (state == "3D000") return E_DATABASE_NOT_FOUND;
  }
  return E_SERVER_UNREACHABLE;
}

HRESULT ResultForSqlState(std::string_view sqlstate) {
  if (InClass(sqlstate, "08") || sqlstate == "57P01" || sqlstate == "57P02" || sqlstate == "57P03") {
    return E_CONNECTION_LOST;
  }
  if (sqlstate == "42P01") return DB_E_NOTABLE;
  if (sqlstate == "42703") return DB_E_BADCOLUMNID;
  if (sqlstate == "42501") return E_PRIVILEGE_DENIED;
  if (InClass(sqlstate, "54")) return E_STATEMENT_TOO_LONG;
  if (InClass(sqlstate, "23")) return DB_E_INTEGRITYVIOLATION;
  if (sqlstate == "22012") return DB_E_ERRORSINCOMMAND;
  if (InClass(sqlstate, "22")) return DB_E_CANTCONVERTVALUE;
  if (sqlstate == "25006") return DB_SEC_E_PERMISSIONDENIED;
  if (sqlstate == "25P02") return XACT_E_ABORTED;
  if (sqlstate == "40001" || sqlstate == "40P01" || sqlstate == "55P03") return E_LOCK_VIOLATION;
  if (sqlstate == "57014") return E_ABORT;
  if (sqlstate == "53100") return E_DISK_FULL;
  if (sqlstate == "53200") return E_OUTOFMEMORY;
  return DB_E_ERRORSINCOMMAND;
}

Secrets Secrets::Of(std::string_view address) {
  Secrets secrets;
  const std::string text(address);
  char* error = nullptr;
  const std::unique_ptr<PQconninfoOption, OptionsFreer> options(LibPq().PQconninfoParse(text.c_str(), &error));
  LibPq().PQfreemem(error);
  if (options) {
    for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
      if (std::string_view(option->keyword) == "password" && option->val != nullptr) {
        secrets.Add(option->val);
      }
    }
  }
  // As written, for an address libpq cannot parse: the user information
  // runs from "//" to the first "@" before any "/", and a password query
  // parameter from "password=" to the next "&".
  const std::size_t authority = address.find("://");
  if (authority != std::string_view::npos) {
    const std::string_view rest = address.substr(authority + 3);
    const std::size_t end = rest.find_first_of("@/");
    if (end != std::string_view::npos && rest[end] == '@') {
      const std::string_view user_information = rest.substr(0, end);
      const std::size_t colon = user_information.find(':');
      if (colon != std::string_view::npos) secrets.Add(std::string(user_information.substr(colon + 1)));
    }
  }
  const std::size_t query = address.find('?');
  if (query != std::string_view::npos) {
    std::string_view parameters = address.substr(query + 1);
    while (!parameters.empty()) {
      const std::size_t next = parameters.find('&');
      const std::string_view parameter = parameters.substr(0, next);
      constexpr std::string_view kPasswordKey = "password=";
      if (parameter.substr(0, kPasswordKey.size()) == kPasswordKey) {
        secrets.Add(std::string(parameter.substr(kPasswordKey.size())));
      }
      if (next == std::string_view::npos) break;
      parameters.remove_prefix(next + 1);
    }
  }
  if (const char* environment = std::getenv("PGPASSWORD")) secrets.Add(environment);
  return secrets;
}

void Secrets::Add(std::string secret) {
  if (secret.empty()) return;
  std::string decoded = PercentDecoded(secret);
  if (!decoded.empty() && decoded != secret) secrets_.push_back(std::move(decoded));
  secrets_.push_back(std::move(secret));
  // Longest first, so that no shorter secret inside a longer one leaves a
  // piece of the longer one standing.
  std::sort(secrets_.begin(), secrets_.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

std::string Secrets::Mask(std::string text) const {
  for (const std::string& secret : secrets_) {
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + kMask.size())) {
      text.replace(at, secret.size(), kMask);
    }
  }
  return text;
}

}  // namespace platform::provider::pg
