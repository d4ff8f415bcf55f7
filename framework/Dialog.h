// CDialog: a modal dialog from a dialog template resource of the program.
//
// DoModal creates the dialog (CreateDialogParamW), disables the owner and
// runs its own message loop until EndDialog is called. The loop gives every
// bound window from the message's target up to the dialog a
// PreTranslateMessage chance (the hex edit's Ctrl+A/C/V) before
// IsDialogMessage; DialogBoxParamW offers no such hook, which is why the
// loop is ours. The dialog window is bound at WM_INITDIALOG, so dialog
// classes use the message tables like any other CWnd.
#pragma once

#include "framework/Wnd.h"

class CDialog : public CWnd {
public:
    explicit CDialog(UINT templateId, HWND parent = nullptr);

    // Runs the dialog; returns the value given to EndDialog, or -1 when the
    // dialog could not be created or its initialisation failed.
    INT_PTR DoModal();
    // Ends the modal loop with `result`; the window is destroyed by DoModal.
    void EndDialog(INT_PTR result);

    HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd, id); }

protected:
    // Default: DoDataExchange(), then TRUE (the system sets the focus).
    virtual BOOL OnInitDialog();
    // Binds member controls to dialog items with DDX_Control.
    virtual void DoDataExchange() {}
    // Subclasses dialog item `id` with `control`; throws CResourceException
    // when the item is missing or cannot be bound.
    void DDX_Control(int id, CWnd& control);
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool PreTranslateChain(MSG& msg) const;

    UINT templateId;
    HWND parentWnd;
    bool modalRunning = false;
    INT_PTR modalResult = -1;
};
