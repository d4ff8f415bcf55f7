// Window classes, the ways a window comes to be driven by a CHexEditBase,
// the message table, and the small handlers that make the window behave as
// a child control (dialog code, erase, font, context menu).
#include "framework/ResourceException.h"
#include "hexedit/HexEditBase.h"

namespace {

POINT PointFrom(LPARAM lParam) {
    return POINT{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
}

void RegisterOne(const wchar_t* name, WNDPROC procedure) {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW existing{};
    if (::GetClassInfoW(instance, name, &existing)) return;
    WNDCLASSW wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = procedure;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_IBEAM);
    wc.lpszClassName = name;
    if (!::RegisterClassW(&wc))
        throw CResourceException("hex edit window class cannot be registered");
}

}  // namespace

// In the order the control lists them; every other message, and WM_DESTROY,
// goes to the window procedure the window had before the control took it.
const MessageEntry CHexEditBase::messageEntries[] = {
    {WM_HEXEDIT_UPDATESCROLLBARS, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         return WndAs<CHexEditBase>(w).OnUpdateScrollBars(wp, lp);
     }},
    {WM_CHAR, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         return WndAs<CHexEditBase>(w).OnChar(wp, lp);
     }},
    {WM_SETFONT, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         return WndAs<CHexEditBase>(w).OnSetFont(wp, lp);
     }},
    {WM_GETFONT, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         return WndAs<CHexEditBase>(w).OnGetFont(wp, lp);
     }},
    {WM_DESTROY, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT { return WndAs<CHexEditBase>(w).Default(); }},
    {WM_TIMER, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
         WndAs<CHexEditBase>(w).OnTimer(wp);
         return 0;
     }},
    {WM_KILLFOCUS, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
         WndAs<CHexEditBase>(w).OnKillFocus(reinterpret_cast<HWND>(wp));
         return 0;
     }},
    {WM_PAINT, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CHexEditBase>(w).OnPaint();
         return 0;
     }},
    {WM_SETFOCUS, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
         WndAs<CHexEditBase>(w).OnSetFocus(reinterpret_cast<HWND>(wp));
         return 0;
     }},
    {WM_SIZE, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnSize(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
         return 0;
     }},
    {WM_VSCROLL, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnVScroll(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
         return 0;
     }},
    {WM_HSCROLL, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnHScroll(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
         return 0;
     }},
    {WM_GETDLGCODE, 0, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT { return WndAs<CHexEditBase>(w).OnGetDlgCode(); }},
    {WM_ERASEBKGND, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
         return WndAs<CHexEditBase>(w).OnEraseBkgnd(reinterpret_cast<HDC>(wp));
     }},
    {WM_LBUTTONDOWN, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnLButtonDown(static_cast<UINT>(wp), PointFrom(lp));
         return 0;
     }},
    {WM_LBUTTONDBLCLK, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnLButtonDblClk(static_cast<UINT>(wp), PointFrom(lp));
         return 0;
     }},
    {WM_MOUSEMOVE, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnMouseMove(static_cast<UINT>(wp), PointFrom(lp));
         return 0;
     }},
    {WM_LBUTTONUP, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnLButtonUp(static_cast<UINT>(wp), PointFrom(lp));
         return 0;
     }},
    {WM_KEYDOWN, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnKeyDown(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
         return 0;
     }},
    // The point of a wheel message is in screen coordinates.
    {WM_MOUSEWHEEL, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         return WndAs<CHexEditBase>(w).OnMouseWheel(GET_KEYSTATE_WPARAM(wp),
                                                    GET_WHEEL_DELTA_WPARAM(wp), PointFrom(lp));
     }},
    {WM_CONTEXTMENU, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBase>(w).OnContextMenu(reinterpret_cast<HWND>(wp), PointFrom(lp));
         return 0;
     }},
    {WM_COMMAND, HEXEDIT_ID_EDIT_COPY, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CHexEditBase>(w).OnEditCopy();
         return 0;
     }},
    {WM_COMMAND, HEXEDIT_ID_EDIT_PASTE, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CHexEditBase>(w).OnEditPaste();
         return 0;
     }},
    {WM_COMMAND, HEXEDIT_ID_EDIT_SELECT_ALL, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CHexEditBase>(w).OnEditSelectAll();
         return 0;
     }},
};

const MessageMap CHexEditBase::messageMap{&CWnd::messageMap, messageEntries};

void CHexEditBase::RegisterWindowClasses() {
    RegisterOne(HEXEDIT_CLASS_NAME, ::DefWindowProcW);
    RegisterOne(HEXEDIT_AUTO_CLASS_NAME, &CHexEditBase::AutoSubclassWndProc);
}

LRESULT CALLBACK CHexEditBase::AutoSubclassWndProc(HWND window, UINT message, WPARAM wParam,
                                                   LPARAM lParam) {
    // A window that an object created for itself (the general Create with
    // this class) is already driven; it needs no second object.
    if (message != WM_NCCREATE || FromHandlePermanent(window))
        return ::DefWindowProcW(window, message, wParam, lParam);
    std::unique_ptr<CHexEditBase> object;
    try {
        object = CreateObject();
    } catch (...) {
        return 0;  // the system fails the window's creation
    }
    object->autoDelete = true;
    if (!object->SubclassWindow(window)) return 0;  // the object goes with `object`
    object.release();  // from now on the window owns it; PostNcDestroy deletes it
    return TRUE;
}

BOOL CHexEditBase::Create(LPCWSTR windowName, DWORD style, const RECT& rect, HWND parent, UINT id,
                          void* context) {
    return CWnd::Create(HEXEDIT_CLASS_NAME, windowName, style, rect, parent, id, context);
}

BOOL CHexEditBase::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect,
                          HWND parent, UINT id, void* context) {
    return CWnd::Create(className, windowName, style, rect, parent, id, context);
}

BOOL CHexEditBase::PreCreateWindow(CREATESTRUCTW& cs) {
    return CWnd::PreCreateWindow(cs);
}

void CHexEditBase::PostNcDestroy() {
    if (!autoDelete) return;
    autoDelete = false;
    delete this;
}

UINT CHexEditBase::OnGetDlgCode() {
    return DLGC_WANTALLKEYS;
}

BOOL CHexEditBase::OnEraseBkgnd(HDC) {
    return TRUE;
}

LRESULT CHexEditBase::OnSetFont(WPARAM fontHandle, LPARAM redraw) {
    HFONT stock = static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
    if (HFONT sent = reinterpret_cast<HFONT>(fontHandle); sent && sent == stock) {
        // Back to the font the control starts with, itself rather than a copy:
        // a stock object is never deleted.
        font.DeleteObject();
        font.SetBorrowed(stock);
    } else if (sent) {
        LOGFONTW description{};
        if (::GetObjectW(sent, sizeof description, &description) == sizeof description &&
            (description.lfPitchAndFamily & 0x03) == FIXED_PITCH) {
            // Our own copy: the sender may delete its font whenever it likes.
            font.DeleteObject();
            if (HFONT copy = ::CreateFontIndirectW(&description)) font.SetOwned(copy);
        }
    }
    if (!font) font.SetBorrowed(static_cast<HFONT>(::GetStockObject(SYSTEM_FIXED_FONT)));
    layoutDirty = true;
    if (redraw && IsWindow()) Invalidate(TRUE);
    return 0;
}

LRESULT CHexEditBase::OnGetFont(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(font.GetSafeHandle());
}

void CHexEditBase::OnContextMenu(HWND, POINT) {}
