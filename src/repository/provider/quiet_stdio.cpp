#include "provider/quiet_stdio.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace platform::provider {
namespace {

constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;

// Points `target` at `source`, retrying when a signal interrupts.
void Redirect(int source, int target) {
  while (::dup2(source, target) < 0 && errno == EINTR) {
  }
}

}  // namespace

QuietStdio::QuietStdio() {
  std::fflush(stdout);
  std::fflush(stderr);
  const int null_device = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null_device < 0) return;
  saved_out_ = ::fcntl(kStandardOutput, F_DUPFD_CLOEXEC, 0);
  saved_err_ = ::fcntl(kStandardError, F_DUPFD_CLOEXEC, 0);
  if (saved_out_ >= 0) Redirect(null_device, kStandardOutput);
  if (saved_err_ >= 0) Redirect(null_device, kStandardError);
  ::close(null_device);
}

QuietStdio::~QuietStdio() {
  std::fflush(stdout);
  std::fflush(stderr);
  if (saved_out_ >= 0) {
    Redirect(saved_out_, kStandardOutput);
    ::close(saved_out_);
  }
  if (saved_err_ >= 0) {
    Redirect(saved_err_, kStandardError);
    ::close(saved_err_);
  }
}

}  // namespace platform::provider
