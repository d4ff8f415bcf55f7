// CHexEditBase: a child window that shows a byte buffer as an address, a
// hex and an ASCII column and lets the user place a caret, select, overwrite
// hex digits, copy, paste and scroll.
//
// Contract:
// - The control keeps its own copy of the bytes given to SetData; typing and
//   paste overwrite in place, only SetData changes the size.
// - Option setters may run before the window exists; layout work is deferred
//   through layoutDirty and done by the next caret placement, resize or paint.
// - User edits are reported to the parent as WM_COMMAND with EN_CHANGE.
// - GetDataSize and GetData may be called from another thread while no
//   SetData runs; everything else belongs to the window's thread.
// - Construction throws CResourceException when the stock fixed font or a
//   window class cannot be obtained.
//
// The rules (geometry, scrolling, caret moves, hit test, digit entry,
// clipboard text) are the portable ones of hexedit/core; this class is
// their Win32 adapter: DCs, fonts, the system caret, scroll bars, the
// clipboard and timers. HexEditBase.cpp (object, data, options),
// HexEditWindow.cpp (window classes, creation, message table, small
// handlers), HexEditLayout.cpp and HexEditScroll.cpp (layout and
// scrolling), HexEditPaint.cpp, HexEditCaret.cpp and HexEditMouse.cpp
// (caret, mouse, selection), HexEditKeyboard.cpp, HexEditClipboard.cpp.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "framework/Gdi.h"
#include "framework/Wnd.h"
#include "hexedit/core/HexViewCaret.h"
#include "hexedit/core/HexViewLayout.h"

// Posted by RecalcLayout to the control itself; the scroll bars are brought
// up to date from the message loop, never inside a layout.
inline constexpr UINT WM_HEXEDIT_UPDATESCROLLBARS = WM_USER + 0x5000;  // 0x5400

inline constexpr uint32_t HEXEDIT_NONE = hexview::kNone;
inline constexpr UINT_PTR HEXEDIT_AUTOSCROLL_TIMER = 1024;  // auto-scroll timer id
inline constexpr UINT HEXEDIT_AUTOSCROLL_INTERVAL_MS = 5;
inline constexpr int HEXEDIT_TEXT_INSET = hexview::kTextInset;
inline constexpr DWORD HEXEDIT_STYLE_MULTILINE = ES_MULTILINE;
inline constexpr int32_t HEXEDIT_HOME_DELTA = hexview::kHomeDelta;
inline constexpr int32_t HEXEDIT_END_DELTA = hexview::kEndDelta;

// Standard edit commands the control answers as WM_COMMAND.
inline constexpr UINT HEXEDIT_ID_EDIT_COPY = 0xE122;
inline constexpr UINT HEXEDIT_ID_EDIT_PASTE = 0xE125;
inline constexpr UINT HEXEDIT_ID_EDIT_SELECT_ALL = 0xE12A;

inline constexpr wchar_t HEXEDIT_CLASS_NAME[] = L"CHexEditBase";
inline constexpr wchar_t HEXEDIT_AUTO_CLASS_NAME[] = L"CHexEditBase_SC";

class CHexEditBase : public CWnd {
public:
    struct HitTestResult {
        uint32_t address;
        bool highNibble;
    };

    CHexEditBase();
    ~CHexEditBase() override;

    // Heap object owned by the caller (the run-time class factory).
    static std::unique_ptr<CHexEditBase> CreateObject();
    // Objects constructed and not yet destroyed, in this process (diagnosis
    // of the self-deleting objects of dialog templates).
    static long GetLiveObjectCount();

