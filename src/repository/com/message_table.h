// The system message table: the text for a result code.
//
// Stands in for the operating system's message table. Texts end in CR LF, as
// system messages do; ComError::ErrorMessage() trims that ending. A code with
// no entry yields no text, and the caller falls back to a generic one.
#pragma once

#include <cstdint>
#include <string>

#include "com/hresult.h"

namespace platform {

// The language the caller asks for. The table holds one language, which
// answers every request, as the neutral language does on the platform.
inline constexpr std::uint32_t kLanguageNeutral = 0x400;

// Copies the text for `code` into `text` and returns true, or returns false
// when the table holds none.
bool FormatMessage(HRESULT code, std::uint32_t language, std::string* text);

}  // namespace platform
