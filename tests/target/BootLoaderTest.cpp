// The boot loader's side of the protocol, driven through a scripted line with
// a virtual clock: exact bytes, no waiting.
#include <gtest/gtest.h>

#include <deque>
#include <numeric>

#include "target/BootLoader.h"
#include "target/ExitCodes.h"
#include "tests/support/Sum16.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const Bytes kReady = {0xA5, 0x5A, 0x00};
const Bytes kAck = {0xA5, 0x5A, 0x41};
const Bytes kNak = {0xA5, 0x5A, 0x42};
const Bytes kEnd = {0x5A, 0xA5, 0x88};
const Bytes kVerified = {0xA5, 0x5A, 0x56};
const Bytes kCheckFailed = {0xA5, 0x5A, 0x43};

// The host's side as a script: bytes, pauses and closings, in order.
class ScriptedLine : public TargetLine {
public:
    struct Sent {
        TimePoint at;
        Bytes bytes;
    };

    ScriptedLine& Host(const Bytes& bytes) {
        for (uint8_t b : bytes) script.push_back({Step::Byte, b, {}});
        return *this;
    }
    ScriptedLine& Idle(Clock::duration d) {
        script.push_back({Step::Idle, 0, d});
        return *this;
    }
    ScriptedLine& Leave() {
        script.push_back({Step::Gone, 0, {}});
        return *this;
    }

    TimePoint Now() override { return now; }
    bool Pause(TimePoint until) override {
        now = std::max(now, until);
        return true;
    }
    void Send(const uint8_t* bytes, size_t count) override {
        sent.push_back({now, Bytes(bytes, bytes + count)});
    }
    void HangUp() override { hungUp = true; }

    Event Receive(uint8_t& byte, TimePoint deadline) override {
        while (!script.empty()) {
            Step& step = script.front();
            if (step.kind == Step::Idle) {
                if (now + step.idle > deadline) {
                    step.idle -= deadline - now;
                    now = deadline;
                    return Event::TimedOut;
                }
                now += step.idle;
                script.pop_front();
                continue;
            }
            const Step taken = step;
            script.pop_front();
            if (taken.kind == Step::Gone) return Event::HostGone;
            byte = taken.byte;
            return Event::Byte;
        }
        if (deadline == TimePoint::max()) return Event::Interrupted;  // the script ran out
        now = deadline;
        return Event::TimedOut;
    }

    // Everything the target sent, as one stream.
    Bytes Stream() const {
        Bytes all;
        for (const Sent& s : sent) all.insert(all.end(), s.bytes.begin(), s.bytes.end());
        return all;
    }

    std::vector<Sent> sent;
    bool hungUp = false;

private:
    struct Step {
        enum Kind { Byte, Idle, Gone } kind;
        uint8_t byte;
        Clock::duration idle;
    };
    std::deque<Step> script;
    TimePoint now = TimePoint() + 1h;
};

Bytes Header(uint32_t length, uint16_t checksum, uint8_t command = 0x80) {
    return {0x5A,
            0xA5,
            command,
            0,
            0,
            0,
            0,
            uint8_t(length >> 24),
            uint8_t(length >> 16),
            uint8_t(length >> 8),
            uint8_t(length),
            uint8_t(checksum >> 8),
            uint8_t(checksum),
            0,
            0};
}

using test_support::Sum16;

Bytes Image(size_t size) {
    Bytes image(size);
    for (size_t i = 0; i < size; ++i) image[i] = uint8_t(i * 7 + 3);
    return image;
}

