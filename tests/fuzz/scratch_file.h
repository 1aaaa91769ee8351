// The file a fuzz target hands its input to the code under test in: one per
// process, in TMPDIR (or /tmp), rewritten for every input.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzing {

// Writes `data` to the process's scratch file named with `suffix` and returns
// its path, or an empty text when it cannot be written.
inline std::string WriteScratchFile(const std::uint8_t* data, std::size_t size, const std::string& suffix) {
  const char* base = std::getenv("TMPDIR");
  const std::string path =
      std::string(base != nullptr ? base : "/tmp") + "/fuzz-" + std::to_string(::getpid()) + suffix;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return std::string();
  const bool written = std::fwrite(data, 1, size, file) == size;
  if (std::fclose(file) != 0 || !written) return std::string();
  return path;
}

}  // namespace fuzzing
