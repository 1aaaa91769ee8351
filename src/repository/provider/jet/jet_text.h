// Names and Text values as Jet stores them, decoded to UTF-8: code-page
// bytes in Jet 3, UCS-2 LE in Jet 4, optionally in Jet 4's compressed form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform::provider::jet::detail {

enum class TextDecoding { kDecoded, kMalformed, kUnsupportedCodePage };

// Code-page bytes. Only code page 1252 is known beyond ASCII; bytes above
// 0x7F in any other code page cannot be decoded.
TextDecoding DecodeCodePageText(const std::uint8_t* bytes, std::size_t length, std::uint16_t code_page,
                                std::string* text);

// Plain UCS-2 LE (names in a Jet 4 table definition).
TextDecoding DecodeUcs2Text(const std::uint8_t* bytes, std::size_t length, std::string* text);

// A Jet 4 Text value: UCS-2 LE, or "FF FE" followed by one byte per
// character, where a 0x00 byte switches between that and UCS-2.
TextDecoding DecodeJet4Text(const std::uint8_t* bytes, std::size_t length, std::string* text);

}  // namespace platform::provider::jet::detail
