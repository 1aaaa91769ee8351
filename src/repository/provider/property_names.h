// Names of provider properties. Property names compare without regard to
// case, as the platform's property collections do.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "com/hresult.h"
#include "oleaut/variant.h"

namespace platform::provider {

bool IsCommitModeProperty(std::string_view name);

// The property list of a provider whose one property is the commit mode.
const std::vector<std::string>& CommitModePropertyNames();

// Answers a read of property `name` on a provider whose one property is the
// commit mode, now `mode`.
HRESULT GetCommitModeProperty(std::string_view name, std::int32_t mode, VARIANT* value);

// The commit-mode property, shared by the providers: reads the value a caller
// sets and checks it is one the provider knows.
HRESULT ReadCommitMode(const VARIANT& value, std::int32_t* mode);

// A write of property `name` on such a provider: the new mode into `mode`,
// or adErrItemNotFound for another name and the errors of ReadCommitMode.
// `mode` is left alone on failure.
HRESULT ReadCommitModeProperty(std::string_view name, const VARIANT& value, std::int32_t* mode);

}  // namespace platform::provider
