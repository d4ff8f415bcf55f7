// CHexEditBaseView: a host window whose whole client area is one hex edit
// control. It creates the control (multi-line, id 256) when its own window
// is created, fails its own creation when the control cannot be made, keeps
// the control exactly as large as its client area, and draws nothing.
#pragma once

#include <memory>

#include "hexedit/HexEditBase.h"

inline constexpr UINT HEXEDIT_VIEW_CONTROL_ID = 256;
inline constexpr DWORD HEXEDIT_VIEW_CONTROL_STYLE =
    WS_CHILD | WS_VISIBLE | HEXEDIT_STYLE_MULTILINE;  // 0x50000004
inline constexpr wchar_t HEXEDIT_VIEW_CLASS_NAME[] = L"CHexEditBaseView";

class CHexEditBaseView : public CWnd {
public:
    // Throws CResourceException when the control cannot be constructed.
    CHexEditBaseView() = default;
    // Destroys the view's window (and with it the control's) if it still exists.
    ~CHexEditBaseView() override;

    // Heap object owned by the caller (the run-time class factory).
    static std::unique_ptr<CHexEditBaseView> CreateObject();

    // Creates the view window of the class "CHexEditBaseView".
    BOOL Create(DWORD style, const RECT& rect, HWND parent, UINT id);

    CHexEditBase& GetHexEdit() { return hexEdit; }

protected:
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;

    BOOL OnEraseBkgnd(HDC dc);
    int OnCreate(CREATESTRUCTW* cs);
    void OnSize(UINT type, int cx, int cy);

    CHexEditBase hexEdit;

private:
    static const MessageEntry messageEntries[];
    static void RegisterWindowClass();
};
