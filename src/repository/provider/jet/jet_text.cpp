#include "provider/jet/jet_text.h"

#include <array>

namespace platform::provider::jet::detail {
namespace {

constexpr std::uint16_t kCodePage1252 = 1252;
constexpr std::uint8_t kAsciiLimit = 0x80;
constexpr std::uint8_t kWindowsRangeEnd = 0xA0;  // 1252 differs from Latin-1 only below this

// Code page 1252 at 0x80-0x9F. The five bytes the code page leaves
// undefined keep their C1 control code points, as Windows converts them.
constexpr std::array<char16_t, kWindowsRangeEnd - kAsciiLimit> kWindows1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::uint8_t kCompressedMarker0 = 0xFF;
constexpr std::uint8_t kCompressedMarker1 = 0xFE;
constexpr std::uint8_t kCompressionToggle = 0x00;
constexpr std::size_t kUnitBytes = 2;

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kHighSurrogateFirst = 0xD800;
constexpr char32_t kLowSurrogateFirst = 0xDC00;
constexpr char32_t kSurrogateEnd = 0xE000;
constexpr char32_t kSupplementaryFirst = 0x10000;
constexpr unsigned kSurrogateBits = 10;

constexpr char32_t kOneByteLimit = 0x80;
constexpr char32_t kTwoByteLimit = 0x800;
constexpr char32_t kThreeByteLimit = 0x10000;
constexpr unsigned kContinuationBits = 6;
constexpr char32_t kContinuationMask = 0x3F;
constexpr unsigned kContinuationTag = 0x80;
constexpr unsigned kTwoByteLead = 0xC0;
constexpr unsigned kThreeByteLead = 0xE0;
constexpr unsigned kFourByteLead = 0xF0;

char Byte(unsigned value) { return static_cast<char>(static_cast<unsigned char>(value)); }
char Continuation(char32_t code_point, unsigned shift) {
  return Byte(kContinuationTag | static_cast<unsigned>((code_point >> shift) & kContinuationMask));
}

void AppendUtf8(char32_t code_point, std::string* text) {
  if (code_point < kOneByteLimit) {
    text->push_back(Byte(static_cast<unsigned>(code_point)));
  } else if (code_point < kTwoByteLimit) {
    text->push_back(Byte(kTwoByteLead | static_cast<unsigned>(code_point >> kContinuationBits)));
    text->push_back(Continuation(code_point, 0));
  } else if (code_point < kThreeByteLimit) {
    text->push_back(Byte(kThreeByteLead | static_cast<unsigned>(code_point >> (2 * kContinuationBits))));
    text->push_back(Continuation(code_point, kContinuationBits));
    text->push_back(Continuation(code_point, 0));
  } else {
    text->push_back(Byte(kFourByteLead | static_cast<unsigned>(code_point >> (3 * kContinuationBits))));
    text->push_back(Continuation(code_point, 2 * kContinuationBits));
    text->push_back(Continuation(code_point, kContinuationBits));
    text->push_back(Continuation(code_point, 0));
  }
}

// Turns UTF-16 units into code points: Access stores characters outside the
// basic plane as surrogate pairs; a lone surrogate becomes U+FFFD.
class Utf16Writer {
 public:
  explicit Utf16Writer(std::string* text) : text_(text) {}
  ~Utf16Writer() { Flush(); }
  Utf16Writer(const Utf16Writer&) = delete;
  Utf16Writer& operator=(const Utf16Writer&) = delete;

  void Unit(char32_t unit) {
    if (pending_high_ != 0) {
      if (unit >= kLowSurrogateFirst && unit < kSurrogateEnd) {
        AppendUtf8(kSupplementaryFirst + ((pending_high_ - kHighSurrogateFirst) << kSurrogateBits) +
                       (unit - kLowSurrogateFirst),
                   text_);
        pending_high_ = 0;
        return;
      }
      Flush();
    }
    if (unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst) {
      pending_high_ = unit;
    } else if (unit >= kLowSurrogateFirst && unit < kSurrogateEnd) {
      AppendUtf8(kReplacement, text_);
    } else {
      AppendUtf8(unit, text_);
    }
  }

 private:
  void Flush() {
    if (pending_high_ != 0) AppendUtf8(kReplacement, text_);
    pending_high_ = 0;
  }
  std::string* text_;
  char32_t pending_high_ = 0;
};

char32_t UnitAt(const std::uint8_t* bytes) {
  return static_cast<char32_t>(bytes[0] | (bytes[1] << 8));
}

}  // namespace

TextDecoding DecodeCodePageText(const std::uint8_t* bytes, std::size_t length, std::uint16_t code_page,
                                std::string* text) {
  text->clear();
  text->reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    const std::uint8_t byte = bytes[i];
    if (byte < kAsciiLimit) {
      text->push_back(Byte(byte));
    } else if (code_page != kCodePage1252) {
      return TextDecoding::kUnsupportedCodePage;
    } else if (byte < kWindowsRangeEnd) {
      AppendUtf8(kWindows1252High[static_cast<std::size_t>(byte - kAsciiLimit)], text);
    } else {
      AppendUtf8(byte, text);
    }
  }
  return TextDecoding::kDecoded;
}

TextDecoding DecodeUcs2Text(const std::uint8_t* bytes, std::size_t length, std::string* text) {
  text->clear();
  if (length % kUnitBytes != 0) return TextDecoding::kMalformed;
  Utf16Writer writer(text);
  for (std::size_t i = 0; i < length; i += kUnitBytes) writer.Unit(UnitAt(bytes + i));
  return TextDecoding::kDecoded;
}

TextDecoding DecodeJet4Text(const std::uint8_t* bytes, std::size_t length, std::string* text) {
  if (length < kUnitBytes || bytes[0] != kCompressedMarker0 || bytes[1] != kCompressedMarker1) {
    return DecodeUcs2Text(bytes, length, text);
  }
  text->clear();
  Utf16Writer writer(text);
  bool compressed = true;
  std::size_t i = kUnitBytes;
  while (i < length) {
    // The toggle is looked for where a character starts, in either mode,
    // which is how the readers after this one split the value too.
    if (bytes[i] == kCompressionToggle) {
      compressed = !compressed;
      ++i;
    } else if (compressed) {
      writer.Unit(bytes[i]);
      ++i;
    } else {
      if (length - i < kUnitBytes) return TextDecoding::kMalformed;
      writer.Unit(UnitAt(bytes + i));
      i += kUnitBytes;
    }
  }
  return TextDecoding::kDecoded;
}

}  // namespace platform::provider::jet::detail
