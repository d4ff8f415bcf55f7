// The live lines of download on a pseudo-terminal of a given size: each fits
// the width (so the redraw's cursor-up count is the rows drawn), the width is
// read again on SIGWINCH, and below 40 columns plain lines take over.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>

#include "DownloadFixture.h"
#include "cli/ExitCodes.h"

namespace {

// The rows a terminal `columns` wide shows after the bytes fed to it, for the
// sequences the displays use: CR, LF, ESC[nF, ESC[K, ESC[J, and auto-wrap.
struct Screen {
    size_t columns;
    std::vector<std::string> rows{""};
    size_t row = 0, col = 0;

    void Feed(const std::string& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) {
            const char c = bytes[i];
            if (c == '\x1b' && i + 1 < bytes.size() && bytes[i + 1] == '[') {
                size_t end = i + 2;
                while (end < bytes.size() && isdigit(static_cast<unsigned char>(bytes[end]))) ++end;
                const size_t n = end > i + 2 ? std::stoul(bytes.substr(i + 2, end - i - 2)) : 1;
                const char op = end < bytes.size() ? bytes[end] : '?';
                if (op == 'F') {
                    row = row >= n ? row - n : 0;
                    col = 0;
                }
                if (op == 'K' || op == 'J') rows[row].resize(std::min(rows[row].size(), col));
                if (op == 'J') rows.resize(row + 1);
                i = end;
            } else if (c == '\r') {
                col = 0;
            } else if (c == '\n') {
                NextRow();
            } else {
                if (col == columns) NextRow();
                if (rows[row].size() <= col) rows[row].resize(col + 1, ' ');
                rows[row][col++] = c;
            }
        }
    }
    void NextRow() {
        col = 0;
        if (++row == rows.size()) rows.emplace_back();
    }
    size_t RowsWith(const std::string& text) const {
        size_t n = 0;
        for (const std::string& r : rows) n += r.find(text) != std::string::npos;
        return n;
    }
};

void SetSize(int terminal, unsigned short columns) {
    winsize size{};
    size.ws_row = 40;
    size.ws_col = columns;
    ioctl(terminal, TIOCSWINSZ, &size);
}

TEST_F(Download, LiveLinesFitTheTerminalAndFollowItsSize) {
    struct Case {
        unsigned short columns;
        unsigned short resizedTo;  // 0: not resized
    };
    Save(Path("image.bin"), Pattern(2048));
    for (const Case c : {Case{80, 0}, Case{50, 0}, Case{39, 0}, Case{100, 45}}) {
        SCOPED_TRACE(c.columns);
        int terminal = -1, terminalSlave = -1;
        ASSERT_EQ(openpty(&terminal, &terminalSlave, nullptr, nullptr, nullptr), 0);
        SetSize(terminal, c.columns);
        // Long names: they must be shortened before a line wraps. 9600 baud
        // keeps the run going for about 2 s, long enough for a resize.
        std::vector<std::unique_ptr<ChildProcess>> targets;
        std::vector<std::string> args = {"download", "--repeat", "--baud", "9600"};
        for (const char* name : {"usb-serial-adapter-on-the-left-bench", "usb-serial-right"}) {
            targets.push_back(StartTarget({"--baud", "9600", "--link", Path(name)}));
            args.insert(args.end(), {"--port", Path(name)});
        }
        args.push_back(Path("image.bin"));
        std::string bytes;
        const auto drain = [&](int waitMs) {
            pollfd p{terminal, POLLIN, 0};
            char buffer[4096];
            while (poll(&p, 1, waitMs) > 0) {
                const ssize_t n = read(terminal, buffer, sizeof buffer);
                if (n <= 0) break;
                bytes.append(buffer, size_t(n));
                waitMs = 0;
            }
        };
        size_t resizedAt = std::string::npos;
        {
            ChildProcess cli(Cli(args), terminalSlave);
            close(terminalSlave);
            std::optional<int> code;
            while (!(code = cli.Wait(10ms))) {
                drain(50);
                if (c.resizedTo && resizedAt == std::string::npos &&
                    bytes.find(" 2048 bytes") != std::string::npos) {
                    SetSize(terminal, c.resizedTo);
                    cli.Signal(SIGWINCH);
                    resizedAt = bytes.size();
                }
            }
            EXPECT_EQ(*code, kExitOk) << cli.Err();  // both devices went away after their board
        }
        drain(100);
        close(terminal);

        if (c.columns < 40) {
            EXPECT_EQ(bytes.find('\x1b'), std::string::npos) << bytes;
            EXPECT_NE(bytes.find(Path("usb-serial-right") + ": board 1: progress: ["),
                      std::string::npos)
                << bytes;
            continue;
        }
        if (c.resizedTo) {
            ASSERT_NE(resizedAt, std::string::npos) << bytes;
            // Lines already on their way when the window shrank were drawn for
            // the old width: the screen takes the new width where the program
            // first redraws for it (back up the rows drawn, then clear below).
            const size_t redraw = bytes.find("F\x1b[J", resizedAt);
            ASSERT_NE(redraw, std::string::npos) << bytes;
            resizedAt = bytes.rfind("\x1b[", redraw);
        }
        const size_t finalColumns = c.resizedTo ? c.resizedTo : c.columns;
        Screen screen{c.columns};
        screen.Feed(bytes.substr(0, resizedAt));
        screen.columns = finalColumns;  // a terminal that does not rewrap what it shows
        if (c.resizedTo) screen.Feed(bytes.substr(resizedAt));
        // The two live lines as the run left them (each port waits for its second
        // board when its device goes), each once, with no stale row of an older
        // drawing: the cursor went back up exactly the rows drawn.
        EXPECT_EQ(screen.RowsWith("  board 2"), 2u) << bytes;
        EXPECT_EQ(screen.RowsWith("  board 1  "), 0u) << bytes;
        for (const std::string& row : screen.rows) {
            if (row.find("  board ") == std::string::npos) continue;
            EXPECT_LT(row.size(), finalColumns) << row;
        }
    }
}

}  // namespace
