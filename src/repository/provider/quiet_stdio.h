// QuietStdio: keeps what a library prints off the process's standard output
// and standard error for as long as it lives.
//
// libmdb reports trouble (and, with some settings, dumps pages) with
// printf and fprintf; libpq warns on standard error about a password file
// it will not read. The tool's standard output carries only its own lines
// and its standard error stays empty, so every call into libmdb, and every
// connection attempt of libpq, runs inside one of these: descriptors 1 and 2
// point at /dev/null meanwhile, and the C streams are flushed on both edges
// so that no byte crosses over.
// Not for concurrent use: the descriptors belong to the whole process.
#pragma once

namespace platform::provider {

class QuietStdio {
 public:
  QuietStdio();
  ~QuietStdio();
  QuietStdio(const QuietStdio&) = delete;
  QuietStdio& operator=(const QuietStdio&) = delete;

 private:
  int saved_out_ = -1;
  int saved_err_ = -1;
};

}  // namespace platform::provider
