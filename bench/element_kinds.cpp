// Draws the element types: one draw per element, in id order.
#include "element_kinds.h"

namespace bench {
namespace {

constexpr std::uint64_t kRequirementPercent = 30;
constexpr std::uint64_t kPercent = 100;
constexpr std::uint64_t kDesignTypeCount = kElementTypeNames.size() - kFirstDesignType;

}  // namespace

ElementKinds DrawElementKinds(std::int64_t element_count, RandomStream& random) {
  ElementKinds kinds;
  kinds.type_of.resize(static_cast<std::size_t>(element_count) + 1, kMarkerType);
  kinds.requirement_ids.reserve(static_cast<std::size_t>(element_count) * kRequirementPercent / kPercent);
  for (std::int64_t id = kFirstModelElementId; id <= element_count; ++id) {
    std::uint8_t type = kRequirementType;
    if (random.Chance(kRequirementPercent, kPercent)) {
      kinds.requirement_ids.push_back(id);
    } else {
      type = static_cast<std::uint8_t>(kFirstDesignType + random.Below(kDesignTypeCount));
    }
    kinds.type_of[static_cast<std::size_t>(id)] = type;
  }
  return kinds;
}

}  // namespace bench
