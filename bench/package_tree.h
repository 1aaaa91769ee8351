// The shape of the generated package tree. Package 1 "Model" is the top;
// below it, package 2 "System" (the run's root package) and package 3
// "Legacy" share the other packages about four to one. Below those two, each
// branch reaches down to level 5, 6 or 7 (Model being level 1) with a fan-out
// of a handful of children per package, so the tree is neither a chain nor
// a star. Ids run from 1 to the package count without gaps, a parent's id is
// always smaller than its children's, and every package but Model has its
// parent in the tree. A tree too small for those depths keeps the rest.
#pragma once

#include <cstdint>
#include <vector>

#include "random_stream.h"

namespace bench {

inline constexpr std::int64_t kModelPackageId = 1;
inline constexpr std::int64_t kRootPackageId = 2;
inline constexpr std::int64_t kLegacyPackageId = 3;
inline constexpr std::int64_t kFewestPackages = 3;

struct PackageNode {
  std::int64_t id;
  std::int64_t parent_id;  // 0 for Model
  int level;               // 1 for Model
};

// The packages of a tree of `package_count` (at least kFewestPackages)
// packages, in id order.
std::vector<PackageNode> BuildPackageTree(std::int64_t package_count, RandomStream& random);

}  // namespace bench