// A whole download as the host sends it.
void Download(ScriptedLine& line, const Bytes& image) {
    line.Host(Header(uint32_t(image.size()), Sum16(image))).Host(image).Host(kEnd);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes Repeat(const Bytes& frame, size_t times) {
    Bytes all;
    for (size_t i = 0; i < times; ++i) all.insert(all.end(), frame.begin(), frame.end());
    return all;
}

struct Outcome {
    Verdict verdict;
    Bytes stream;
    Bytes received;
};

// The verdict frame alone: the CRC-32 after it and the host's veto are the
// end-to-end cases' (tests/cli).
Outcome RunLoader(ScriptedLine& line, TargetOptions options = {}, const Bytes* expected = nullptr,
                  std::optional<TargetLine::TimePoint> giveUpAt = std::nullopt) {
    options.verdictSum = true;
    BootLoader loader(line, options, expected);
    Verdict v = loader.Run(giveUpAt);
    return {v, line.Stream(), loader.Received()};
}

TEST(BootLoader, TakesAnImageInBlocksAndAcknowledgesEach) {
    const Bytes image = Image(300);  // blocks of 128, 128 and 44
    ScriptedLine line;
    Download(line, image);
    Outcome run = RunLoader(line, {}, &image);
    EXPECT_EQ(run.verdict.exitCode, kTargetImageOk) << run.verdict.text;
    EXPECT_EQ(run.received, image);
    EXPECT_EQ(run.stream, Concat({kReady, Repeat(kAck, 4), kVerified}));
    EXPECT_NE(run.verdict.text.find("300 bytes"), std::string::npos) << run.verdict.text;
}

TEST(BootLoader, EmptyImageIsAHeaderAndTheEndFrame) {
    ScriptedLine line;
    line.Host(Header(0, 0)).Host(kEnd);
    Outcome run = RunLoader(line);
    EXPECT_EQ(run.verdict.exitCode, kTargetImageOk) << run.verdict.text;
    EXPECT_EQ(run.stream, Concat({kReady, kAck, kVerified}));
}

TEST(BootLoader, SendsReadyEveryIntervalUntilTheHeaderBegins) {
    const Bytes image = Image(10);
    ScriptedLine line;
    line.Idle(350ms);
    Download(line, image);
    TargetOptions options;
    options.readyIntervalMs = 100;
    Outcome run = RunLoader(line, options);
    EXPECT_EQ(run.verdict.exitCode, kTargetImageOk);
    ASSERT_EQ(line.sent.size(), 4u + 3u);  // Ready at 0, 100, 200, 300 ms; two acks, verdict
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(line.sent[i].bytes, kReady);
        EXPECT_EQ(line.sent[i].at - line.sent[0].at, i * 100ms);
    }
}

TEST(BootLoader, SkipsNoiseAndFalseStartsBeforeTheHeader) {
    const Bytes image = Image(5);
    ScriptedLine line;
    line.Host({0x00, 0xA5, 0x5A, 0x5A, 0x13, 0x5A});  // the last 5A begins the real header
    Download(line, image);
    // The header's own 5A above is followed by A5: "5A 5A A5" keeps the second 5A.
    Outcome run = RunLoader(line);
    EXPECT_EQ(run.verdict.exitCode, kTargetImageOk) << run.verdict.text;
    EXPECT_EQ(run.received, image);
}

TEST(BootLoader, RejectsMalformedHeaders) {
    struct Case {
        Bytes header;
        const char* reason;
    };
    Bytes trailing = Header(4, 0);
    trailing[14] = 1;
    const Case cases[] = {
        {Header(4, 0, 0x81), "command 0x81"},
        {trailing, "trailing bytes 00 01"},
        {Header(kMaxImageLength + 1, 0), "over the limit"},
    };
    for (const Case& c : cases) {
        ScriptedLine line;
        line.Host(c.header).Leave();
        Outcome run = RunLoader(line);
        EXPECT_EQ(run.verdict.exitCode, kTargetHeaderRejected) << c.reason;
        EXPECT_EQ(run.stream, Concat({kReady, kNak})) << c.reason;
        EXPECT_NE(run.verdict.text.find(c.reason), std::string::npos) << run.verdict.text;
    }
}

TEST(BootLoader, JudgesTheImageAgainstHeaderAndExpectedFile) {
    const Bytes image = Image(200);
    {
        ScriptedLine line;
        line.Host(Header(200, Sum16(image) + 1)).Host(image).Host(kEnd);
        Outcome run = RunLoader(line);
        EXPECT_EQ(run.verdict.exitCode, kTargetImageWrong);
        EXPECT_NE(run.verdict.text.find("the header says"), std::string::npos) << run.verdict.text;
    }
    {
        ScriptedLine line;
        Download(line, image);
        Bytes expected = image;  // same length and sum, two bytes differ
        expected[129] = uint8_t(expected[129] + 1);
        expected[130] = uint8_t(expected[130] - 1);
        Outcome run = RunLoader(line, {}, &expected);
        EXPECT_EQ(run.verdict.exitCode, kTargetImageWrong);
        EXPECT_NE(run.verdict.text.find("byte 0x81"), std::string::npos) << run.verdict.text;
    }
    {
        ScriptedLine line;
        Download(line, image);
        const Bytes shorter(image.begin(), image.end() - 1);
        EXPECT_EQ(RunLoader(line, {}, &shorter).verdict.exitCode, kTargetImageWrong);
    }
    {
        ScriptedLine line;
        line.Host(Header(200, Sum16(image))).Host(image).Host({0x5A, 0xA5, 0x87});
        Outcome run = RunLoader(line);
        EXPECT_EQ(run.verdict.exitCode, kTargetImageWrong);
        EXPECT_NE(run.verdict.text.find("bad end frame 5A A5 87"), std::string::npos)
            << run.verdict.text;
    }
}