    // Window classes "CHexEditBase" and "CHexEditBase_SC"; registered once.
    static void RegisterWindowClasses();
    // Window procedure of "CHexEditBase_SC": makes a self-deleting object
    // for the window at WM_NCCREATE.
    static LRESULT CALLBACK AutoSubclassWndProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam);

    // Creates a window of the class "CHexEditBase".
    BOOL Create(LPCWSTR windowName, DWORD style, const RECT& rect, HWND parent, UINT id,
                void* context = nullptr);
    BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, HWND parent,
                UINT id, void* context = nullptr) override;
    BOOL PreCreateWindow(CREATESTRUCTW& cs) override;
    BOOL PreTranslateMessage(MSG* msg) override;

    // Data.
    // False when the copy cannot be allocated: the control then keeps what it had.
    bool SetData(const uint8_t* source, uint32_t size, bool repaint);
    uint32_t GetDataSize() const { return dataSize; }
    uint32_t GetData(uint8_t* dest, uint32_t maxSize) const;

    // Options and colours.
    void SetBytesPerLine(uint32_t count, bool autoFit, bool repaint);
    void SetAddressDigits(uint8_t digits, bool repaint);
    void SetShowAddress(bool show, bool repaint);
    void SetShowAscii(bool show, bool repaint);
    virtual void SetReadOnly(bool readOnly, bool repaint);
    void SetAddressColours(COLORREF back, COLORREF text, bool repaint);
    void SetAsciiColours(COLORREF back, COLORREF text, bool repaint);
    void SetHexColours(COLORREF back, COLORREF text, bool repaint);
    void SetBackgroundColour(COLORREF colour, bool repaint);

    // Sends WM_COMMAND(id, code, hwnd) to the parent, if there is one.
    void NotifyParent(uint32_t code);

    // Layout and scrolling.
    void RecalcLayout(HDC dc);
    void UpdateScrollBars();
    void ScrollToLine(UINT line, bool repaint);
    void ScrollToX(UINT x, bool repaint);
    void ScrollLinesBy(int lines, bool repaint);
    void ScrollPixelsBy(int pixels, bool repaint);
    void MakeRangeVisible(UINT first, UINT last, bool repaint);

    // Painting: draws the whole control (client-sized) into any DC; OnPaint
    // uses it with an off-screen DC.
    void Paint(HDC dc);
    void PaintAddressColumn(HDC dc);
    void PaintHexColumn(HDC dc);
    void PaintAsciiColumn(HDC dc);

    // Caret, mouse and selection.
    HitTestResult HitTest(POINT point) const;
    void SetCaret(uint32_t address, bool highNibble);
    void EnsureCaretShape(int height, int width);
    void RemoveCaret();
    void StartAutoScroll(POINT point, int lines, uint16_t delay);
    void StopAutoScroll();
    void SetSelection(uint32_t start, uint32_t end, bool makeVisible, bool repaint);
    BOOL HasSelection() const {
        return selectionStart != HEXEDIT_NONE && selectionEnd != HEXEDIT_NONE;
    }

    // Keyboard and editing.
    void MoveCaretBy(int32_t delta, bool highNibble);
    bool EnterHexDigit(uint16_t code);

    // Clipboard and edit commands.
    void OnEditCopy();
    void OnEditPaste();
    void OnEditSelectAll();

    // Read access to the state, for the owner and for tests.
    bool IsAutoDelete() const { return autoDelete; }
    bool OwnsData() const { return ownsData; }
    const uint8_t* GetDataPointer() const { return data.get(); }
    uint32_t GetFullLinesVisible() const { return layout.fullLinesVisible; }
    int32_t GetLastLineHeight() const { return layout.lastLineHeight; }
    uint32_t GetLinesVisible() const { return layout.linesVisible; }
    uint32_t GetLineHeight() const { return layout.lineHeight; }
    uint32_t GetCharWidth() const { return layout.charWidth; }
    uint32_t GetBytesPerLine() const { return layout.bytesPerLine; }
    int32_t GetHexColumnLeft() const { return layout.hexColumnLeft; }
    int32_t GetHexColumnWidth() const { return layout.hexColumnWidth; }
    int32_t GetAsciiColumnLeft() const { return layout.asciiColumnLeft; }
    int32_t GetAsciiColumnWidth() const { return layout.asciiColumnWidth; }
    int32_t GetAddressColumnLeft() const { return layout.addressColumnLeft; }
    int32_t GetAddressColumnWidth() const { return layout.addressColumnWidth; }
    RECT GetTextRect() const;
    uint32_t GetBytesPerLineSetting() const { return bytesPerLineSetting; }
    uint32_t GetAddressDigits() const { return addressDigits; }
    uint32_t GetSelectionStart() const { return selectionStart; }
    uint32_t GetSelectionEnd() const { return selectionEnd; }
    uint32_t GetSelectionAnchor() const { return selectionAnchor; }
    uint32_t GetCaretPos() const { return caretPos; }
    bool IsCaretHighNibble() const { return caretHighNibble; }
    bool IsCaretCreated() const { return caretCreated; }
    int32_t GetCaretWidth() const { return caretWidth; }
    int32_t GetCaretHeight() const { return caretHeight; }
    uint32_t GetTopLine() const { return topLine; }
    uint32_t GetMaxTopLine() const { return layout.maxTopLine; }
    uint32_t GetScrollX() const { return scrollX; }
    uint32_t GetMaxScrollX() const { return layout.maxScrollX; }
    uint32_t GetClipboardFormat() const { return clipboardFormat; }
    bool IsLayoutDirty() const { return layoutDirty; }
    bool IsAutoBytesPerLine() const { return autoBytesPerLine; }
    bool IsShowAddress() const { return showAddress; }
    bool IsShowAscii() const { return showAscii; }
    bool IsReadOnly() const { return readOnly; }
    bool IsMultiLine() const { return (GetStyle() & HEXEDIT_STYLE_MULTILINE) != 0; }
    COLORREF GetAddressBackColour() const { return addressBackColour; }
    COLORREF GetAddressTextColour() const { return addressTextColour; }
    COLORREF GetAsciiBackColour() const { return asciiBackColour; }
    COLORREF GetAsciiTextColour() const { return asciiTextColour; }
    COLORREF GetHexTextColour() const { return hexTextColour; }
    COLORREF GetHexBackColour() const { return hexBackColour; }
    COLORREF GetBackgroundColour() const { return backgroundColour; }
    COLORREF GetInactiveSelectionTextColour() const { return inactiveSelectionTextColour; }
    COLORREF GetInactiveSelectionBackColour() const { return inactiveSelectionBackColour; }
    COLORREF GetSelectionTextColour() const { return selectionTextColour; }
    COLORREF GetSelectionBackColour() const { return selectionBackColour; }
    HFONT GetFontHandle() const { return font.GetSafeHandle(); }
    RECT GetDragStartRect() const { return dragStartRect; }
    POINT GetAutoScrollPoint() const { return autoScrollPoint; }
    int32_t GetAutoScrollLines() const { return autoScrollLines; }
    uint16_t GetAutoScrollDelay() const { return autoScrollDelay; }
    uint16_t GetAutoScrollCountdown() const { return autoScrollCountdown; }
    bool IsAutoScrollTimerOn() const { return autoScrollTimerOn; }

