// Paint time of the hex view: a full 800 x 600 control showing a 64 MiB
// image against the same control showing a 1 KiB image. Painting draws only
// the visible lines, so both should cost the same.
//
// A Windows program (run under Wine by tools/bench-paint.sh). Each sample is
// one whole WM_PAINT (off-screen drawing and the BitBlt to the window) forced
// with InvalidateRect + UpdateWindow and timed with QueryPerformanceCounter;
// the two controls are measured alternately so that drift of the machine
// hits both alike. Prints the medians, their ratio and the verdict against
// the targets (ratio <= 1.2, one paint <= 5 ms).
//   bench_hexedit_paint [repetitions]   (default 400)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "hexedit/HexEditBase.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;
constexpr uint32_t kLargeSize = 64u << 20;
constexpr uint32_t kSmallSize = 1u << 10;
constexpr double kMaxRatio = 1.2;
constexpr double kMaxPaintMs = 5.0;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcW(window, message, wParam, lParam);
}

HWND CreateParent() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = L"KestrunePaintBenchParent";
    ::RegisterClassW(&wc);
    RECT frame{0, 0, kWidth, kHeight};
    ::AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    return ::CreateWindowExW(0, wc.lpszClassName, L"paint bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                             0, 0, frame.right - frame.left, frame.bottom - frame.top, nullptr,
                             nullptr, wc.hInstance, nullptr);
}

void Pump() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// A control configured as the main dialog configures its own, filling the
// parent's client area, with `size` bytes and scrolled to the middle.
struct View {
    explicit View(uint32_t size) : parent(CreateParent()) {
        // The control shows the dialog's own options (address, 6 digits,
        // ASCII, 16 bytes a line).
        edit.SetShowAddress(true, false);
        edit.SetAddressDigits(6, false);
        edit.SetShowAscii(true, false);
        edit.SetBytesPerLine(16, false, false);
        RECT rect{0, 0, kWidth, kHeight};
        edit.Create(nullptr, WS_CHILD | WS_VISIBLE | HEXEDIT_STYLE_MULTILINE, rect, parent, 1006);
        std::vector<uint8_t> bytes(size);
        for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
        edit.SetData(bytes.data(), size, false);
        Pump();
        edit.ScrollToLine(edit.GetMaxTopLine() / 2, false);
        // A selection over a few visible lines, as while editing.
        const uint32_t first = edit.GetTopLine() * edit.GetBytesPerLine() + 5;
        edit.SetSelection(first, first + 40, false, false);
        Pump();
    }
    ~View() { ::DestroyWindow(parent); }

    // Both windows stand at the same place; the one measured is brought on
    // top first (outside the timing), so each sample paints a fully
    // visible control.
    double PaintOnceMs(double ticksPerMs) {
        ::SetWindowPos(parent, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        Pump();
        LARGE_INTEGER start, end;
        ::InvalidateRect(edit.GetSafeHwnd(), nullptr, TRUE);
        ::QueryPerformanceCounter(&start);
        ::UpdateWindow(edit.GetSafeHwnd());
        ::GdiFlush();
        ::QueryPerformanceCounter(&end);
        return static_cast<double>(end.QuadPart - start.QuadPart) / ticksPerMs;
    }

    HWND parent;
    CHexEditBase edit;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int repetitions = argc > 1 ? std::atoi(argv[1]) : 400;
    if (repetitions < 1) repetitions = 400;
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    const double ticksPerMs = static_cast<double>(frequency.QuadPart) / 1000.0;

    auto large = std::make_unique<View>(kLargeSize);
    auto small = std::make_unique<View>(kSmallSize);
    if (!large->edit.GetSafeHwnd() || !small->edit.GetSafeHwnd()) {
        std::fprintf(stderr, "cannot create the controls\n");
        return 2;
    }
    for (int i = 0; i < 20; ++i) {  // warm-up: fonts, caches, the X connection
        large->PaintOnceMs(ticksPerMs);
        small->PaintOnceMs(ticksPerMs);
    }
    std::vector<double> largeMs, smallMs;
    for (int i = 0; i < repetitions; ++i) {
        largeMs.push_back(large->PaintOnceMs(ticksPerMs));
        smallMs.push_back(small->PaintOnceMs(ticksPerMs));
    }
    const double largeMedian = Median(largeMs);
    const double smallMedian = Median(smallMs);
    const double ratio = largeMedian / smallMedian;
    const bool ok = ratio <= kMaxRatio && largeMedian <= kMaxPaintMs && smallMedian <= kMaxPaintMs;
    std::printf("hex view paint, %dx%d client, %u lines visible, median of %d paints each\n",
                kWidth, kHeight, large->edit.GetLinesVisible(), repetitions);
    std::printf("  64 MiB image: %.3f ms per paint\n", largeMedian);
    std::printf("  1 KiB image:  %.3f ms per paint\n", smallMedian);
    std::printf("  ratio 64 MiB / 1 KiB: %.3f (target <= %.1f); one paint target <= %.1f ms: %s\n",
                ratio, kMaxRatio, kMaxPaintMs, ok ? "met" : "NOT met");
    return ok ? 0 : 1;
}
