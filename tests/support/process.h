// Runs the built tool as a separate process and collects what it did.
#pragma once

#include <string>
#include <vector>

namespace testing_support {

struct ProcessResult {
  int exit_status = -1;  // -1 when the process did not exit normally
  int signal = 0;        // the signal that ended it, if one did
  std::string standard_output;
  std::string standard_error;

  // The lines of standard output, without their line breaks.
  std::vector<std::string> Lines() const;
};

// Runs `program` with `arguments` (not counting the program name).
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments);

// Runs the built reconsider-tagger.
ProcessResult RunTool(const std::vector<std::string>& arguments);

}  // namespace testing_support
