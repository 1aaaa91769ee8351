#include "provider/connection_text.h"

#include "com/ascii.h"
#include "com/error_info.h"

namespace platform::provider {
namespace {

constexpr std::string_view kProviderKey = "Provider=";
constexpr std::string_view kDataSourceKey = "Data Source=";

}  // namespace

HRESULT ParseConnectionText(std::string_view text, ConnectionText* parsed) {
  if (!StartsWithIgnoringCase(text, kProviderKey)) {
    return ReportError(E_CONNECTION_TEXT, "the connection text does not start with Provider=");
  }
  text.remove_prefix(kProviderKey.size());
  const std::size_t separator = text.find(';');
  if (separator == std::string_view::npos) {
    return ReportError(E_CONNECTION_TEXT, "the connection text names no Data Source");
  }
  std::string_view rest = text.substr(separator + 1);
  if (!StartsWithIgnoringCase(rest, kDataSourceKey)) {
    return ReportError(E_CONNECTION_TEXT, "Data Source= does not follow the provider name");
  }
  parsed->provider = std::string(text.substr(0, separator));
  parsed->data_source = std::string(rest.substr(kDataSourceKey.size()));
  return S_OK;
}

}  // namespace platform::provider
