#include "com/com_error.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <utility>

#include "com/error_info.h"
#include "com/message_table.h"

namespace platform {
namespace {

constexpr std::uint32_t kDispatchRangeFloor = 0x80040200;  // exclusive
constexpr std::uint32_t kDispatchRangeCeiling = 0x8004FFFF;
constexpr std::uint32_t kDispatchErrorBias = 0x200;

std::string FallbackMessage(HRESULT code) {
  const auto bits = static_cast<std::uint32_t>(code);
  char text[64];
  if (bits > kDispatchRangeFloor && bits <= kDispatchRangeCeiling) {
    std::snprintf(text, sizeof text, "IDispatch error #%d",
                  static_cast<int>((bits - kDispatchErrorBias) & 0xFFFF));
  } else {
    std::snprintf(text, sizeof text, "Unknown error 0x%0" PRIX32, bits);
  }
  return text;
}

}  // namespace

ComError::ComError(HRESULT code, std::string description)
    : code_(code), description_(std::move(description)) {}

const char* ComError::ErrorMessage() const {
  if (!message_formed_) {
    std::string text;
    if (FormatMessage(code_, kLanguageNeutral, &text)) {
      if (text.size() > 1 && text.back() == '\n') {
        text.pop_back();
        if (!text.empty() && text.back() == '\r') text.pop_back();
      }
    } else {
      text = FallbackMessage(code_);
    }
    message_ = std::move(text);
    message_formed_ = true;
  }
  return message_.c_str();
}

void IssueError(HRESULT code) { throw ComError(code); }

void IssueErrorEx(HRESULT code, IUnknown* object, const IID& iid) {
  std::string description;
  if (object != nullptr) {
    void* raw = nullptr;
    if (Succeeded(object->QueryInterface(ISupportErrorInfo::kIid, &raw)) && raw != nullptr) {
      auto* support = static_cast<ISupportErrorInfo*>(raw);
      if (support->InterfaceSupportsErrorInfo(iid) == S_OK) GetErrorInfo(&description);
      support->Release();
    }
  }
  throw ComError(code, std::move(description));
}

}  // namespace platform
