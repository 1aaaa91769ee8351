// The failure lines the operations print on standard output.
#pragma once

#include "com/com_error.h"

namespace reconsider {

// "Err :: " and the COM error's message text, on a line of its own.
void PrintErrorLine(const platform::ComError& error);
// The same line for an exhausted heap, met outside a platform call.
void PrintOutOfMemoryLine();

}  // namespace reconsider
