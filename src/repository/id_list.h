// IdList: the system's list of row ids, and the heap texts around it.
//
// An IdList is a NUL-terminated heap text of signed 32-bit ids in base 10
// joined by "," (12,14,15), released with free. No ids is a null pointer,
// never an empty text. Ids keep the order they were appended in; nothing is
// sorted or merged.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string_view>

namespace reconsider {

struct FreeDeleter {
  void operator()(char* text) const { std::free(text); }
};
// A heap text owned by the holder, released with free.
using HeapText = std::unique_ptr<char, FreeDeleter>;

// A new heap text holding `parts` one after another, allocated once at its
// exact size; null when memory runs out.
HeapText ConcatenateText(std::initializer_list<std::string_view> parts);

// Appends ids to the caller's IdList in place. A null list becomes a new text
// holding the first id; a list that holds ids gets "," and the id at its end.
// The caller's pointer is updated at every append (the text may move), and it
// always holds a well-formed list.
//
// The list's length is measured once, and room grows by doubling, so a call
// that appends n ids costs time in proportion to the text, not to n times it.
class IdListAppender {
 public:
  explicit IdListAppender(char** list);
  IdListAppender(const IdListAppender&) = delete;
  IdListAppender& operator=(const IdListAppender&) = delete;

  // Raises a ComError with E_OUTOFMEMORY when the list cannot grow; the list
  // is then as it was before the call.
  void Append(std::int32_t id);

 private:
  char** list_;
  std::size_t length_;
  std::size_t capacity_;
};

}  // namespace reconsider
