#include "provider/jet/text_collation.h"

#include <sqlite3.h>

#include <cstddef>

namespace platform::provider::jet {
namespace {

constexpr std::uint32_t kCaseOffset = 0x20;
constexpr std::uint32_t kMultiplicationSign = 0xD7;
constexpr std::uint32_t kCapitalYWithDiaeresis = 0x178;
constexpr std::uint32_t kSmallYWithDiaeresis = 0xFF;
constexpr std::uint32_t kFinalSigma = 0x3A2;
constexpr std::uint32_t kCyrillicIeOffset = 0x50;

bool InRange(std::uint32_t c, std::uint32_t first, std::uint32_t last) { return c >= first && c <= last; }

// Decodes one UTF-8 character from [*at, end); a byte that starts no valid
// sequence is taken as itself.
std::uint32_t NextCodePoint(const unsigned char** at, const unsigned char* end) {
  const unsigned char* p = *at;
  const unsigned char lead = *p;
  std::size_t length = 0;
  std::uint32_t value = 0;
  if (lead < 0x80) {
    *at = p + 1;
    return lead;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2;
    value = lead & 0x1Fu;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    value = lead & 0x0Fu;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    value = lead & 0x07u;
  }
  if (length == 0 || static_cast<std::size_t>(end - p) < length) {
    *at = p + 1;
    return lead;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xC0) != 0x80) {
      *at = p + 1;
      return lead;
    }
    value = (value << 6) | (p[i] & 0x3Fu);
  }
  *at = p + length;
  return value;
}

int CompareJetText(void*, int left_length, const void* left, int right_length, const void* right) {
  const auto* a = static_cast<const unsigned char*>(left);
  const auto* b = static_cast<const unsigned char*>(right);
  const unsigned char* a_end = a + left_length;
  const unsigned char* b_end = b + right_length;
  while (a < a_end && b < b_end) {
    const std::uint32_t x = FoldCase(NextCodePoint(&a, a_end));
    const std::uint32_t y = FoldCase(NextCodePoint(&b, b_end));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a < a_end) return 1;
  if (b < b_end) return -1;
  return 0;
}

}  // namespace

std::uint32_t FoldCase(std::uint32_t c) {
  if (InRange(c, 'A', 'Z')) return c + kCaseOffset;
  if (c < 0xC0) return c;
  if (InRange(c, 0xC0, 0xDE) && c != kMultiplicationSign) return c + kCaseOffset;
  if (c == kCapitalYWithDiaeresis) return kSmallYWithDiaeresis;
  // Latin Extended-A: capital and small letters alternate, the capital on
  // the even code point, except in the two runs where it is on the odd one.
  if (InRange(c, 0x100, 0x137) || InRange(c, 0x14A, 0x177)) return c | 1u;
  if (InRange(c, 0x139, 0x148) || InRange(c, 0x179, 0x17E)) return (c & 1u) != 0 ? c + 1 : c;
  if (InRange(c, 0x391, 0x3A9) && c != kFinalSigma) return c + kCaseOffset;
  if (InRange(c, 0x410, 0x42F)) return c + kCaseOffset;
  if (InRange(c, 0x400, 0x40F)) return c + kCyrillicIeOffset;
  return c;
}

int RegisterJetTextCollation(sqlite3* handle) {
  return sqlite3_create_collation_v2(handle, kJetTextCollation, SQLITE_UTF8, nullptr, CompareJetText,
                                     nullptr);
}

}  // namespace platform::provider::jet
