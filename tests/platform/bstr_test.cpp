// BSTR: counted texts that keep every byte, null as the empty text, and the
// conversions to and from C texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "oleaut/bstr.h"

namespace {

using namespace platform;

struct FreeBstr {
  void operator()(OLECHAR* text) const { SysFreeString(text); }
};
using OwnedBstr = std::unique_ptr<OLECHAR, FreeBstr>;

struct FreeText {
  void operator()(char* text) const { std::free(text); }
};
using OwnedText = std::unique_ptr<char, FreeText>;

TEST(Bstr, KeepsEmbeddedNulsInItsLength) {
  const OwnedBstr text(SysAllocStringLen("ab\0cd", 5));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(SysStringLen(text.get()), 5u);
  EXPECT_EQ(BstrView(text.get()), std::string_view("ab\0cd", 5));
  // A NUL follows the last byte, so the text also reads as a C text.
  EXPECT_EQ(text.get()[5], '\0');
}

TEST(Bstr, KeepsBytesThatAreNotAscii) {
  const std::string bytes = "\xC3\xA9t\xE9\xFF\x01";
  const BString text{std::string_view(bytes)};
  EXPECT_EQ(text.View(), bytes);
}

TEST(Bstr, NullIsTheEmptyTextButNotAnEmptyBstr) {
  EXPECT_EQ(SysStringLen(nullptr), 0u);
  EXPECT_EQ(BstrView(nullptr), "");
  EXPECT_EQ(SysAllocString(nullptr), nullptr);

  const OwnedBstr empty(SysAllocString(""));
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(SysStringLen(empty.get()), 0u);
  EXPECT_EQ(empty.get()[0], '\0');
  SysFreeString(nullptr);  // allowed, does nothing
}

TEST(Bstr, AllocatesZerosWithoutASource) {
  const OwnedBstr text(SysAllocStringLen(nullptr, 4));
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(BstrView(text.get()), std::string_view("\0\0\0\0", 4));
}

TEST(Bstr, CopiesOnlyUpToTheLengthAsked) {
  const OwnedBstr text(SysAllocStringLen("abcdef", 3));
  EXPECT_EQ(BstrView(text.get()), "abc");
  EXPECT_EQ(std::strlen(text.get()), 3u);
}

TEST(BstrConversion, ToStringCutsAtTheFirstNul) {
  const OwnedBstr text(SysAllocStringLen("ab\0cd", 5));
  const OwnedText converted(ConvertBSTRToString(text.get()));
  EXPECT_STREQ(converted.get(), "ab");
}

TEST(BstrConversion, ToStringOfNullIsEmpty) {
  const OwnedText converted(ConvertBSTRToString(nullptr));
  ASSERT_NE(converted, nullptr);
  EXPECT_STREQ(converted.get(), "");
}

TEST(BstrConversion, FromStringCopiesTheCText) {
  const char source[] = "C:\\a path; with 'quotes'";
  const OwnedBstr text(ConvertStringToBSTR(source));
  ASSERT_NE(text, nullptr);
  EXPECT_NE(text.get(), source);
  EXPECT_EQ(BstrView(text.get()), source);
  EXPECT_EQ(ConvertStringToBSTR(nullptr), nullptr);
}

TEST(BString, OwnsAndHandsOverItsText) {
  BString text("first");
  BString moved(std::move(text));
  EXPECT_EQ(text.Get(), nullptr);  // NOLINT(bugprone-use-after-move)
  EXPECT_EQ(moved.View(), "first");

  BString other("second");
  other = std::move(moved);
  EXPECT_EQ(other.View(), "first");

  const OwnedBstr detached(other.Detach());
  EXPECT_EQ(other.Get(), nullptr);
  EXPECT_EQ(BstrView(detached.get()), "first");
}

TEST(BString, FromAViewKeepsEmbeddedNuls) {
  const BString text{std::string_view("x\0y", 3)};
  EXPECT_EQ(SysStringLen(text.Get()), 3u);
  const BString empty{std::string_view()};
  EXPECT_NE(empty.Get(), nullptr);
  EXPECT_EQ(SysStringLen(empty.Get()), 0u);
}

}  // namespace
