// Names of the toolkit's result codes for messages: "E_FAIL (0x80004005)".
#pragma once

#include <string>

#include "platform/wintypes.h"

// The code's name and its hex value, or only the hex value for a code
// without a name.
std::string DescribeResult(HRESULT hr);
