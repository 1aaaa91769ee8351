#include "oleaut/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

#include "com/com_error.h"

namespace platform {
namespace {

constexpr std::size_t kLengthPrefix = sizeof(std::uint32_t);

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length) {
  if (length > std::numeric_limits<std::uint32_t>::max() - kLengthPrefix - 1) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(kLengthPrefix + length + 1));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &length, kLengthPrefix);
  BSTR result = reinterpret_cast<BSTR>(block + kLengthPrefix);
  if (text != nullptr) {
    std::memcpy(result, text, length);
  } else {
    std::memset(result, 0, length);
  }
  result[length] = '\0';
  return result;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  const std::size_t length = std::strlen(text);
  if (length > std::numeric_limits<std::uint32_t>::max()) return nullptr;
  return SysAllocStringLen(text, static_cast<std::uint32_t>(length));
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(reinterpret_cast<unsigned char*>(text) - kLengthPrefix);
}

std::uint32_t SysStringLen(BSTR text) {
  if (text == nullptr) return 0;
  std::uint32_t length;
  std::memcpy(&length, reinterpret_cast<unsigned char*>(text) - kLengthPrefix, kLengthPrefix);
  return length;
}

BSTR ConvertStringToBSTR(const char* text) {
  if (text == nullptr) return nullptr;
  BSTR result = SysAllocString(text);
  if (result == nullptr) IssueError(E_OUTOFMEMORY);
  return result;
}

char* ConvertBSTRToString(BSTR text) {
  const char* source = text == nullptr ? "" : text;
  const std::size_t length = std::strlen(source);
  auto* result = static_cast<char*>(std::malloc(length + 1));
  if (result == nullptr) IssueError(E_OUTOFMEMORY);
  std::memcpy(result, source, length + 1);
  return result;
}

BString::BString(const char* text) : text_(ConvertStringToBSTR(text)) {}

BString::BString(std::string_view text) {
  if (text.size() > std::numeric_limits<std::uint32_t>::max()) IssueError(E_OUTOFMEMORY);
  text_ = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
  if (text_ == nullptr) IssueError(E_OUTOFMEMORY);
}

BString::BString(BString&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}

BString& BString::operator=(BString&& other) noexcept {
  std::swap(text_, other.text_);
  return *this;
}

BString::~BString() { SysFreeString(text_); }

}  // namespace platform
