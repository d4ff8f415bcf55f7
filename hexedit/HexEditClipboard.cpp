// Copy, paste and select-all over the plain Win32 clipboard.
//
// Copy offers the selected bytes twice: exactly, in the registered format
// "BinaryData" (a 32-bit little-endian count, then the bytes), and as text of
// upper-case hex pairs laid out like the view's rows. Paste reads only
// "BinaryData" and overwrites in place; text is never parsed back.
#include <cstdint>
#include <cstring>
#include <string>

#include "hexedit/HexEditBase.h"
#include "hexedit/core/HexViewText.h"

namespace {

constexpr UINT kBlockFlags = GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE;

// A global block this code still owns; freed unless handed to the clipboard.
class OwnedBlock {
public:
    explicit OwnedBlock(SIZE_T size) : block(::GlobalAlloc(kBlockFlags, size)) {}
    ~OwnedBlock() {
        if (block) ::GlobalFree(block);
    }
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;

    HGLOBAL Get() const { return block; }
    void HandedOver() { block = nullptr; }

private:
    HGLOBAL block;
};

// GlobalLock for one scope.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block)
        : block(block), bytes(static_cast<uint8_t*>(::GlobalLock(block))) {}
    ~LockedBlock() {
        if (bytes) ::GlobalUnlock(block);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;

    uint8_t* Bytes() const { return bytes; }

private:
    HGLOBAL block;
    uint8_t* bytes;
};

// The clipboard opened for one operation. Another program (or Wine's
// clipboard manager) may hold it for a moment, so opening is retried briefly.
class OpenedClipboard {
public:
    explicit OpenedClipboard(HWND owner) {
        for (int attempt = 0; attempt < 10 && !open; ++attempt) {
            if (attempt) ::Sleep(10);
            open = ::OpenClipboard(owner) != FALSE;
        }
    }
    ~OpenedClipboard() {
        if (open) ::CloseClipboard();
    }
    OpenedClipboard(const OpenedClipboard&) = delete;
    OpenedClipboard& operator=(const OpenedClipboard&) = delete;

    bool IsOpen() const { return open; }

private:
    bool open = false;
};

}  // namespace

void CHexEditBase::OnEditCopy() {
    if (!HasSelection() || !data) return;
    // SetSelection keeps the ends ordered and inside the data; anything else
    // here would read outside the buffer.
    if (selectionStart > selectionEnd || selectionEnd >= dataSize) return;
    EnsureLayout();
    const std::string text =
        hexview::CopyText(data.get(), selectionStart, selectionEnd, layout.bytesPerLine);
    const uint32_t count = selectionEnd - selectionStart + 1;

    OwnedBlock binary(hexview::kCountSize + static_cast<SIZE_T>(count));
    OwnedBlock textBlock(text.size() + 1);
    if (!binary.Get() || !textBlock.Get()) return;
    {
        LockedBlock locked(binary.Get());
        if (!locked.Bytes()) return;
        hexview::StoreCount(count, locked.Bytes());
        std::memcpy(locked.Bytes() + hexview::kCountSize, data.get() + selectionStart, count);
    }
    {
        LockedBlock locked(textBlock.Get());
        if (!locked.Bytes()) return;
        std::memcpy(locked.Bytes(), text.data(), text.size());  // the zeroed block ends the text
    }

    OpenedClipboard clipboard(hwnd);
    if (!clipboard.IsOpen() || !::EmptyClipboard()) return;
    // The clipboard owns a block only once SetClipboardData accepted it.
    if (::SetClipboardData(static_cast<UINT>(static_cast<uint16_t>(clipboardFormat)), binary.Get()))
        binary.HandedOver();
    if (::SetClipboardData(CF_TEXT, textBlock.Get())) textBlock.HandedOver();
}

void CHexEditBase::OnEditPaste() {
    if (readOnly || !data || dataSize == 0) return;
    const uint32_t position = HasSelection() ? selectionStart : caretPos;
    if (position >= dataSize) return;
    const UINT format = static_cast<uint16_t>(clipboardFormat);

    uint32_t count = 0;
    {
        OpenedClipboard clipboard(hwnd);
        if (!clipboard.IsOpen() || !::IsClipboardFormatAvailable(format)) return;
        HGLOBAL block = ::GetClipboardData(format);
        if (!block) return;
        const SIZE_T blockSize = ::GlobalSize(block);
        if (blockSize < hexview::kCountSize) return;  // not even a count: not our format
        LockedBlock locked(block);
        if (!locked.Bytes()) return;
        const uint8_t* bytes = locked.Bytes();
        // Never past the end of the data, and never past the bytes the block
        // really holds, whatever its count claims.
        count = hexview::PasteCount(hexview::LoadCount(bytes), blockSize, position, dataSize);
        if (count > 0) std::memcpy(data.get() + position, bytes + hexview::kCountSize, count);
    }
    // Nothing written: selection, caret and parent stay as they were.
    if (count == 0) return;

    const uint32_t last = position + count - 1;
    SetSelection(position, last, true, false);
    SetCaret(last, false);
    Repaint();
    NotifyParent(EN_CHANGE);
}

void CHexEditBase::OnEditSelectAll() {
    if (!data || dataSize == 0) return;
    SetSelection(0, dataSize - 1, false, true);
}
