// Collects what the code under test prints on standard output.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace testing_support {

class StdoutCapture {
 public:
  StdoutCapture() {
    std::fflush(stdout);
    ::testing::internal::CaptureStdout();
  }
  // Ends the capture and returns what was printed; call once.
  std::string Finish() {
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }
};

}  // namespace testing_support
