// make-bench-repository: writes a SQLite model repository of N elements with
// the shape of a large real model, for timing the tool on it.
//
//   make-bench-repository N OUT.sqlite [--seed S]
//
// The same N and seed give the same file, byte for byte. Exit status: 0 when
// the file was written, 1 when it could not be, 2 for a wrong command line;
// the reason goes to standard error as one line.
#include <cstdio>
#include <exception>

#include "arguments.h"
#include "repository_file.h"

namespace {

constexpr int kWritten = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;
constexpr const char* kProgram = "make-bench-repository";

}  // namespace

int main(int argc, char** argv) {
  const bench::ParsedArguments parsed = bench::ParseArguments(argc, argv);
  if (!parsed.arguments) {
    std::fprintf(stderr, "%s: %s (%s)\n", kProgram, parsed.error.c_str(), bench::kUsage);
    return kUsageError;
  }
  try {
    bench::WriteRepositoryFile(parsed.arguments->output_path, parsed.arguments->element_count,
                               parsed.arguments->seed);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s: %s\n", kProgram, failure.what());
    return kFailed;
  }
  return kWritten;
}
