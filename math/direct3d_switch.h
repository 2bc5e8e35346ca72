// Reads the toolkit's switches under HKEY_LOCAL_MACHINE "Software\Kiln\Direct3D".
#pragma once

#include "platform/wintypes.h"

// Returns true when the value exists with the expected type (REG_DWORD, ...)
// and fits the buffer; the data then lands in it.
bool ReadDirect3DSwitch(DWORD expectedType, LPCSTR valueName, void* data, DWORD size);
