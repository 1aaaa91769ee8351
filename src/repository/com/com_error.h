// The COM error: the one exception of the system.
//
// A failing platform call is turned into a ComError carrying its result code.
// An ADO call may attach the failing object's error description; it is kept
// for debugging only and never enters the message text, which is formed from
// the code alone (ErrorMessage).
#pragma once

#include <string>

#include "com/hresult.h"
#include "com/unknown.h"

namespace platform {

class ComError {
 public:
  explicit ComError(HRESULT code, std::string description = {});

  HRESULT Error() const { return code_; }
  const std::string& Description() const { return description_; }

  // The message text, formed once per error:
  //  1. the message table's text for the code;
  //  2. a text longer than one character that ends in LF loses the LF, and a
  //     CR right before it;
  //  3. without a table text, codes above 0x80040200 up to 0x8004FFFF read
  //     "IDispatch error #n" with n = (code - 0x200) & 0xFFFF, all others
  //     "Unknown error 0x" and the code in hex.
  const char* ErrorMessage() const;

 private:
  HRESULT code_;
  std::string description_;
  mutable std::string message_;
  mutable bool message_formed_ = false;
};

// Raises a ComError with `code` and no description.
[[noreturn]] void IssueError(HRESULT code);

// Raises a ComError with `code`, and with the error description of `object`
// when the object reports through ISupportErrorInfo that it supports one for
// the interface `iid`.
[[noreturn]] void IssueErrorEx(HRESULT code, IUnknown* object, const IID& iid);

// Raises a ComError when `code` is a failure.
inline void CheckResult(HRESULT code) {
  if (Failed(code)) IssueError(code);
}

}  // namespace platform
