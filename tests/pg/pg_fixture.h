// Helpers for the server-repository tests: ADO connections on a throw-away
// database of the test server, the error a call raises with its description,
// a watch on everything the process writes to its standard output and
// error, and environment variables set for one test.
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/ado_fixture.h"
#include "support/com_test.h"
#include "support/pg_server.h"
#include "support/temp_dir.h"

namespace pg_testing {

using namespace platform_testing;
using testing_support::PgDatabase;
using testing_support::Rows;

// gtest names for parameterised cases: the case's name field.
struct CaseName {
  template <class Param>
  std::string operator()(const ::testing::TestParamInfo<Param>& info) const {
    return info.param.name;
  }
};

inline ComPtr<ado::Connection> OpenServer(const std::string& address) {
  return OpenConnectionText(JetConnectionText(address));
}

// The ComError `action` raises, description and all; nullopt when none.
template <class Action>
std::optional<ComError> RaisedBy(Action&& action) {
  try {
    std::forward<Action>(action)();
  } catch (const ComError& error) {
    return error;
  }
  return std::nullopt;
}

// Everything written to descriptors 1 and 2 from construction to Finish, by
// any code in the process (libpq's own fprintf included). Make no gtest
// assertion while one is watching: its report would be caught too.
class OutputWatch {
 public:
  OutputWatch() : file_(dir_.File("output")) {
    std::fflush(stdout);
    std::fflush(stderr);
    const int sink = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (sink < 0) throw std::runtime_error("cannot open " + file_);
    saved_out_ = ::dup(1);
    saved_err_ = ::dup(2);
    ::dup2(sink, 1);
    ::dup2(sink, 2);
    ::close(sink);
  }
  ~OutputWatch() { Restore(); }
  OutputWatch(const OutputWatch&) = delete;
  OutputWatch& operator=(const OutputWatch&) = delete;

  std::string Finish() {
    Restore();
    return testing_support::ReadFileBytes(file_);
  }

 private:
  void Restore() {
    if (saved_out_ < 0) return;
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(saved_out_, 1);
    ::dup2(saved_err_, 2);
    ::close(saved_out_);
    ::close(saved_err_);
    saved_out_ = saved_err_ = -1;
  }

  testing_support::TempDir dir_;
  std::string file_;
  int saved_out_ = -1;
  int saved_err_ = -1;
};

// Sets (or, given nullopt, removes) an environment variable until the end of
// the scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value) : name_(std::move(name)) {
    if (const char* old = ::getenv(name_.c_str())) previous_ = old;
    if (value) {
      ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ~ScopedEnvironment() {
    if (previous_) {
      ::setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A test on a database of its own holding table t (id integer primary key,
// name text), rows (1, 'before') and (2, 'other'), and a connection to it as
// the password user.
class PgTest : public testing_support::ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    database_.Execute("create table t (id integer primary key, name text);"
                      "insert into t values (1, 'before'), (2, 'other');");
    connection_ = OpenServer(database_.Uri());
  }
  void TearDown() override {
    connection_.Reset();
    ComTest::TearDown();
  }

  // Row 1's name as the administrator reads it over another connection.
  std::string NameOnServer() const { return database_.Query("select name from t where id = 1").at(0).at(0); }

  PgDatabase database_;
  ComPtr<ado::Connection> connection_;
};

}  // namespace pg_testing
