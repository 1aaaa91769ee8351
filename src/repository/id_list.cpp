#include "id_list.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "com/com_error.h"

namespace reconsider {

HeapText ConcatenateText(std::initializer_list<std::string_view> parts) {
  std::size_t length = 0;
  for (std::string_view part : parts) length += part.size();
  HeapText text(static_cast<char*>(std::malloc(length + 1)));
  if (!text) return text;
  char* end = text.get();
  for (std::string_view part : parts) {
    std::memcpy(end, part.data(), part.size());
    end += part.size();
  }
  *end = '\0';
  return text;
}

IdListAppender::IdListAppender(char** list)
    : list_(list),
      length_(*list == nullptr ? 0 : std::strlen(*list)),
      capacity_(*list == nullptr ? 0 : length_ + 1) {}

void IdListAppender::Append(std::int32_t id) {
  char digits[12];
  const auto [digits_end, error] = std::to_chars(digits, digits + sizeof digits, id);
  (void)error;  // twelve characters hold every 32-bit value
  const auto digit_count = static_cast<std::size_t>(digits_end - digits);
  const bool first = *list_ == nullptr;
  const std::size_t needed = length_ + (first ? 0 : 1) + digit_count + 1;
  if (needed > capacity_) {
    const std::size_t grown = std::max(needed, capacity_ * 2);
    auto* moved = static_cast<char*>(std::realloc(*list_, grown));
    if (moved == nullptr) platform::IssueError(platform::E_OUTOFMEMORY);
    *list_ = moved;
    capacity_ = grown;
  }
  char* end = *list_ + length_;
  if (!first) *end++ = ',';
  std::memcpy(end, digits, digit_count);
  end[digit_count] = '\0';
  length_ = needed - 1;
}

}  // namespace reconsider
