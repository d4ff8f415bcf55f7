// For tests that drive real windows under Wine: a visible top-level window
// that records the commands its children send it, and a message pump.
#pragma once

#include <windows.h>

#include <vector>

namespace test_support {

// Dispatches every message already queued for this thread.
inline void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

struct CommandRecord {
    WORD id;
    WORD code;
    HWND control;
};

// A visible top-level window, destroyed with the object; it records the
// WM_COMMAND and WM_CONTEXTMENU messages it receives.
class TestWindow {
public:
    explicit TestWindow(int width = 640, int height = 480) {
        static const wchar_t* className = RegisterClass();
        window = ::CreateWindowExW(0, className, L"test window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                   20, 20, width, height, nullptr, nullptr,
                                   ::GetModuleHandleW(nullptr), this);
    }
    ~TestWindow() {
        if (::IsWindow(window)) ::DestroyWindow(window);
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    HWND hwnd() const { return window; }

    std::vector<CommandRecord> commands;
    int contextMenus = 0;

private:
    static const wchar_t* RegisterClass() {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &TestWindow::WndProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
        wc.lpszClassName = L"KestruneTestWindow";
        ::RegisterClassW(&wc);
        return wc.lpszClassName;
    }
    static LRESULT CALLBACK WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_NCCREATE) {
            auto* cs = reinterpret_cast<CREATESTRUCTW*>(lParam);
            ::SetWindowLongPtrW(window, GWLP_USERDATA,
                                reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        }
        auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_COMMAND) {
            self->commands.push_back(
                {LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam)});
            return 0;
        }
        if (self && message == WM_CONTEXTMENU) {
            ++self->contextMenus;
            return 0;
        }
        return ::DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window = nullptr;
};

}  // namespace test_support
