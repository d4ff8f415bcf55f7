// Private messages of the main dialog.
#pragma once

#include <windows.h>

// Posted by the worker's request queue: requests are waiting to be carried out.
inline constexpr UINT WM_KESTRUNE_WORKER_REQUESTS = WM_APP + 0x100;
