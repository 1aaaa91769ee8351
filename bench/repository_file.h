// Writes a whole generated repository file: the schema, the model's rows and
// the indexes. The file appears at its path only once it is complete; until
// then it is built beside it under a temporary name, and a failure removes
// that file again, so a failed run leaves neither a partial repository nor
// any other file behind, and an existing file at the path stays as it was.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

// Throws std::runtime_error, naming what failed, when the file cannot be
// written.
void WriteRepositoryFile(const std::string& path, std::int64_t element_count, std::uint64_t seed);

}  // namespace bench
