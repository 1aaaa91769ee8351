// Builds the package tree top-down: each package receives a budget of
// packages to place below itself, keeps a few as its children and hands the
// rest on to them. The number of children follows the fan-out that would
// spend the budget over the levels left, jittered, so fan-outs stay alike
// across a tree of any size. One child of every package receives enough to
// reach the branch's deepest level, so each branch's depth is the one drawn
// for it whenever its budget allows.
#include "package_tree.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace bench {
namespace {

constexpr int kModelLevel = 1;
constexpr int kTopPackagesLevel = 2;
constexpr int kShallowestBranch = 5;
constexpr int kDeepestBranch = 7;
// System's subtree holds this share of the packages; Legacy's the rest.
constexpr std::int64_t kRootShareNumerator = 4;
constexpr std::int64_t kRootShareDenominator = 5;
// A package has between 70% and 130% of the fan-out its budget suggests.
constexpr std::int64_t kLeastFanOutPercent = 70;
constexpr std::int64_t kMostFanOutPercent = 130;
constexpr double kPercent = 100.0;
// Siblings' shares of their parent's budget differ by up to this factor.
constexpr std::int64_t kMostSiblingWeight = 4;
constexpr int kFanOutSearchSteps = 64;

// f + f^2 + ... + f^levels: the packages a subtree holds below its top when
// every package has f children down `levels` levels.
double PackagesBelow(double fan_out, int levels) {
  double total = 0;
  double level_size = 1;
  for (int level = 0; level < levels; ++level) {
    level_size *= fan_out;
    total += level_size;
  }
  return total;
}

// The fan-out at which `levels` levels below a package hold `budget`
// packages (1 when even a chain would exceed the budget). Found by bisection
// with plain multiplications, which round the same way everywhere.
double FanOutFor(std::int64_t budget, int levels) {
  double low = 1;
  double high = static_cast<double>(budget) + 1;
  for (int step = 0; step < kFanOutSearchSteps; ++step) {
    const double middle = (low + high) / 2;
    if (PackagesBelow(middle, levels) < static_cast<double>(budget)) {
      low = middle;
    } else {
      high = middle;
    }
  }
  return low;
}

// Splits `total` into parts proportional to `weights`; the parts sum to
// `total`, and what rounding down leaves over goes one each to the first parts.
std::vector<std::int64_t> Split(std::int64_t total, const std::vector<double>& weights) {
  double weight_sum = 0;
  for (double weight : weights) weight_sum += weight;
  std::vector<std::int64_t> parts;
  parts.reserve(weights.size());
  std::int64_t assigned = 0;
  for (double weight : weights) {
    const auto part = static_cast<std::int64_t>(std::floor(static_cast<double>(total) * weight / weight_sum));
    parts.push_back(part);
    assigned += part;
  }
  for (std::size_t index = 0; assigned < total; index = (index + 1) % parts.size()) {
    ++parts[index];
    ++assigned;
  }
  return parts;
}

class TreeBuilder {
 public:
  TreeBuilder(std::int64_t package_count, RandomStream& random) : random_(random) {
    nodes_.reserve(static_cast<std::size_t>(package_count));
    Add(0, kModelLevel);
    Add(kModelPackageId, kTopPackagesLevel);
    Add(kModelPackageId, kTopPackagesLevel);
    const std::int64_t below_top = package_count - kFewestPackages;
    const std::int64_t root_subtree =
        (package_count * kRootShareNumerator + kRootShareDenominator / 2) / kRootShareDenominator;
    const std::int64_t below_root = std::clamp<std::int64_t>(root_subtree - 1, 0, below_top);
    GrowBranches(kRootPackageId, below_root);
    GrowBranches(kLegacyPackageId, below_top - below_root);
  }

  std::vector<PackageNode> Take() { return std::move(nodes_); }

 private:
  std::int64_t Add(std::int64_t parent_id, int level) {
    const auto id = static_cast<std::int64_t>(nodes_.size()) + 1;
    nodes_.push_back({id, parent_id, level});
    return id;
  }