// After the end frame: Verified or Check failed, or nothing for a boot loader
// that knows no verdict; a corrupted block is acknowledged like any other.
TEST(BootLoader, TellsTheHostItsVerdictUnlessAskedNotTo) {
    const Bytes image = Image(300);
    struct Case {
        const char* what;
        bool noVerdict;
        std::optional<uint32_t> corruptAt;
        uint16_t headerSum;
        int exitCode;
        Bytes verdict;
    };
    const Case cases[] = {
        {"right", false, {}, Sum16(image), kTargetImageOk, kVerified},
        {"wrong sum", false, {}, uint16_t(Sum16(image) + 1), kTargetImageWrong, kCheckFailed},
        {"block 3 corrupted", false, 3, Sum16(image), kTargetImageWrong, kCheckFailed},
        {"no verdict, right", true, {}, Sum16(image), kTargetImageOk, {}},
        {"no verdict, corrupted", true, 1, Sum16(image), kTargetImageWrong, {}},
        {"a block past the end", false, 4, Sum16(image), kTargetImageOk, kVerified},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedLine line;
        line.Host(Header(300, c.headerSum)).Host(image).Host(kEnd);
        TargetOptions options;
        options.noVerdict = c.noVerdict;
        options.corruptAt = c.corruptAt;
        Outcome run = RunLoader(line, options);
        EXPECT_EQ(run.verdict.exitCode, c.exitCode) << run.verdict.text;
        EXPECT_EQ(run.stream, Concat({kReady, Repeat(kAck, 4), c.verdict}));
        Bytes arrived = image;
        if (c.corruptAt && *c.corruptAt <= 3) arrived[(*c.corruptAt - 1) * 128] ^= 0x01;
        EXPECT_EQ(run.received, arrived);
    }
}

TEST(BootLoader, NoiseComesBeforeEveryFrameAndNeverLooksLikeOne) {
    const Bytes image = Image(130);
    ScriptedLine line;
    Download(line, image);
    TargetOptions options;
    options.noise = 40;
    Outcome run = RunLoader(line, options);
    EXPECT_EQ(run.verdict.exitCode, kTargetImageOk);
    const Bytes frames[] = {kReady, kAck, kAck, kAck, kVerified};
    ASSERT_EQ(line.sent.size(), 5u);
    for (size_t i = 0; i < 5; ++i) {
        const Bytes& b = line.sent[i].bytes;
        ASSERT_EQ(b.size(), 43u);
        EXPECT_EQ(std::count(b.begin(), b.end() - 3, 0xA5), 0);
        EXPECT_EQ(Bytes(b.end() - 3, b.end()), frames[i]);
    }
    EXPECT_NE(line.sent[1].bytes, line.sent[2].bytes);  // noise varies
}

TEST(BootLoader, RejectsTheHeaderOrABlockOnRequest) {
    const Bytes image = Image(400);
    {
        ScriptedLine line;
        line.Host(Header(400, Sum16(image))).Leave();
        TargetOptions options;
        options.nakAt = 0;
        Outcome run = RunLoader(line, options);
        EXPECT_EQ(run.verdict.exitCode, kTargetHeaderRejected);
        EXPECT_EQ(run.stream, Concat({kReady, kNak}));
    }
    {
        ScriptedLine line;
        line.Host(Header(400, Sum16(image)))
            .Host(Bytes(image.begin(), image.begin() + 256))
            .Leave();
        TargetOptions options;
        options.nakAt = 2;
        Outcome run = RunLoader(line, options);
        EXPECT_EQ(run.verdict.exitCode, kTargetBlockRejected);
        EXPECT_EQ(run.stream, Concat({kReady, kAck, kAck, kNak}));
        EXPECT_NE(run.verdict.text.find("block 2"), std::string::npos) << run.verdict.text;
    }
}

TEST(BootLoader, SilentAndShortRepliesEndWhenTheHostLeaves) {
    const Bytes image = Image(256);
    {
        ScriptedLine line;
        line.Host(Header(256, Sum16(image)))
            .Host(Bytes(image.begin(), image.begin() + 128))
            .Idle(20s)
            .Leave();
        TargetOptions options;
        options.silentAt = 1;
        Outcome run = RunLoader(line, options);
        EXPECT_EQ(run.verdict.exitCode, kTargetIncomplete);
        EXPECT_EQ(run.stream, Concat({kReady, kAck}));
    }
    {
        ScriptedLine line;
        line.Host(Header(256, Sum16(image))).Leave();
        TargetOptions options;
        options.shortReplyAt = 0;
        Outcome run = RunLoader(line, options);
        EXPECT_EQ(run.verdict.exitCode, kTargetIncomplete);
        EXPECT_EQ(run.stream, Concat({kReady, {0xA5, 0x5A}}));
    }
}

