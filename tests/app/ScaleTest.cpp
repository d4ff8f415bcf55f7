// The dialog at a display scale: run-at-dpi.sh runs Scale.AtTheSessionDpi
// once per DPI (KESTRUNE_TEST_DPI) in a Wine prefix of its own; the change of
// monitor scale runs in any session.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/DisplayScale.h"
#include "framework/Gdi.h"
#include "res/resource.h"
#include "tests/app/DialogHarness.h"

namespace {

// What the code buffer shows and measures, with 64 bytes in it.
struct CodeView {
    HFONT font = nullptr;
    uint32_t lineHeight = 0;
    uint32_t charWidth = 0;
    uint32_t maxScrollX = 0;
    int32_t asciiColumnWidth = 0;
    uint32_t fullLines = 0;
    bool everyGlyphOneCell = false;
};

CodeView ViewOf(DialogHarness& ui) {
    CodeView view;
    ui.RunOnUi([&](CDownloaderDlg& dlg) {
        CHexEditBase& code = dlg.CodeBuffer();
        const std::vector<uint8_t> bytes(64, 0x41);
        code.SetData(bytes.data(), static_cast<uint32_t>(bytes.size()), true);
        CClientDC dc(code.GetSafeHwnd());
        code.RecalcLayout(dc);
        view = {code.GetFontHandle(), code.GetLineHeight(),       code.GetCharWidth(),
                code.GetMaxScrollX(), code.GetAsciiColumnWidth(), code.GetFullLinesVisible()};
        // Hex digits, addresses and the ASCII column: one advance for every character.
        CSelectObject font(dc, view.font);
        INT widths[0x7F - 0x20] = {};
        view.everyGlyphOneCell = ::GetCharWidth32W(dc, 0x20, 0x7E, widths) != 0;
        for (INT width : widths)
            view.everyGlyphOneCell &= static_cast<uint32_t>(width) == view.charWidth;
    });
    return view;
}

uint32_t StockLineHeight() {
    HDC screen = ::GetDC(nullptr);
    HGDIOBJ old = ::SelectObject(screen, ::GetStockObject(ANSI_FIXED_FONT));
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(screen, &metrics);
    ::SelectObject(screen, old);
    ::ReleaseDC(nullptr, screen);
    return static_cast<uint32_t>(metrics.tmHeight);
}

HFONT Stock() {
    return static_cast<HFONT>(::GetStockObject(ANSI_FIXED_FONT));
}

}  // namespace

TEST(Scale, AtTheSessionDpi) {
    const std::wstring wanted = EnvText("KESTRUNE_TEST_DPI");
    if (wanted.empty()) GTEST_SKIP() << "run through run-at-dpi.sh";
    const UINT dpi = static_cast<UINT>(std::stoul(wanted));
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    EXPECT_EQ(WindowDpi(ui.Dialog()), dpi);

    const CodeView view = ViewOf(ui);
    std::printf("%u DPI: code buffer cell %u x %u pixels (stock font %u high)\n", dpi,
                view.charWidth, view.lineHeight, StockLineHeight());
    EXPECT_EQ(view.font == Stock(), dpi == kDefaultDpi);
    EXPECT_GE(view.lineHeight, static_cast<uint32_t>(::MulDiv(StockLineHeight(), dpi, 96)));
    EXPECT_TRUE(view.everyGlyphOneCell);
    EXPECT_EQ(view.asciiColumnWidth, static_cast<int32_t>(16 * view.charWidth));
    EXPECT_EQ(view.maxScrollX, 0u) << "the 16 bytes of a line must fit without scrolling";
    EXPECT_GE(view.fullLines, 8u);

    // Every control lies inside the dialog's client area.
    RECT client{};
    ::GetClientRect(ui.Dialog(), &client);
    ::MapWindowPoints(ui.Dialog(), nullptr, reinterpret_cast<POINT*>(&client), 2);
    for (HWND child = ::GetWindow(ui.Dialog(), GW_CHILD); child;
         child = ::GetWindow(child, GW_HWNDNEXT)) {
        RECT rect{};
        ::GetWindowRect(child, &rect);
        if (::GetDlgCtrlID(child) == IDC_PORT || ::GetDlgCtrlID(child) == IDC_BAUD)
            rect.bottom = rect.top + 1;  // a combo box's rectangle includes its closed list
        EXPECT_TRUE(rect.left >= client.left && rect.top >= client.top &&
                    rect.right <= client.right && rect.bottom <= client.bottom)
            << "control " << ::GetDlgCtrlID(child);
    }
}

// Per-monitor awareness (v2), and the older declaration for systems before it.
TEST(Scale, ManifestDeclaresDpiAwareness) {
    HRSRC found = ::FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(found, nullptr);
    const std::string manifest(
        static_cast<const char*>(::LockResource(::LoadResource(nullptr, found))),
        ::SizeofResource(nullptr, found));
    EXPECT_NE(manifest.find(">PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string::npos);
}

// Moving to a monitor of another scale: the suggested rectangle, a font for
// the new scale, and the stock font itself back at 96 DPI.
TEST(Scale, DpiChangeResizesAndRescales) {
    DialogHarness ui;
    ASSERT_TRUE(ui.Started());
    RECT original{};
    ::GetWindowRect(ui.Dialog(), &original);
    const uint32_t startHeight = ViewOf(ui).lineHeight;
    const UINT startDpi = WindowDpi(ui.Dialog());
    for (UINT dpi : {192u, 96u}) {
        SCOPED_TRACE(dpi);
        RECT suggested = original;
        suggested.right = original.left + ::MulDiv(original.right - original.left, dpi, startDpi);
        suggested.bottom = original.top + ::MulDiv(original.bottom - original.top, dpi, startDpi);
        ::SendMessageW(ui.Dialog(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                       reinterpret_cast<LPARAM>(&suggested));
        RECT now{};
        ::GetWindowRect(ui.Dialog(), &now);
        EXPECT_TRUE(::EqualRect(&now, &suggested));
        const CodeView view = ViewOf(ui);
        EXPECT_EQ(view.font == Stock(), dpi == kDefaultDpi);
        EXPECT_GE(view.lineHeight, static_cast<uint32_t>(::MulDiv(StockLineHeight(), dpi, 96)));
        if (dpi > startDpi) {
            EXPECT_GT(view.lineHeight, startHeight);
        }
    }
}
