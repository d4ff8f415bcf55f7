// A board on the bench: why no board answered, read from the bytes of the
// Ready wait, and the reset pulse on the modem lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isp/NoAnswer.h"
#include "isp/ResetPulse.h"
#include "tests/isp/ScriptedPort.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Repeated(const Bytes& piece, size_t times) {
    Bytes bytes;
    for (size_t i = 0; i < times; ++i) bytes.insert(bytes.end(), piece.begin(), piece.end());
    return bytes;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

const Bytes kReady = {0xA5, 0x5A, 0x00};

TEST(NoAnswer, TheReasonSaysWhatTheLineCarried) {
    const struct {
        Bytes bytes;
        const char* reason;  // a part of it
    } cases[] = {
        {{}, "no byte arrived: check that the board has power"},
        // Begun in mid-line: the quote starts with the next line, escaped, 40 characters.
        {Text("ication\r\nHello \"app\"\tv1\r\nHello \"app\"\tv1\r\n"),
         "the board printed \"Hello \\\"app\\\"\\tv1\\r\\nHello \\\"app\\\"\\tv1\\r\\n\";"},
        {Text("boot\r\n"), "the board printed \"boot\\r\\n\"; reset it into its boot loader"},
        {Repeated({0xA5, 0x5A, 0x41, 0xA5, 0x5A, 0x7E}, 3),
         "the target sent Acknowledge (A5 5A 41), A5 5A 7E but no Ready frame"},
        {Repeated(ReadAtOtherRate(kReady, 38400, 115200), 5), "sent at 38400 baud)"},
        {Repeated(ReadAtOtherRate(kReady, 1200, 115200), 5), "sent at 9600 baud or below)"},
    };
    for (const auto& c : cases) {
        LineBytes line;
        for (const uint8_t b : c.bytes) line.Add(b);
        const std::string reason = NoAnswerReason(line, 115200);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << reason;
    }
    // Bytes no rate explains: no rate is named.
    LineBytes noise;
    for (const uint8_t b : Repeated({0x80, 0x81, 0xFE, 0x99}, 4)) noise.Add(b);
    EXPECT_EQ(NoAnswerReason(noise, 115200),
              "16 bytes arrived that make no frame and no text: the line may be at another "
              "baud rate than the board's");
}

// The UART model behind the rate guess: at the sender's own rate every byte
// reads back as sent; at another rate the frame reads as other bytes.
TEST(NoAnswer, ReadingAtTheSendersRateGivesTheBytesBack) {
    for (const Bytes& bytes : {kReady, Bytes{0x00, 0xFF, 0x55, 0xAA, 0x01, 0x80}, Text("Hi\r\n")})
        for (const uint32_t rate : {1200u, 9600u, 115200u})
            EXPECT_EQ(ReadAtOtherRate(bytes, rate, rate), bytes) << rate;
    EXPECT_NE(ReadAtOtherRate(kReady, 57600, 115200), kReady);
}

TEST(ResetPulse, AssertsThenClearsTheNamedLines) {
    const struct {
        const char* name;
        bool inverted;
        std::vector<std::pair<unsigned, bool>> changes;
    } cases[] = {
        {"none", false, {}},
        {"dtr", false, {{kLineDtr, true}, {kLineDtr, false}}},
        {"rts", true, {{kLineRts, false}, {kLineRts, true}}},
        {"dtr+rts", false, {{kLineDtr | kLineRts, true}, {kLineDtr | kLineRts, false}}},
    };
    for (const auto& c : cases) {
        ScriptedPort port;
        const auto lines = ParseResetLines(c.name);
        ASSERT_TRUE(lines.has_value()) << c.name;
        EXPECT_FALSE(PulseReset(port, {*lines, 1, c.inverted}).has_value());
        EXPECT_EQ(port.modemChanges, c.changes) << c.name;
    }
    EXPECT_FALSE(ParseResetLines("cts").has_value());
    ScriptedPort without;
    without.modemLines = false;
    EXPECT_EQ(PulseReset(without, {kLineDtr, 1, false}), "the port has no modem lines");
}

}  // namespace
