// The generator's command line:
//
//   make-bench-repository N OUT.sqlite [--seed S]
//
// N is a whole number of elements from kFewestElements to kMostElements,
// S any unsigned 64-bit number (1 when not given). The option may stand
// anywhere; anything else starting with "-" and no digit is an unknown option.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bench {

// Every id of the largest model (connectors reach twice the element count)
// still fits a signed 32-bit column, as Jet's Long Integer.
inline constexpr std::int64_t kMostElements = 1'000'000'000;
inline constexpr std::uint64_t kDefaultSeed = 1;
inline constexpr const char* kUsage = "usage: make-bench-repository N OUT.sqlite [--seed S]";

struct Arguments {
  std::int64_t element_count = 0;
  std::string output_path;
  std::uint64_t seed = kDefaultSeed;
};

struct ParsedArguments {
  std::optional<Arguments> arguments;  // empty when the command line is wrong
  std::string error;                   // then: what is wrong with it
};

ParsedArguments ParseArguments(int argc, const char* const* argv);

}  // namespace bench
