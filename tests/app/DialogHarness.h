// Runs the real main dialog (from its resource template) modally on a
// thread of its own, the way the program does, while a test drives it from
// the test thread: window messages to its controls, and functions run on the
// dialog's thread for anything that must happen there (LoadFile, reading the
// code buffer or the job).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/DownloaderDlg.h"

// Generous bounds: the machine may be loaded, and Wine is slower than Windows.
inline constexpr DWORD kUiTimeoutMs = 60000;

class DialogHarness {
public:
    // Normally the dialog starts as on its first run: the remembered choices
    // (HKCU\Software\Kestrune) are removed first. `keepRemembered` starts it
    // as a later run, with what an earlier dialog saved.
    explicit DialogHarness(bool keepRemembered = false);
    ~DialogHarness();
    DialogHarness(const DialogHarness&) = delete;
    DialogHarness& operator=(const DialogHarness&) = delete;

    bool Started() const { return dialog != nullptr; }
    HWND Dialog() const { return dialog; }
    HWND Item(int id) const { return ::GetDlgItem(dialog, id); }
    std::wstring Text(int id) const;
    std::wstring Message() const;
    // The message box's first line: outcomes that carry a reason (an open
    // error) give it on the lines below.
    std::wstring MessageFirstLine() const { return Message().substr(0, Message().find(L"\r\n")); }

    // Runs `action` on the dialog's thread and waits for it; false on time-out.
    bool RunOnUi(const std::function<void(CDownloaderDlg&)>& action);
    // A click of button `id` as the dialog receives it; false when the button
    // is disabled (a user could not click it).
    bool Click(int id);
    bool LoadFile(const std::wstring& path);
    uint8_t Cell();
    bool DownloadActive();

    // Posts `message` to `target` (default: the dialog) and waits until the
    // dialog's thread has ended (DoModal returned and the dialog object is
    // gone). False when it has not ended within `timeoutMs`.
    bool CloseWith(UINT message, WPARAM wParam, HWND target = nullptr,
                   DWORD timeoutMs = kUiTimeoutMs);
    bool Ended() const { return ended; }
    INT_PTR Result() const { return result; }

    // The dialog's controls as they were when the dialog window was being
    // destroyed (valid once Ended()).
    struct FinalState {
        bool captured = false;
        std::wstring message;
        std::wstring button;
        bool loadEnabled = false;
        bool pathVisible = false;
        bool progressVisible = false;
    };
    const FinalState& Final() const { return final; }

private:
    static LRESULT CALLBACK InvokerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WatchDestroy(int code, WPARAM wParam, LPARAM lParam);
    void UiThread();

    std::thread thread;
    HWND invoker = nullptr;
    HWND dialog = nullptr;
    CDownloaderDlg* object = nullptr;  // lives on the dialog thread
    std::atomic<bool> ended{false};
    INT_PTR result = 0;
    FinalState final;  // written on the dialog's thread before `ended`
};

// Removes everything the dialog remembers between runs.
void ForgetRememberedChoices();

// Polls `condition` every 10 ms for at most `timeoutMs`.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kUiTimeoutMs);

// Environment variable as wide text; empty when unset.
std::wstring EnvText(const char* name);

// The lines run-with-target.sh set up, in its order (KESTRUNE_TEST_PORTS).
std::vector<std::wstring> TestPorts();

// The entries of a combo box, in order.
std::vector<std::wstring> ListItems(HWND list);