TEST(BootLoader, ResetSendsReadyAndTheNextDownloadGoesThrough) {
    const Bytes first = Image(300);
    const Bytes second = Image(140);
    ScriptedLine line;
    line.Host(Header(300, Sum16(first)))
        .Host(Bytes(first.begin(), first.begin() + 256))
        .Leave()
        .Idle(250ms);
    Download(line, second);
    TargetOptions options;
    options.resetAt = 2;
    Outcome run = RunLoader(line, options, &second);
    EXPECT_EQ(run.verdict.exitCode, kTargetImageOk) << run.verdict.text;
    EXPECT_EQ(run.received, second);
    // Ready, header ack, block 1 ack; Ready at once instead of block 2's reply and
    // every 100 ms while nobody talks; then the second download's three replies.
    EXPECT_EQ(run.stream,
              Concat({kReady, kAck, kAck, Repeat(kReady, 3), Repeat(kAck, 3), kVerified}));
}

TEST(BootLoader, HangsUpInsteadOfTheChosenReply) {
    const Bytes image = Image(300);
    for (uint32_t at : {0u, 2u}) {
        ScriptedLine line;
        Download(line, image);
        TargetOptions options;
        options.hangUpAt = at;
        Outcome run = RunLoader(line, options);
        EXPECT_TRUE(line.hungUp);
        EXPECT_EQ(run.verdict.exitCode, kTargetIncomplete);
        EXPECT_NE(run.verdict.text.find("hung up"), std::string::npos) << run.verdict.text;
        EXPECT_EQ(run.stream, Concat({kReady, Repeat(kAck, at)}));
    }
}

TEST(BootLoader, WaitsBeforeEachReply) {
    const Bytes image = Image(128);
    ScriptedLine line;
    Download(line, image);
    TargetOptions options;
    options.replyDelayMs = 250;
    Outcome run = RunLoader(line, options);
    ASSERT_EQ(run.verdict.exitCode, kTargetImageOk);
    ASSERT_EQ(line.sent.size(), 4u);  // the verdict follows the end frame at once
    EXPECT_EQ(line.sent[3].at, line.sent[2].at);
    EXPECT_EQ(line.sent[1].at - line.sent[0].at, 250ms);  // the script's bytes take no time
    EXPECT_EQ(line.sent[2].at - line.sent[1].at, 250ms);
}

TEST(BootLoader, HostComingAndGoingBeforeAHeaderDoesNotEndTheRun) {
    const Bytes image = Image(20);
    ScriptedLine line;
    line.Leave().Idle(50ms).Host({0x5A, 0xA5, 0x80}).Leave();  // half a header, then the host goes
    Download(line, image);
    Outcome run = RunLoader(line);
    EXPECT_EQ(run.verdict.exitCode, kTargetImageOk) << run.verdict.text;
}

TEST(BootLoader, AHalfHeaderIsDroppedAndReadyResumes) {
    const Bytes image = Image(20);
    ScriptedLine line;
    line.Host({0x5A, 0xA5, 0x80, 0x00}).Idle(1500ms);
    Download(line, image);
    Outcome run = RunLoader(line);
    EXPECT_EQ(run.verdict.exitCode, kTargetImageOk) << run.verdict.text;
    EXPECT_EQ(Bytes(run.stream.begin(), run.stream.begin() + 6), Concat({kReady, kReady}));
}

TEST(BootLoader, EndsWhenTheHostLeavesMidTransferOrTimeRunsOut) {
    const Bytes image = Image(300);
    {
        ScriptedLine line;
        line.Host(Header(300, Sum16(image)))
            .Host(Bytes(image.begin(), image.begin() + 200))
            .Leave();
        Outcome run = RunLoader(line);
        EXPECT_EQ(run.verdict.exitCode, kTargetIncomplete);
        EXPECT_NE(run.verdict.text.find("block 2 (200 of 300 bytes"), std::string::npos)
            << run.verdict.text;
        EXPECT_EQ(run.received.size(), 200u);
    }
    {
        ScriptedLine line;
        line.Idle(10s);
        Outcome run = RunLoader(line, {}, nullptr, line.Now() + 3s);
        EXPECT_EQ(run.verdict.exitCode, kTargetTimeout);
        EXPECT_EQ(run.stream, Repeat(kReady, 30));  // 0 ms .. 2900 ms; at 3 s it gives up
    }
}

}  // namespace
