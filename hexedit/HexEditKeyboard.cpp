// Keyboard side of the control: the Ctrl+A/C/V chords, caret moves with the
// Shift selection rule, Tab between dialog items, and overwriting hex digits.
#include <optional>

#include "hexedit/HexEditBase.h"
#include "hexedit/core/HexViewText.h"

namespace {

bool KeyDown(int key) {
    return (::GetKeyState(key) & 0x8000) != 0;
}

std::optional<hexview::NavKey> NavKeyOf(UINT key) {
    switch (key) {
        case VK_PRIOR:
            return hexview::NavKey::PageUp;
        case VK_NEXT:
            return hexview::NavKey::PageDown;
        case VK_END:
            return hexview::NavKey::End;
        case VK_HOME:
            return hexview::NavKey::Home;
        case VK_LEFT:
            return hexview::NavKey::Left;
        case VK_UP:
            return hexview::NavKey::Up;
        case VK_RIGHT:
            return hexview::NavKey::Right;
        case VK_DOWN:
            return hexview::NavKey::Down;
        default:
            return std::nullopt;
    }
}

}  // namespace

BOOL CHexEditBase::PreTranslateMessage(MSG* msg) {
    if (msg && msg->hwnd == hwnd && msg->message == WM_KEYDOWN && KeyDown(VK_CONTROL)) {
        switch (msg->wParam) {
            case 'A':
                OnEditSelectAll();
                return TRUE;
            case 'C':
                OnEditCopy();
                return TRUE;
            case 'V':
                OnEditPaste();
                return TRUE;
            default:
                break;
        }
    }
    return CWnd::PreTranslateMessage(msg);
}

void CHexEditBase::OnKeyDown(UINT key, UINT, UINT) {
    // Shift going down (or held with any key) fixes the anchor at the edit
    // position, so the next move selects from there.
    if (KeyDown(VK_SHIFT) && selectionAnchor == HEXEDIT_NONE && data && caretPos < dataSize)
        selectionAnchor = caretPos;

    if (key == VK_TAB) {
        HWND parent = ::GetParent(hwnd);
        if (!parent) return;
        if (HWND next = ::GetNextDlgTabItem(parent, hwnd, KeyDown(VK_SHIFT))) ::SetFocus(next);
        return;
    }
    if (!data || dataSize == 0) return;
    if (!EnsureLayout()) return;
    if (const auto nav = NavKeyOf(key)) {
        const hexview::CaretMove move =
            hexview::MoveForKey(*nav, caretHighNibble, layout.bytesPerLine, layout.linesVisible);
        MoveCaretBy(move.delta, move.highNibble);
    }
}

void CHexEditBase::MoveCaretBy(int32_t delta, bool highNibble) {
    const bool shift = KeyDown(VK_SHIFT);
    if (!data) return;
    if (!shift) {
        selectionAnchor = HEXEDIT_NONE;
        selectionStart = HEXEDIT_NONE;
        selectionEnd = HEXEDIT_NONE;
    }
    if (dataSize == 0) return;

    const hexview::CaretSpot to = hexview::MoveCaret(caretPos, dataSize, delta, highNibble);
    if (shift && selectionAnchor != HEXEDIT_NONE) {
        const hexview::Selection span = hexview::SpanBetween(selectionAnchor, to.address);
        selectionStart = span.start;
        selectionEnd = span.end;
    }
    if (EnsureLayout()) MakeRangeVisible(to.address, to.address, true);
    SetCaret(to.address, to.highNibble);
}

LRESULT CHexEditBase::OnChar(WPARAM code, LPARAM) {
    if (code == L'\b') return 1;  // Backspace: nothing is ever deleted
    return EnterHexDigit(static_cast<uint16_t>(code)) ? 0 : 1;
}

bool CHexEditBase::EnterHexDigit(uint16_t code) {
    if (!data || dataSize == 0 || readOnly || caretPos >= dataSize) return false;
    if (!hexview::TypeHexDigit(data[caretPos], code, caretHighNibble)) return false;
    if (caretHighNibble)
        MoveCaretBy(0, false);
    else
        MoveCaretBy(+1, true);
    Repaint();
    NotifyParent(EN_CHANGE);
    return true;
}
