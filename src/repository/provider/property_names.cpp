#include "provider/property_names.h"

#include "com/ascii.h"
#include "provider/provider.h"

namespace platform::provider {

bool IsCommitModeProperty(std::string_view name) {
  return EqualsIgnoringCase(name, kCommitModeProperty);
}

const std::vector<std::string>& CommitModePropertyNames() {
  static const std::vector<std::string> names{std::string(kCommitModeProperty)};
  return names;
}

}  // namespace platform::provider
