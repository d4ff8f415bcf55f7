#include "framework/Wnd.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>
#include <utility>

namespace {

// The window property that holds the bound object.
constexpr wchar_t kObjectProperty[] = L"Kestrune.CWnd";

std::atomic<unsigned> dispatchFailures{0};
std::mutex lastFailureMutex;
std::string lastFailure;

void RecordFailure(UINT message, const char* what) {
    dispatchFailures.fetch_add(1);
    char number[16];
    std::snprintf(number, sizeof number, "%04X", message);
    std::string text = "exception in handler of message 0x";
    text += number;
    text += ": ";
    text += what;
    ::OutputDebugStringA(text.c_str());
    std::lock_guard lock(lastFailureMutex);
    lastFailure = std::move(text);
}

// The window Create is making on this thread, and the object to bind it to.
struct PendingCreate {
    CWnd* object = nullptr;
    LPCWSTR className = nullptr;
    HWND parent = nullptr;
};
thread_local PendingCreate pendingCreate;

}  // namespace

const MessageMap CWnd::messageMap{nullptr, {}};

CWnd::~CWnd() {
    if (hwnd && ::IsWindow(hwnd)) UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND window) {
    if (!window) return nullptr;
    return static_cast<CWnd*>(::GetPropW(window, kObjectProperty));
}

bool CWnd::SubclassWindow(HWND window) {
    if (hwnd || !window || !::IsWindow(window) || FromHandlePermanent(window)) return false;
    if (!::SetPropW(window, kObjectProperty, this)) return false;
    auto old = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(
        window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StandardWndProc)));
    if (!old) {
        ::RemovePropW(window, kObjectProperty);
        return false;
    }
    previousProc = old;
    hwnd = window;
    return true;
}

HWND CWnd::UnsubclassWindow() {
    HWND window = hwnd;
    if (!window) return nullptr;
    if (previousProc)
        ::SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
    ForgetWindow();
    return window;
}

void CWnd::ForgetWindow() {
    if (hwnd) ::RemovePropW(hwnd, kObjectProperty);
    hwnd = nullptr;
    previousProc = nullptr;
}

static bool IsCreationOf(HWND window, const CBT_CREATEWNDW* cbt, const PendingCreate& pending) {
    if (!cbt || !cbt->lpcs || cbt->lpcs->hwndParent != pending.parent) return false;
    if (IS_INTRESOURCE(pending.className)) return true;
    wchar_t name[256];
    return ::GetClassNameW(window, name, 256) > 0 && ::lstrcmpiW(name, pending.className) == 0;
}

LRESULT CALLBACK CWnd::CreateHookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code != HCBT_CREATEWND) return ::CallNextHookEx(nullptr, code, wParam, lParam);
    HWND window = reinterpret_cast<HWND>(wParam);
    // Only the window Create asked for is bound (the system may create
    // helper windows of its own meanwhile); the hooks of outer, nested
    // Create calls then find nothing pending and pass the call on.
    PendingCreate pending = pendingCreate;
    const bool ours =
        pending.object && IsCreationOf(window, reinterpret_cast<CBT_CREATEWNDW*>(lParam), pending);
    if (ours) pendingCreate.object = nullptr;
    // Other hooks of the thread may veto the window first.
    LRESULT veto = ::CallNextHookEx(nullptr, code, wParam, lParam);
    if (veto != 0 || !ours) return veto;
    return pending.object->SubclassWindow(window) ? 0 : 1;
}

BOOL CWnd::PreCreateWindow(CREATESTRUCTW&) {
    return TRUE;
}

BOOL CWnd::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, HWND parent,
                  UINT id, void* context) {
    if (hwnd) return FALSE;
    CREATESTRUCTW cs{};
    cs.lpCreateParams = context;
    cs.hInstance = ::GetModuleHandleW(nullptr);
    cs.hMenu = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id));
    cs.hwndParent = parent;
    cs.cy = rect.bottom - rect.top;
    cs.cx = rect.right - rect.left;
    cs.y = rect.top;
    cs.x = rect.left;
    cs.style = style;
    cs.lpszName = windowName;
    cs.lpszClass = className;
    if (!PreCreateWindow(cs)) return FALSE;

    // Nested creation (a handler creating another window) keeps the outer state.
    PendingCreate outerPending =
        std::exchange(pendingCreate, PendingCreate{this, cs.lpszClass, cs.hwndParent});
    HWND created = nullptr;
    if (HHOOK hook =
            ::SetWindowsHookExW(WH_CBT, &CWnd::CreateHookProc, nullptr, ::GetCurrentThreadId())) {
        created =
            ::CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, cs.style, cs.x, cs.y, cs.cx,
                              cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, cs.lpCreateParams);
        ::UnhookWindowsHookEx(hook);
    }
    pendingCreate = outerPending;

    if (!created) {
        // A vetoed or failed creation may leave the binding of a window that
        // is already gone without having seen WM_NCDESTROY.
        if (hwnd && !::IsWindow(hwnd)) {
            hwnd = nullptr;
            previousProc = nullptr;
        } else if (hwnd) {
            UnsubclassWindow();
        }
        return FALSE;
    }
    return hwnd == created ? TRUE : FALSE;
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

BOOL CWnd::DestroyWindow() {
    if (!hwnd) return FALSE;
    return ::DestroyWindow(hwnd);
}

const MessageEntry* CWnd::FindEntry(UINT message, WPARAM wParam) const {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageEntry& entry : map->entries) {
            if (entry.message != message) continue;
            if (message != WM_COMMAND) return &entry;
            UINT code = HIWORD(wParam);
            if (entry.id == LOWORD(wParam) &&
                (entry.code == code || (entry.code == 0 && code == 1)))
                return &entry;
        }
    }
    return nullptr;
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (const MessageEntry* entry = FindEntry(message, wParam))
        return entry->thunk(*this, wParam, lParam);
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (previousProc) return ::CallWindowProcW(previousProc, hwnd, message, wParam, lParam);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CWnd::Default() {
    return DefWindowProc(current.message, current.wParam, current.lParam);
}

LRESULT CWnd::DispatchSafely(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    CurrentMessage outer = current;
    current = {message, wParam, lParam};
    LRESULT result = 0;
    try {
        result = WindowProc(message, wParam, lParam);
    } catch (const std::exception& e) {
        RecordFailure(message, e.what());
        result = 0;
    } catch (...) {
        RecordFailure(message, "unknown exception");
        result = 0;
    }
    current = outer;
    return result;
}

LRESULT CALLBACK CWnd::StandardWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWnd* object = FromHandlePermanent(window);
    if (!object) return ::DefWindowProcW(window, message, wParam, lParam);
    LRESULT result = object->DispatchSafely(message, wParam, lParam);
    if (message == WM_NCDESTROY && object->hwnd == window) {
        // The window's last message: unbind, then let the object end itself.
        object->ForgetWindow();
        try {
            object->PostNcDestroy();
        } catch (...) {
            RecordFailure(message, "exception in PostNcDestroy");
        }
    }
    return result;
}

unsigned CWnd::GetDispatchFailureCount() {
    return dispatchFailures.load();
}

std::string CWnd::GetLastDispatchFailure() {
    std::lock_guard lock(lastFailureMutex);
    return lastFailure;
}
