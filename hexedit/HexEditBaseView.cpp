#include "hexedit/HexEditBaseView.h"

#include "framework/ResourceException.h"

// WM_DROPFILES and everything else go to the default window procedure.
const MessageEntry CHexEditBaseView::messageEntries[] = {
    {WM_ERASEBKGND, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM) -> LRESULT {
         return WndAs<CHexEditBaseView>(w).OnEraseBkgnd(reinterpret_cast<HDC>(wp));
     }},
    {WM_CREATE, 0, 0,
     [](CWnd& w, WPARAM, LPARAM lp) -> LRESULT {
         return WndAs<CHexEditBaseView>(w).OnCreate(reinterpret_cast<CREATESTRUCTW*>(lp));
     }},
    {WM_SIZE, 0, 0,
     [](CWnd& w, WPARAM wp, LPARAM lp) -> LRESULT {
         WndAs<CHexEditBaseView>(w).OnSize(static_cast<UINT>(wp), LOWORD(lp), HIWORD(lp));
         return 0;
     }},
};

const MessageMap CHexEditBaseView::messageMap{&CWnd::messageMap, messageEntries};

CHexEditBaseView::~CHexEditBaseView() {
    if (IsWindow()) ::DestroyWindow(hwnd);
}

std::unique_ptr<CHexEditBaseView> CHexEditBaseView::CreateObject() {
    return std::make_unique<CHexEditBaseView>();
}

void CHexEditBaseView::RegisterWindowClass() {
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSW wc{};
    if (::GetClassInfoW(instance, HEXEDIT_VIEW_CLASS_NAME, &wc)) return;
    wc = WNDCLASSW{};
    wc.style = CS_DBLCLKS;
    wc.lpfnWndProc = ::DefWindowProcW;
    wc.hInstance = instance;
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = HEXEDIT_VIEW_CLASS_NAME;
    if (!::RegisterClassW(&wc)) throw CResourceException("view window class cannot be registered");
}

BOOL CHexEditBaseView::Create(DWORD style, const RECT& rect, HWND parent, UINT id) {
    RegisterWindowClass();
    return CWnd::Create(HEXEDIT_VIEW_CLASS_NAME, nullptr, style, rect, parent, id);
}

BOOL CHexEditBaseView::OnEraseBkgnd(HDC) {
    return TRUE;
}

int CHexEditBaseView::OnCreate(CREATESTRUCTW* cs) {
    if (Default() != 0) return -1;
    const RECT rect{0, 0, cs->cx, cs->cy};
    return hexEdit.Create(nullptr, HEXEDIT_VIEW_CONTROL_STYLE, rect, hwnd, HEXEDIT_VIEW_CONTROL_ID)
               ? 0
               : -1;
}

void CHexEditBaseView::OnSize(UINT, int cx, int cy) {
    Default();
    if (IsWindow() && hexEdit.IsWindow()) hexEdit.MoveWindow(0, 0, cx, cy, TRUE);
}
