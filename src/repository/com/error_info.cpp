#include "com/error_info.h"

#include <optional>
#include <utility>

namespace platform {
namespace {

// One slot, as the platform keeps one per thread; the run has one thread.
std::optional<std::string>& RecordedDescription() {
  static std::optional<std::string> description;
  return description;
}

}  // namespace

void SetErrorInfo(std::string description) { RecordedDescription() = std::move(description); }

bool GetErrorInfo(std::string* description) {
  std::optional<std::string>& recorded = RecordedDescription();
  if (!recorded) return false;
  *description = std::move(*recorded);
  recorded.reset();
  return true;
}

HRESULT ReportError(HRESULT code, std::string description) {
  SetErrorInfo(std::move(description));
  return code;
}

}  // namespace platform
