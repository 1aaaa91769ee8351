// Error information: a description of the last failure, passed from the object
// that failed to the caller that turns the failure into a ComError.
//
// An object that fails records a description with SetErrorInfo just before it
// returns its failing code; the caller collects it with GetErrorInfo, which
// also clears it. Objects that record descriptions say so through
// ISupportErrorInfo, so that a caller never attaches a stale description left
// by some other object.
#pragma once

#include <string>

#include "com/unknown.h"

namespace platform {

class ISupportErrorInfo : public IUnknown {
 public:
  static constexpr IID kIid = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
  // S_OK when the object records error information for `iid`, S_FALSE if not.
  virtual HRESULT InterfaceSupportsErrorInfo(const IID& iid) = 0;
};

void SetErrorInfo(std::string description);

// Moves the recorded description into `description`; false when none is held.
bool GetErrorInfo(std::string* description);

// Returns `code` after recording `description`; shortens the failure paths of
// objects and providers.
HRESULT ReportError(HRESULT code, std::string description);

}  // namespace platform
