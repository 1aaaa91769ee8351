// The type of every element, drawn before any row is written: the tagged
// values depend on which elements are requirements, and Realisation
// connectors need the requirements' ids to point at. Element 1 is always the
// marker element; of the others about 30% are requirements and the rest
// spread evenly over the design types.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "random_stream.h"

namespace bench {

inline constexpr std::int64_t kMarkerElementId = 1;
inline constexpr std::int64_t kFirstModelElementId = 2;

// Indexes into kElementTypeNames.
enum ElementType : std::uint8_t { kMarkerType = 0, kRequirementType = 1, kFirstDesignType = 2 };
inline constexpr std::array<std::string_view, 9> kElementTypeNames = {
    "Text", "Requirement", "Class", "Component", "Interface", "Activity", "UseCase", "Node", "Actor"};

struct ElementKinds {
  std::vector<std::uint8_t> type_of;  // by element id; entry 0 is unused
  std::vector<std::int64_t> requirement_ids;  // ascending

  bool IsRequirement(std::int64_t id) const {
    return type_of[static_cast<std::size_t>(id)] == kRequirementType;
  }
  std::string_view TypeName(std::int64_t id) const {
    return kElementTypeNames[type_of[static_cast<std::size_t>(id)]];
  }
};

ElementKinds DrawElementKinds(std::int64_t element_count, RandomStream& random);

}  // namespace bench
