// A test whose body runs between CoInitialize and CoUninitialize, as the run's
// steps do.
#pragma once

#include <gtest/gtest.h>

#include "com/com_runtime.h"

namespace testing_support {

class ComTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::CoInitialize(nullptr); }
  void TearDown() override { platform::CoUninitialize(); }
};

}  // namespace testing_support
