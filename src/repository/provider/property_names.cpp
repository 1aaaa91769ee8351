#include "provider/property_names.h"

#include "com/ascii.h"
#include "com/error_info.h"
#include "provider/provider.h"

namespace platform::provider {

bool IsCommitModeProperty(std::string_view name) {
  return EqualsIgnoringCase(name, kCommitModeProperty);
}

const std::vector<std::string>& CommitModePropertyNames() {
  static const std::vector<std::string> names{std::string(kCommitModeProperty)};
  return names;
}

HRESULT GetCommitModeProperty(std::string_view name, std::int32_t mode, VARIANT* value) {
  if (!IsCommitModeProperty(name)) return ReportError(adErrItemNotFound, std::string(name));
  VariantClear(value);
  value->vt = VT_I4;
  value->lVal = mode;
  return S_OK;
}

HRESULT ReadCommitMode(const VARIANT& value, std::int32_t* mode) {
  VARIANT number;
  VariantInit(&number);
  if (Failed(VariantChangeType(&number, &value, 0, VT_I4)) ||
      (number.lVal != kCommitModeDefault && number.lVal != kCommitModeDurable)) {
    VariantClear(&number);
    return ReportError(DB_E_ERRORSOCCURRED, "the commit mode must be 0 or 1");
  }
  *mode = number.lVal;
  return S_OK;
}

HRESULT ReadCommitModeProperty(std::string_view name, const VARIANT& value, std::int32_t* mode) {
  if (!IsCommitModeProperty(name)) return ReportError(adErrItemNotFound, std::string(name));
  return ReadCommitMode(value, mode);
}

}  // namespace platform::provider
