// The command-line run: one invocation of the tool, start to end.
#pragma once

namespace reconsider {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;

// Runs the five steps on the repository named by argv[1] and returns the exit
// status of a run that reached the tagging update. Every earlier end leaves
// the process at once through exit(kExitFailure), without teardown: nothing
// has been written, and the end of the process reclaims the rest.
int RunReconsiderTagger(int argc, char** argv);

}  // namespace reconsider
