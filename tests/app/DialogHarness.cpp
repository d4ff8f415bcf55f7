#include "tests/app/DialogHarness.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <commctrl.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <sstream>

#include "res/resource.h"

namespace {

constexpr UINT WM_RUN_ACTION = WM_APP + 0x200;
constexpr wchar_t kInvokerClass[] = L"KestruneTestInvoker";

thread_local DialogHarness* watched = nullptr;

struct Action {
    CDownloaderDlg* dialog;
    const std::function<void(CDownloaderDlg&)>* action;
};

}  // namespace

LRESULT CALLBACK DialogHarness::InvokerProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    if (message == WM_RUN_ACTION) {
        auto* request = reinterpret_cast<Action*>(lParam);
        (*request->action)(*request->dialog);
        return 1;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK DialogHarness::WatchDestroy(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && watched && call->message == WM_DESTROY &&
        call->hwnd == watched->dialog) {
        FinalState& state = watched->final;
        state.captured = true;
        state.message = watched->Text(IDC_MESSAGE);
        state.button = watched->Text(IDC_DOWNLOAD);
        state.loadEnabled = ::IsWindowEnabled(watched->Item(IDC_LOAD));
        // The dialog itself is already hidden here: look at the controls' own flag.
        auto shown = [](HWND control) {
            return (::GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
        };
        state.pathVisible = shown(watched->Item(IDC_FILEPATH));
        state.progressVisible = shown(watched->Item(IDC_PROGRESS));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

DialogHarness::DialogHarness(bool keepRemembered) {
    if (!keepRemembered) ForgetRememberedChoices();
    std::promise<void> constructed;
    auto ready = constructed.get_future();
    thread = std::thread([this, &constructed] {
        static const ATOM registered = [] {
            WNDCLASSW windowClass{};
            windowClass.lpfnWndProc = &DialogHarness::InvokerProc;
            windowClass.hInstance = ::GetModuleHandleW(nullptr);
            windowClass.lpszClassName = kInvokerClass;
            return ::RegisterClassW(&windowClass);
        }();
        (void)registered;
        invoker = ::CreateWindowW(kInvokerClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
        watched = this;
        HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, &DialogHarness::WatchDestroy, nullptr,
                                         ::GetCurrentThreadId());
        auto owned = std::make_unique<CDownloaderDlg>();
        object = owned.get();
        constructed.set_value();
        result = owned->DoModal();
        object = nullptr;
        owned.reset();  // joins a worker that is still ending
        ::DestroyWindow(invoker);
        if (hook) ::UnhookWindowsHookEx(hook);
        ended = true;
    });
    ready.wait();
    // The first action runs once the modal loop is pumping, so the dialog
    // exists by then.
    RunOnUi([this](CDownloaderDlg& dlg) { dialog = dlg.GetSafeHwnd(); });
}

DialogHarness::~DialogHarness() {
    if (!ended && !CloseWith(WM_COMMAND, IDCANCEL)) {
        // A dialog that cannot be closed would hang the test run forever.
        std::fprintf(stderr, "dialog did not close; ending the test program\n");
        std::fflush(stderr);
        ::ExitProcess(3);
    }
    if (thread.joinable()) thread.join();
}

bool DialogHarness::RunOnUi(const std::function<void(CDownloaderDlg&)>& action) {
    if (ended || !invoker) return false;
    Action request{object, &action};
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(invoker, WM_RUN_ACTION, 0, reinterpret_cast<LPARAM>(&request),
                                 SMTO_NORMAL, kUiTimeoutMs, &answer) != 0 &&
           answer == 1;
}

std::wstring DialogHarness::Text(int id) const {
    wchar_t text[2048] = {};
    ::GetWindowTextW(Item(id), text, 2048);
    return text;
}

std::wstring DialogHarness::Message() const {
    return Text(IDC_MESSAGE);
}

bool DialogHarness::Click(int id) {
    HWND button = Item(id);
    if (!button || !::IsWindowEnabled(button)) return false;
    ::SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    return true;
}

bool DialogHarness::LoadFile(const std::wstring& path) {
    bool loaded = false;
    RunOnUi([&](CDownloaderDlg& dlg) { loaded = dlg.LoadFile(path); });
    return loaded;
}

uint8_t DialogHarness::Cell() {
    uint8_t value = 0xFF;
    RunOnUi([&](CDownloaderDlg& dlg) { value = dlg.Job().progress->load(); });
    return value;
}

bool DialogHarness::DownloadActive() {
    bool active = true;
    RunOnUi([&](CDownloaderDlg& dlg) { active = dlg.IsDownloadActive(); });
    return active;
}

bool DialogHarness::CloseWith(UINT message, WPARAM wParam, HWND target, DWORD timeoutMs) {
    if (!ended) ::PostMessageW(target ? target : dialog, message, wParam, 0);
    if (!WaitFor([this] { return ended.load(); }, timeoutMs)) return false;
    if (thread.joinable()) thread.join();
    return true;
}

void ForgetRememberedChoices() {
    ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Kestrune");
}

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount64() > deadline) return false;
        ::Sleep(10);
    }
}

std::wstring EnvText(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return {};
    return std::filesystem::path(value).wstring();
}

std::vector<std::wstring> TestPorts() {
    std::wistringstream names(EnvText("KESTRUNE_TEST_PORTS"));
    std::vector<std::wstring> ports;
    for (std::wstring name; names >> name;) ports.push_back(name);
    return ports;
}

std::vector<std::wstring> ListItems(HWND list) {
    std::vector<std::wstring> items;
    const LRESULT count = ::SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(::SendMessageW(list, CB_GETLBTEXTLEN, i, 0)), L'\0');
        ::SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
        items.push_back(text);
    }
    return items;
}