  // How many of `budget` packages become children of a package with
  // `levels_left` levels below it. Enough stays over for a chain down to the
  // deepest level when the budget holds one.
  std::int64_t ChildCount(std::int64_t budget, int levels_left) {
    const double fan_out = FanOutFor(budget, levels_left);
    const auto percent = static_cast<double>(random_.Between(kLeastFanOutPercent, kMostFanOutPercent));
    const auto count = static_cast<std::int64_t>(std::llround(fan_out * percent / kPercent));
    const std::int64_t chain_below_children = levels_left - 1;
    return std::clamp<std::int64_t>(count, 1, std::max<std::int64_t>(1, budget - chain_below_children));
  }

  // The children of a top package are branches, each with its own deepest
  // level; a branch's share grows with the room its depth gives, so the
  // fan-out stays alike in shallow and deep branches.
  void GrowBranches(std::int64_t top_id, std::int64_t budget) {
    if (budget == 0) return;
    const std::int64_t branch_count = ChildCount(budget, kDeepestBranch - kTopPackagesLevel);
    const double fan_out = FanOutFor(budget, kDeepestBranch - kTopPackagesLevel);
    constexpr int kBranchDepths = kDeepestBranch - kShallowestBranch + 1;
    // Consecutive branches take the depths in turn, so a top package with
    // several branches has branches of different depths.
    const auto first_depth = static_cast<int>(random_.Below(kBranchDepths));
    std::vector<int> deepest;
    std::vector<double> weights;
    for (std::int64_t branch = 0; branch < branch_count; ++branch) {
      deepest.push_back(kShallowestBranch + static_cast<int>((first_depth + branch) % kBranchDepths));
      const int levels_below_branch = deepest.back() - (kTopPackagesLevel + 1);
      const auto jitter = static_cast<double>(random_.Between(kLeastFanOutPercent, kMostFanOutPercent));
      weights.push_back(jitter * (1 + PackagesBelow(fan_out, levels_below_branch)));
    }
    const std::vector<std::int64_t> shares = Split(budget - branch_count, weights);
    std::vector<std::int64_t> branch_ids;
    for (std::int64_t branch = 0; branch < branch_count; ++branch) {
      branch_ids.push_back(Add(top_id, kTopPackagesLevel + 1));
    }
    for (std::size_t branch = 0; branch < branch_ids.size(); ++branch) {
      Grow(branch_ids[branch], kTopPackagesLevel + 1, shares[branch], deepest[branch]);
    }
  }

  // Places `budget` packages below `parent_id` (at `level`), none below
  // `deepest`.
  void Grow(std::int64_t parent_id, int level, std::int64_t budget, int deepest) {
    if (budget == 0) return;
    const int levels_left = deepest - level;
    if (levels_left < 1) throw std::logic_error("a package budget below the deepest level");
    const std::int64_t child_count = levels_left == 1 ? budget : ChildCount(budget, levels_left);
    std::int64_t rest = budget - child_count;
    // One child gets the chain down to the deepest level first.
    const std::int64_t deep_child = static_cast<std::int64_t>(random_.Below(static_cast<std::uint64_t>(child_count)));
    const std::int64_t chain = std::min<std::int64_t>(rest, levels_left - 1);
    rest -= chain;
    std::vector<double> weights;
    for (std::int64_t child = 0; child < child_count; ++child) {
      weights.push_back(static_cast<double>(random_.Between(1, kMostSiblingWeight)));
    }
    std::vector<std::int64_t> shares = Split(rest, weights);
    shares[static_cast<std::size_t>(deep_child)] += chain;
    std::vector<std::int64_t> child_ids;
    for (std::int64_t child = 0; child < child_count; ++child) child_ids.push_back(Add(parent_id, level + 1));
    for (std::size_t child = 0; child < child_ids.size(); ++child) {
      Grow(child_ids[child], level + 1, shares[child], deepest);
    }
  }

  RandomStream& random_;
  std::vector<PackageNode> nodes_;
};

}  // namespace

std::vector<PackageNode> BuildPackageTree(std::int64_t package_count, RandomStream& random) {
  if (package_count < kFewestPackages) throw std::invalid_argument("too few packages");
  return TreeBuilder(package_count, random).Take();
}

}  // namespace bench
