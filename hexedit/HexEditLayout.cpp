// RecalcLayout: measures the font's cell and the client area and hands them
// to the portable layout; every other part of the control works from it.
#include <algorithm>

#include "hexedit/HexEditBase.h"

hexview::LayoutOptions CHexEditBase::CurrentLayoutOptions() const {
    return {IsMultiLine(),    showAddress,   showAscii,
            autoBytesPerLine, addressDigits, bytesPerLineSetting};
}

void CHexEditBase::RecalcLayout(HDC dc) {
    layoutDirty = false;
    uint32_t charWidth = 0;
    uint32_t lineHeight = 0;
    {
        CSelectObject selectFont(dc, font.GetSafeHandle());
        INT width = 0;
        SIZE extent{};
        if (::GetCharWidthA(dc, '0', '0', &width) && width > 0)
            charWidth = static_cast<uint32_t>(width);
        if (::GetTextExtentPoint32A(dc, "0", 1, &extent) && extent.cy > 0)
            lineHeight = static_cast<uint32_t>(extent.cy);
    }
    RECT client{};
    if (hwnd) ::GetClientRect(hwnd, &client);
    layout = hexview::ComputeLayout(charWidth, lineHeight,
                                    {client.left, client.top, client.right, client.bottom},
                                    CurrentLayoutOptions(), dataSize);
    topLine = std::min(topLine, layout.maxTopLine);
    scrollX = std::min(scrollX, layout.maxScrollX);

    if (hwnd) ::PostMessageW(hwnd, WM_HEXEDIT_UPDATESCROLLBARS, 0, 0);
}

bool CHexEditBase::EnsureLayout() {
    if (layoutDirty && IsWindow()) {
        CClientDC dc(hwnd);
        RecalcLayout(dc);
    }
    return layout.IsUsable();
}

RECT CHexEditBase::GetTextRect() const {
    const hexview::ViewRect& t = layout.textRect;
    return RECT{t.left, t.top, t.right, t.bottom};
}
