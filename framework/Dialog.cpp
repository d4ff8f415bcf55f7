#include "framework/Dialog.h"

#include <exception>

#include "framework/ResourceException.h"

const MessageEntry CDialog::messageEntries[] = {
    {WM_COMMAND, IDOK, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDialog>(w).OnOK();
         return 0;
     }},
    {WM_COMMAND, IDCANCEL, 0,
     [](CWnd& w, WPARAM, LPARAM) -> LRESULT {
         WndAs<CDialog>(w).OnCancel();
         return 0;
     }},
};

const MessageMap CDialog::messageMap{&CWnd::messageMap, messageEntries};

CDialog::CDialog(UINT templateId, HWND parent) : templateId(templateId), parentWnd(parent) {}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

void CDialog::DDX_Control(int id, CWnd& control) {
    HWND item = GetDlgItem(id);
    if (!item || !control.SubclassWindow(item))
        throw CResourceException("dialog item cannot be bound");
}

void CDialog::EndDialog(INT_PTR result) {
    modalResult = result;
    if (modalRunning) {
        modalRunning = false;
        // Wakes the loop when the call came from outside a dispatched message.
        if (hwnd) ::PostMessageW(hwnd, WM_NULL, 0, 0);
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM, LPARAM lParam) {
    if (message != WM_INITDIALOG) return FALSE;
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    if (!dialog || !dialog->SubclassWindow(window)) return FALSE;
    try {
        return dialog->OnInitDialog();
    } catch (...) {
        // A dialog that cannot be initialised is closed at once.
        dialog->EndDialog(-1);
        return FALSE;
    }
}

bool CDialog::PreTranslateChain(MSG& msg) const {
    for (HWND window = msg.hwnd; window; window = ::GetParent(window)) {
        if (CWnd* object = FromHandlePermanent(window)) {
            try {
                if (object->PreTranslateMessage(&msg)) return true;
            } catch (...) {
                return true;  // handled, however badly: never dispatch it twice
            }
        }
        if (window == hwnd) break;
    }
    return false;
}

INT_PTR CDialog::DoModal() {
    if (hwnd) return -1;
    modalResult = -1;
    modalRunning = true;
    HWND owner = parentWnd;
    HWND created =
        ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner,
                             &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
    if (!created) {
        modalRunning = false;
        return -1;
    }
    const bool disableOwner = owner && ::IsWindowEnabled(owner);
    if (disableOwner) ::EnableWindow(owner, FALSE);
    if (modalRunning && !::IsWindowVisible(created)) ::ShowWindow(created, SW_SHOW);

    MSG msg;
    while (modalRunning && ::IsWindow(created)) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT ends the dialog and goes on to the outer loop.
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            modalResult = -1;
            break;
        }
        if (got == -1) break;
        if (PreTranslateChain(msg)) continue;
        if (::IsDialogMessageW(created, &msg)) continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    modalRunning = false;

    // Re-enable the owner before the dialog goes, so activation returns to it.
    if (disableOwner) ::EnableWindow(owner, TRUE);
    if (owner && ::GetActiveWindow() == created) ::SetActiveWindow(owner);
    if (::IsWindow(created)) ::DestroyWindow(created);
    return modalResult;
}
