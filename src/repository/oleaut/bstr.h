// BSTR: the platform's counted text.
//
// A BSTR points at its first character; the byte count sits in the four bytes
// before it and a NUL follows the last character, so a BSTR reads as a C text
// too, up to its first embedded NUL. A null BSTR is the empty text.
//
// The system's "ANSI code page" is UTF-8 on this platform, and BSTRs hold the
// same UTF-8 bytes: converting between the two copies the bytes unchanged, so
// every text (a path, a GUID read from the repository) crosses the platform
// exactly as it was, whatever bytes it holds.
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

namespace platform {

using OLECHAR = char;
using BSTR = OLECHAR*;

// A new BSTR of `length` bytes copied from `text` (zeros when `text` is
// null); null when memory runs out.
BSTR SysAllocStringLen(const OLECHAR* text, std::uint32_t length);
// A new BSTR copied from the C text `text`; null for a null `text` or when
// memory runs out.
BSTR SysAllocString(const OLECHAR* text);
void SysFreeString(BSTR text);
std::uint32_t SysStringLen(BSTR text);

inline std::string_view BstrView(BSTR text) { return {text == nullptr ? "" : text, SysStringLen(text)}; }

// Conversions between the ANSI code page and BSTR; both raise a ComError with
// E_OUTOFMEMORY when memory runs out.
//  ConvertStringToBSTR: a new BSTR holding the C text (null gives null).
//  ConvertBSTRToString: a new heap text, released with free, holding the BSTR
//  up to its first NUL (null gives an empty text).
BSTR ConvertStringToBSTR(const char* text);
char* ConvertBSTRToString(BSTR text);

// An owned BSTR, freed when the BString ends.
class BString {
 public:
  BString() = default;
  // Converts the C text; raises E_OUTOFMEMORY when memory runs out.
  explicit BString(const char* text);
  // Copies the bytes; raises E_OUTOFMEMORY when memory runs out.
  explicit BString(std::string_view text);
  BString(const BString&) = delete;
  BString& operator=(const BString&) = delete;
  BString(BString&& other) noexcept;
  BString& operator=(BString&& other) noexcept;
  ~BString();

  BSTR Get() const { return text_; }
  // Hands the BSTR to the caller, who frees it.
  BSTR Detach() { return std::exchange(text_, nullptr); }
  std::string_view View() const { return BstrView(text_); }

 private:
  BSTR text_ = nullptr;
};

}  // namespace platform
