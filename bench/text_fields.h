// The texts the generated rows carry (GUIDs, date-times, notes, names),
// written into buffers the caller keeps and reuses, so a million rows cost no
// allocation per row. A view returned by a buffer stays valid until the
// buffer is written again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "random_stream.h"

namespace bench {

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" with 32 random upper-case hex digits.
class GuidText {
 public:
  std::string_view Draw(RandomStream& random);

 private:
  static constexpr std::size_t kLength = 38;
  std::array<char, kLength> text_{};
};

// "YYYY-MM-DD HH:MM:SS" for a moment counted in seconds from 1970-01-01.
class DateTimeText {
 public:
  std::string_view Format(std::int64_t seconds_since_epoch);

 private:
  static constexpr std::size_t kLength = 19;
  std::array<char, kLength> text_{};
};

// When an element or connector was created and last changed: created within
// a few years of modelling, changed some time after.
struct Timestamps {
  std::int64_t created;
  std::int64_t modified;
};
Timestamps DrawTimestamps(RandomStream& random);

// A note: a sentence of 8 to 60 words from a small word list, capitalised
// and ending with a full stop.
class NoteText {
 public:
  NoteText();
  std::string_view Draw(RandomStream& random);

 private:
  std::string text_;
};

// One word of the word list, for names such as "Team <word>".
std::string_view DrawWord(RandomStream& random);

// "<word> <number>", e.g. "Requirement 17".
class NumberedName {
 public:
  std::string_view Format(std::string_view word, std::int64_t number);

 private:
  static constexpr std::size_t kCapacity = 64;
  std::array<char, kCapacity> text_{};
};

}  // namespace bench