protected:
    const MessageMap* GetMessageMap() const override { return &messageMap; }
    static const MessageMap messageMap;
    void PostNcDestroy() override;

    // Message handlers, in the order of the message table.
    LRESULT OnUpdateScrollBars(WPARAM wParam, LPARAM lParam);
    LRESULT OnChar(WPARAM code, LPARAM keyData);
    LRESULT OnSetFont(WPARAM fontHandle, LPARAM redraw);
    LRESULT OnGetFont(WPARAM wParam, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    void OnKillFocus(HWND newFocus);
    void OnPaint();
    void OnSetFocus(HWND oldFocus);
    void OnSize(UINT type, int cx, int cy);
    void OnVScroll(UINT code, UINT pos, HWND scrollBar);
    void OnHScroll(UINT code, UINT pos, HWND scrollBar);
    UINT OnGetDlgCode();
    BOOL OnEraseBkgnd(HDC dc);
    void OnLButtonDown(UINT flags, POINT point);
    void OnLButtonDblClk(UINT flags, POINT point);
    void OnMouseMove(UINT flags, POINT point);
    void OnLButtonUp(UINT flags, POINT point);
    void OnKeyDown(UINT key, UINT repeatCount, UINT flags);
    BOOL OnMouseWheel(UINT flags, short zDelta, POINT point);
    void OnContextMenu(HWND window, POINT point);

    // Members, in declaration order; values are those set at construction.
    bool autoDelete = false;
    bool ownsData = true;
    // Zero at construction, written only by RecalcLayout.
    hexview::Layout layout;
    // Data and options.
    std::unique_ptr<uint8_t[]> data;
    uint32_t bytesPerLineSetting = 16;
    uint32_t addressDigits = 8;
    uint32_t selectionStart = HEXEDIT_NONE;
    uint32_t selectionEnd = HEXEDIT_NONE;
    uint32_t caretPos = 0;
    int32_t caretHeight = 0;
    uint32_t dataSize = 0;
    uint32_t topLine = 0;
    uint32_t scrollX = 0;
    int32_t caretWidth = 0;
    uint32_t selectionAnchor = HEXEDIT_NONE;
    uint32_t clipboardFormat = 0;
    bool layoutDirty = true;
    bool caretCreated = false;
    bool caretHighNibble = true;
    bool autoBytesPerLine = false;
    bool showAddress = false;
    bool showAscii = false;
    bool readOnly = false;
    COLORREF addressBackColour = RGB(90, 0, 0);
    COLORREF addressTextColour = RGB(255, 0, 0);
    COLORREF asciiBackColour = RGB(0, 20, 0);
    COLORREF asciiTextColour = RGB(0, 255, 0);
    COLORREF hexTextColour = RGB(0, 0, 255);
    COLORREF hexBackColour = RGB(180, 210, 190);
    COLORREF backgroundColour = RGB(210, 210, 210);
    COLORREF inactiveSelectionTextColour = 0;
    COLORREF inactiveSelectionBackColour = 0;
    COLORREF selectionTextColour = 0;
    COLORREF selectionBackColour = 0;
    CFontSlot font;
    RECT dragStartRect{};
    POINT autoScrollPoint{};
    int32_t autoScrollLines = 0;
    uint16_t autoScrollDelay = 0;
    uint16_t autoScrollCountdown = 0;
    bool autoScrollTimerOn = false;

private:
    static const MessageEntry messageEntries[];
    static std::atomic<long> liveObjects;

    // Invalidates the whole client area with erase, if the window exists.
    void Repaint();
    // Brings a dirty layout up to date (with a client DC, when the window
    // exists) and tells whether it can be used at all: before the first
    // layout nothing may divide by its cell sizes.
    bool EnsureLayout();
    hexview::LayoutOptions CurrentLayoutOptions() const;
    // Moves the caret to a hit point and returns where it landed.
    void SetCaretAt(POINT point);
    // The common tail of the setters that change the layout.
    void LayoutChanged(bool repaint);
};
