#include "cli/TerminalWidth.h"

#include <atomic>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#endif

namespace {

#ifndef _WIN32
std::atomic<unsigned> resizes{0};
static_assert(std::atomic<unsigned>::is_always_lock_free);
struct sigaction previous {};

extern "C" void OnResize(int) {
    resizes.fetch_add(1);
}
#endif

size_t AskColumns() {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_ERROR_HANDLE), &info)) return 0;
    return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
#else
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
#endif
}

}  // namespace

TerminalWidth::TerminalWidth() {
#ifndef _WIN32
    struct sigaction action {};
    action.sa_handler = OnResize;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGWINCH, &action, &previous);
#endif
}

TerminalWidth::~TerminalWidth() {
#ifndef _WIN32
    sigaction(SIGWINCH, &previous, nullptr);
#endif
}

size_t TerminalWidth::Columns() {
#ifdef _WIN32
    const bool stale = true;
#else
    const unsigned now = resizes.load();
    const bool stale = !read || now != seen;
    seen = now;
#endif
    if (stale) {
        const size_t asked = AskColumns();
        columns = asked > 0 ? asked : 80;
        read = true;
    }
    return columns;
}

std::string CutToColumns(const std::string& text, size_t columns) {
    if (text.size() <= columns) return text;
    size_t end = columns;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end);
}

std::string ShortName(const std::string& name, size_t columns) {
    if (name.size() <= columns) return name;
    if (columns <= 2) return CutToColumns(name, columns);
    size_t start = name.size() - (columns - 2);
    while (start < name.size() && (static_cast<unsigned char>(name[start]) & 0xC0) == 0x80) ++start;
    return ".." + name.substr(start);
}
