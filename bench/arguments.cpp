// Parses the command line strictly: a number is decimal digits only, with no
// sign, spaces or trailing text, so a typo is reported instead of read as
// something else.
#include "arguments.h"

#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

#include "model_writer.h"

namespace bench {
namespace {

constexpr std::string_view kSeedOption = "--seed";

bool ParseUnsigned(std::string_view text, std::uint64_t& value) {
  if (text.empty() || std::isdigit(static_cast<unsigned char>(text.front())) == 0) return false;
  const std::from_chars_result parsed = std::from_chars(text.data(), text.data() + text.size(), value);
  return parsed.ec == std::errc() && parsed.ptr == text.data() + text.size();
}

// "-5" is a (bad) number, "-v" an option.
bool IsOption(std::string_view argument) {
  return argument.size() > 1 && argument.front() == '-' &&
         std::isdigit(static_cast<unsigned char>(argument[1])) == 0;
}

ParsedArguments Fail(std::string error) { return {std::nullopt, std::move(error)}; }

}  // namespace

ParsedArguments ParseArguments(int argc, const char* const* argv) {
  Arguments arguments;
  bool seed_given = false;
  std::vector<std::string_view> positional;
  for (int index = 1; index < argc; ++index) {
    const std::string_view argument = argv[index];
    if (argument == kSeedOption) {
      if (seed_given) return Fail("--seed given twice");
      if (index + 1 >= argc) return Fail("--seed needs a value");
      if (!ParseUnsigned(argv[++index], arguments.seed)) {
        return Fail("the seed must be an unsigned 64-bit whole number");
      }
      seed_given = true;
    } else if (IsOption(argument)) {
      return Fail("unknown option " + std::string(argument));
    } else {
      positional.push_back(argument);
    }
  }
  if (positional.size() < 2) return Fail("N and OUT.sqlite are needed");
  if (positional.size() > 2) return Fail("unexpected argument " + std::string(positional[2]));
  std::uint64_t count = 0;
  if (!ParseUnsigned(positional[0], count) || count < static_cast<std::uint64_t>(kFewestElements) ||
      count > static_cast<std::uint64_t>(kMostElements)) {
    return Fail("N must be a whole number from " + std::to_string(kFewestElements) + " to " +
                std::to_string(kMostElements));
  }
  if (positional[1].empty()) return Fail("OUT.sqlite must not be empty");
  arguments.element_count = static_cast<std::int64_t>(count);
  arguments.output_path = std::string(positional[1]);
  return {arguments, ""};
}

}  // namespace bench
