#include "isp/port/SystemErrorText.h"

std::string SystemErrorText(DWORD error) {
    char text[512] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    std::string line(text, length);
    while (!line.empty() &&
           (line.back() == '\r' || line.back() == '\n' || line.back() == ' ' || line.back() == '.'))
        line.pop_back();
    for (char& c : line)
        if (c == '\r' || c == '\n') c = ' ';
    return line.empty() ? "error " + std::to_string(error) : line;
}
