// The system's own wording of a Win32 error code, on one line without the
// trailing full stop and line break; "error N" when the system has none.
#pragma once

#include <windows.h>

#include <string>

std::string SystemErrorText(DWORD error);
