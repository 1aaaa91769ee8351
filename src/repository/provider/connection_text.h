// The connection text: "Provider=NAME;Data Source=SOURCE".
//
// The provider name runs to the first ";". The data source is everything
// after "Data Source=" to the end of the text, byte for byte, so a path with
// spaces, ";" or quote characters in it stands as it is. Key words compare
// without regard to case.
#pragma once

#include <string>
#include <string_view>

#include "com/hresult.h"

namespace platform::provider {

struct ConnectionText {
  std::string provider;
  std::string data_source;
};

HRESULT ParseConnectionText(std::string_view text, ConnectionText* parsed);

}  // namespace platform::provider
