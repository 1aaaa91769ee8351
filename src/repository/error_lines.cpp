#include "error_lines.h"

#include <cstdio>

namespace reconsider {

void PrintErrorLine(const platform::ComError& error) {
  std::printf("Err :: %s\n", error.ErrorMessage());
}

void PrintOutOfMemoryLine() { PrintErrorLine(platform::ComError(platform::E_OUTOFMEMORY)); }

}  // namespace reconsider
