// Names of provider properties. Property names compare without regard to
// case, as the platform's property collections do.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace platform::provider {

bool IsCommitModeProperty(std::string_view name);

// The property list of a provider whose one property is the commit mode.
const std::vector<std::string>& CommitModePropertyNames();

}  // namespace platform::provider
