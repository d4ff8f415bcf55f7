// Brings the layout up to date before code that divides by its values.
//
// The caret, mouse, keyboard and clipboard code reads bytesPerLine,
// charWidth and lineHeight. Those are 0 until the first layout and stale
// while layoutDirty is set; this recomputes them with a client DC when the
// window exists, and tells the caller whether they can be used at all.
#pragma once

#include "hexedit/HexEditBase.h"

inline bool EnsureHexEditLayout(CHexEditBase& edit) {
    if (edit.IsLayoutDirty() && edit.IsWindow()) {
        CClientDC dc(edit.GetSafeHwnd());
        edit.RecalcLayout(dc);
    }
    return edit.GetBytesPerLine() > 0 && edit.GetCharWidth() > 0 && edit.GetLineHeight() > 0;
}
