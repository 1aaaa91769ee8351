// Feeds arbitrary text to the parsers of texts: the conversions of a text
// value to every VARIANT type, back to text, and the connection text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "oleaut/variant.h"
#include "provider/connection_text.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (size > UINT32_MAX) return 0;

  VARIANT source;
  VariantInit(&source);
  source.vt = VT_BSTR;
  source.bstrVal = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(size));
  if (source.bstrVal == nullptr) return 0;
  for (const VARTYPE type : {VT_I4, VT_I8, VT_R8, VT_BOOL, VT_DATE, VT_BSTR}) {
    VARIANT converted;
    VariantInit(&converted);
    if (Succeeded(VariantChangeType(&converted, &source, 0, type))) {
      VARIANT back;
      VariantInit(&back);
      VariantChangeType(&back, &converted, 0, VT_BSTR);
      VariantClear(&back);
    }
    VariantClear(&converted);
  }
  VariantClear(&source);

  provider::ConnectionText parsed;
  provider::ParseConnectionText(text, &parsed);
  return 0;
}
