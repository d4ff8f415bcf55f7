// CWnd: binds a C++ object to one window and routes the window's messages to
// typed handlers through a static message table per class.
//
// Contract:
// - A window is bound either by subclassing an existing window
//   (SubclassWindow) or by Create, which binds the new window before its
//   first message (WM_NCCREATE). Bound windows call the object; messages the
//   tables do not name, and messages a handler passes on with Default(), go
//   to the window procedure the window had before it was bound.
// - Lookup walks the class's own table, then the base class's table.
// - No C++ exception leaves the window procedure: it is caught, counted and
//   recorded, and the message returns 0.
// - After WM_NCDESTROY the binding is removed and PostNcDestroy() runs; an
//   object that owns itself deletes itself there.
// - Destroying a CWnd whose window still exists unbinds the window (its
//   previous procedure is restored) but leaves the window alive.
#pragma once

#include <windows.h>

#include <cstddef>
#include <span>
#include <string>

class CWnd;

// A thunk cracks wParam/lParam into the handler's typed arguments and calls it.
using MessageThunk = LRESULT (*)(CWnd& wnd, WPARAM wParam, LPARAM lParam);

// One table entry. For WM_COMMAND, `id` is the command or control id and
// `code` the notification code (0 matches menu commands, accelerators and
// BN_CLICKED); for other messages both are 0 and ignored.
struct MessageEntry {
    UINT message;
    UINT id;
    UINT code;
    MessageThunk thunk;
};

struct MessageMap {
    const MessageMap* base;
    std::span<const MessageEntry> entries;
};

// The derived object a thunk works on.
template <class T>
T& WndAs(CWnd& wnd) {
    return static_cast<T&>(wnd);
}

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return hwnd; }
    operator HWND() const { return hwnd; }

    // The object bound to `window`, or null.
    static CWnd* FromHandlePermanent(HWND window);

    // Takes over `window`: replaces its window procedure, keeping the old one
    // for unhandled messages. Fails if this object or the window is already
    // bound, or the window does not exist.
    bool SubclassWindow(HWND window);
    // Gives the window back its previous procedure and forgets it.
    HWND UnsubclassWindow();

    // Creates a window of `className` and binds it before its first message.
    // Returns FALSE when creation fails (nothing stays bound then).
    virtual BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                        HWND parent, UINT id, void* context = nullptr);
    // Last chance to change the creation parameters; FALSE cancels creation.
    virtual BOOL PreCreateWindow(CREATESTRUCTW& cs);
    // Called by modal loops for a queued message addressed to this window or
    // one of its children before it is translated and dispatched. TRUE means
    // the message was handled and goes no further.
    virtual BOOL PreTranslateMessage(MSG* msg);

    BOOL DestroyWindow();
    BOOL IsWindow() const { return hwnd != nullptr && ::IsWindow(hwnd); }
    void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(hwnd, nullptr, erase); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(hwnd, rect); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(hwnd, GWL_STYLE)); }
    int GetDlgCtrlID() const { return ::GetDlgCtrlID(hwnd); }
    HWND GetParent() const { return ::GetParent(hwnd); }
    BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) const {
        return ::MoveWindow(hwnd, x, y, width, height, repaint);
    }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageW(hwnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::PostMessageW(hwnd, message, wParam, lParam);
    }

    // Exceptions stopped at the window procedure, for diagnosis and tests.
    static unsigned GetDispatchFailureCount();
    static std::string GetLastDispatchFailure();

protected:
    virtual const MessageMap* GetMessageMap() const { return &messageMap; }
    // Routes one message through the tables; unhandled ones go to
    // DefWindowProc.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The window's previous procedure (or the system default one).
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Passes the message being handled on to DefWindowProc.
    LRESULT Default();
    // Runs after the window's last message, once the binding is gone.
    virtual void PostNcDestroy() {}

    static const MessageMap messageMap;

    HWND hwnd = nullptr;

private:
    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };

    static LRESULT CALLBACK StandardWndProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    static LRESULT CALLBACK CreateHookProc(int code, WPARAM wParam, LPARAM lParam);
    const MessageEntry* FindEntry(UINT message, WPARAM wParam) const;
    LRESULT DispatchSafely(UINT message, WPARAM wParam, LPARAM lParam) noexcept;
    void ForgetWindow();

    WNDPROC previousProc = nullptr;
    CurrentMessage current;
};
