// Writes the rows of a generated model into a repository whose tables exist
// and are empty: packages, elements, tagged values and connectors, each table
// in id order with ids counting from 1. The rows depend on nothing but the
// element count and the seed.
#pragma once

#include <cstdint>

#include "sqlite_handles.h"

namespace bench {

// The smallest model with a marker element and a few elements beside it.
inline constexpr std::int64_t kFewestElements = 10;
// Elements per package.
inline constexpr std::int64_t kElementsPerPackage = 25;

void WriteModel(Database& database, std::int64_t element_count, std::uint64_t seed);

}  // namespace bench
