// IdListAppender: ids appended to the caller's list in place.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "repository/id_list.h"
#include "system_test_support.h"

namespace {

using reconsider::IdListAppender;

// A list as the system hands them around: a heap text of its exact size.
char* HeapList(const std::optional<std::string>& text) {
  if (!text) return nullptr;
  char* list = static_cast<char*>(std::malloc(text->size() + 1));
  std::memcpy(list, text->c_str(), text->size() + 1);
  return list;
}

std::optional<std::string> Release(char* list) {
  if (list == nullptr) return std::nullopt;
  std::string text(list);
  std::free(list);
  return text;
}

struct AppendCase {
  const char* name;
  std::optional<std::string> start;
  std::vector<std::int32_t> ids;
  std::optional<std::string> expected;
};

class IdListAppendTest : public ::testing::TestWithParam<AppendCase> {};

TEST_P(IdListAppendTest, AppendsInOrder) {
  const AppendCase& test = GetParam();
  char* list = HeapList(test.start);
  {
    IdListAppender appender(&list);
    for (const std::int32_t id : test.ids) appender.Append(id);
  }
  EXPECT_EQ(Release(list), test.expected);
}

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Cases, IdListAppendTest,
    ::testing::Values(
        AppendCase{"NullListGetsFirstIdWithoutComma", std::nullopt, {14, 15}, "14,15"},
        AppendCase{"HeldIdsAreKept", "12", {14, 15}, "12,14,15"},
        AppendCase{"SingleId", std::nullopt, {7}, "7"},
        AppendCase{"Zero", std::nullopt, {0, 0}, "0,0"},
        AppendCase{"NegativeIdsKeepTheirSign", "-1", {-12, 3}, "-1,-12,3"},
        AppendCase{"Int32Limits", std::nullopt, {kMin, kMax}, "-2147483648,2147483647"},
        AppendCase{"LimitsAfterHeldIds", "5,6", {kMax, kMin}, "5,6,2147483647,-2147483648"},
        AppendCase{"DuplicatesAreNotMerged", "3", {3, 1, 3}, "3,3,1,3"},
        AppendCase{"NothingAppendedLeavesNull", std::nullopt, {}, std::nullopt},
        AppendCase{"NothingAppendedLeavesListAsItWas", "9,8", {}, "9,8"}),
    system_testing::CaseName());

// The caller reads its pointer while ids are still being appended (a pass
// that fails half way hands on what it has): the text must be a whole list
// after every single append, however often it has had to grow.
TEST(IdListAppender, ListIsWellFormedAfterEveryAppend) {
  for (const std::optional<std::string>& start :
       std::vector<std::optional<std::string>>{std::nullopt, std::string("12")}) {
    char* list = HeapList(start);
    std::string expected = start.value_or("");
    IdListAppender appender(&list);
    for (std::int32_t i = 0; i < 2000; ++i) {
      // Ids of every width, so that growth steps land at odd lengths.
      const std::int32_t id = (i % 3 == 0) ? -i * 977 : i * 104729;
      appender.Append(id);
      if (!expected.empty()) expected += ',';
      expected += std::to_string(id);
      ASSERT_NE(list, nullptr);
      ASSERT_EQ(std::string(list), expected) << "after append " << i;
    }
    std::free(list);
  }
}

// The subtree passes and the selections each append to the same list with a
// new appender.
TEST(IdListAppender, LaterAppenderContinuesTheList) {
  char* list = nullptr;
  {
    IdListAppender first(&list);
    first.Append(5);
  }
  {
    IdListAppender second(&list);
    second.Append(8);
    second.Append(9);
  }
  {
    IdListAppender third(&list);
    third.Append(-12);
  }
  EXPECT_EQ(Release(list), "5,8,9,-12");
}

}  // namespace
