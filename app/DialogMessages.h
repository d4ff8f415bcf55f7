// Private messages between the download worker and the main dialog. The
// worker sends them (synchronously); the dialog handles them on its thread.
#pragma once

#include <windows.h>

// lParam: const wchar_t* text to append, or null to clear the message box.
inline constexpr UINT WM_KESTRUNE_APPEND_TEXT = WM_APP + 0x100;
// The worker has restored the dialog and is about to end.
inline constexpr UINT WM_KESTRUNE_WORKER_FINISHED = WM_APP + 0x101;
