// Keyboard side of the control: the Ctrl+A/C/V chords, caret moves with the
// Shift selection rule, Tab between dialog items, and overwriting hex digits.
#include <algorithm>
#include <cstdint>

#include "hexedit/HexEditBase.h"
#include "hexedit/HexEditLayoutGuard.h"

namespace {

constexpr uint32_t kEnChange = 0x0300;

bool KeyDown(int key) {
    return (::GetKeyState(key) & 0x8000) != 0;
}

// The value of a hex digit character, or -1.
int HexDigitValue(uint16_t code) {
    if (code >= '0' && code <= '9') return code - '0';
    if (code >= 'a' && code <= 'f') return code - 'a' + 10;
    if (code >= 'A' && code <= 'F') return code - 'A' + 10;
    return -1;
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
    if (!EnsureHexEditLayout(*this)) return;

    const int64_t line = bytesPerLine;
    const int64_t page = (static_cast<int64_t>(linesVisible) - 1) * line;
    auto clamped = [](int64_t delta) {
        return static_cast<int32_t>(std::clamp<int64_t>(delta, INT32_MIN, INT32_MAX));
    };
    switch (key) {
        case VK_PRIOR:
            MoveCaretBy(clamped(-page), caretHighNibble);
            break;
        case VK_NEXT:
            MoveCaretBy(clamped(page), caretHighNibble);
            break;
        case VK_END:
            MoveCaretBy(HEXEDIT_END_DELTA, false);
            break;
        case VK_HOME:
            MoveCaretBy(HEXEDIT_HOME_DELTA, true);
            break;
        case VK_LEFT:
            if (caretHighNibble)
                MoveCaretBy(-1, false);
            else
                MoveCaretBy(0, true);
            break;
        case VK_UP:
            MoveCaretBy(clamped(-line), caretHighNibble);
            break;
        case VK_RIGHT:
            if (caretHighNibble)
                MoveCaretBy(0, false);
            else
                MoveCaretBy(+1, true);
            break;
        case VK_DOWN:
            MoveCaretBy(clamped(line), caretHighNibble);
            break;
        default:
            break;
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

    // A caret left outside the data (an outside SetCaret) moves from the
    // last byte instead of from nowhere.
    const uint64_t from = std::min<uint64_t>(caretPos, dataSize - 1);
    uint64_t target;
    if (delta > 0) {
        target = from + static_cast<uint64_t>(delta);
        if (target >= dataSize) {
            target = dataSize - 1;
            highNibble = false;
        }
    } else if (delta < 0) {
        const uint64_t back = static_cast<uint64_t>(-static_cast<int64_t>(delta));
        if (back > from) {
            target = 0;
            highNibble = true;
        } else {
            target = from - back;
        }
    } else {
        target = from;
    }
    const uint32_t n = static_cast<uint32_t>(target);

    if (shift && selectionAnchor != HEXEDIT_NONE) {
        selectionStart = std::min(selectionAnchor, n);
        selectionEnd = std::max(selectionAnchor, n);
    }
    if (EnsureHexEditLayout(*this)) MakeRangeVisible(n, n, true);
    SetCaret(n, highNibble);
}

LRESULT CHexEditBase::OnChar(WPARAM code, LPARAM) {
    if (code == 0x08) return 1;  // Backspace: nothing is ever deleted
    return EnterHexDigit(static_cast<uint16_t>(code)) ? 0 : 1;
}

bool CHexEditBase::EnterHexDigit(uint16_t code) {
    if (code > 255 || !data || dataSize == 0 || readOnly || caretPos >= dataSize) return false;
    const int value = HexDigitValue(code);
    if (value < 0) return false;

    uint8_t& byte = data[caretPos];
    if (caretHighNibble) {
        byte = static_cast<uint8_t>((byte & 0x0F) | (value << 4));
        MoveCaretBy(0, false);
    } else {
        byte = static_cast<uint8_t>((byte & 0xF0) | value);
        MoveCaretBy(+1, true);
    }
    Repaint();
    NotifyParent(kEnChange);
    return true;
}
