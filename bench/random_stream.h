// RandomStream: the generator's own pseudo-random numbers (xoshiro256**,
// seeded through splitmix64). Every draw is integer arithmetic defined here,
// so a seed gives the same numbers with any compiler and standard library;
// std::uniform_*_distribution promises no such thing. Each part of the model
// draws from its own stream, so changing how one part is drawn leaves the
// others as they were.
#pragma once

#include <array>
#include <cstdint>

namespace bench {

// The parts of the model that draw from separate streams.
enum class Stream : std::uint64_t { kPackages = 1, kElementKinds, kElements, kTaggedValues, kConnectors };

class RandomStream {
 public:
  RandomStream(std::uint64_t seed, Stream stream) {
    std::uint64_t mixer = seed ^ (static_cast<std::uint64_t>(stream) * kGoldenGamma);
    for (std::uint64_t& word : state_) word = SplitMix64(mixer);
  }

  // The shifts, rotations and multipliers here and in SplitMix64 are the
  // published algorithms' own.
  std::uint64_t Next() {
    const std::uint64_t result = RotateLeft(state_[1] * 5, 7) * 9;
    const std::uint64_t shifted = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= shifted;
    state_[3] = RotateLeft(state_[3], 45);
    return result;
  }

  // A number in [0, bound), every value equally likely; bound > 0.
  std::uint64_t Below(std::uint64_t bound) {
    // Draws under `threshold` would make the low values more likely.
    const std::uint64_t threshold = (0 - bound) % bound;
    for (;;) {
      const std::uint64_t draw = Next();
      if (draw >= threshold) return draw % bound;
    }
  }

  // A number in [low, high].
  std::int64_t Between(std::int64_t low, std::int64_t high) {
    return low + static_cast<std::int64_t>(Below(static_cast<std::uint64_t>(high - low) + 1));
  }

  // True with probability numerator / denominator.
  bool Chance(std::uint64_t numerator, std::uint64_t denominator) { return Below(denominator) < numerator; }

 private:
  static constexpr std::uint64_t kGoldenGamma = 0x9E3779B97F4A7C15ULL;

  static std::uint64_t RotateLeft(std::uint64_t value, int bits) {
    return (value << bits) | (value >> (64 - bits));
  }

  static std::uint64_t SplitMix64(std::uint64_t& state) {
    state += kGoldenGamma;
    std::uint64_t mixed = state;
    mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
    mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
    return mixed ^ (mixed >> 31);
  }

  std::array<std::uint64_t, 4> state_{};
};

}  // namespace bench
