// A chip for the boot loader's core in simulated time (microseconds), with
// a host at the other end of its line.
// - The line carries one byte per 87 us each way; the receiver holds two
//   bytes, and a third that arrives unread is a fault (an overrun).
// - Flash is as strict as the silicon: erase and write take 4.5 ms, a write
//   only clears bits, an erase must be page-aligned, and starting an
//   operation or reading while one runs is a fault.
// - The host plays the download protocol with one plan after another; each
//   plan may cut the line, damage a block or send a wrong end frame.
// Run() ends when the core starts the application or the time is up.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/Sum16.h"

namespace boot_test {

struct HostPlan {
    explicit HostPlan(std::vector<uint8_t> bytes, int cutAfter = -1, int corrupt = -1)
        : image(std::move(bytes)), cutAfterBlock(cutAfter), corruptBlock(corrupt) {}
    std::vector<uint8_t> image;
    std::vector<uint8_t> header;  // empty: the header for `image`
    int cutAfterBlock = -1;       // falls silent after sending this many blocks
    int corruptBlock = -1;        // flips a bit of this block (1-based) on the wire
    std::array<uint8_t, 3> endFrame = {0x5A, 0xA5, 0x88};
};

struct AppStarted {};
struct TimeUp {};

inline std::vector<uint8_t> HeaderFor(const std::vector<uint8_t>& image) {
    const uint32_t n = static_cast<uint32_t>(image.size());
    const uint16_t sum = test_support::Sum16(image);
    return {0x5A,
            0xA5,
            0x80,
            0,
            0,
            0,
            0,
            uint8_t(n >> 24),
            uint8_t(n >> 16),
            uint8_t(n >> 8),
            uint8_t(n),
            uint8_t(sum >> 8),
            uint8_t(sum),
            0,
            0};
}

template <uint16_t PageSize>
struct FakeChip {
    static constexpr uint16_t kPageSize = PageSize;
    static constexpr uint16_t kAppSize = 8192;
    static constexpr uint16_t kRecordAddress = kAppSize;
    static constexpr uint16_t kTicksPerPeriod = 10000;  // ticks of 10 us
    static constexpr uint16_t kStartWindow = 10;
    static constexpr uint16_t kSilenceLimit = 20;
    static constexpr uint64_t kByteTime = 87;
    static constexpr uint64_t kFlashTime = 4500;

    // What the test reads afterwards.
    std::vector<uint8_t> flash = std::vector<uint8_t>(kAppSize + kPageSize, 0xFF);
    std::vector<std::string> faults;
    std::vector<uint8_t> replies;       // codes of the target's frames other than Ready
    std::vector<uint64_t> readyTimes;   // when each Ready frame was complete
    std::vector<std::string> flashLog;  // "E addr" / "W addr", in order
    uint64_t now = 0;
    uint64_t deadline = 20'000'000;
    int stuckPage = -1;  // writes to this page leave bit 0 of its first byte set

    std::vector<HostPlan> plans;

    // ---- the port
    uint16_t Ticks() { return static_cast<uint16_t>(now / 10); }

    bool Receive(uint8_t& byte) {
        now += 5;
        if (now > deadline) throw TimeUp{};
        size_t arrived = 0;
        while (arrived < inbound.size() && inbound[arrived].second <= now) ++arrived;
        if (arrived > 2) Fault("receiver overrun");
        if (arrived == 0) return false;
        byte = inbound.front().first;
        inbound.pop_front();
        return true;
    }

    void Send(uint8_t byte) {
        // The transmitter holds one byte besides the one being shifted out.
        if (txFreeAt > now + kByteTime) now = txFreeAt - kByteTime;
        txFreeAt = std::max(txFreeAt, now) + kByteTime;
        OnTargetByte(byte, txFreeAt);
    }

    bool FlashBusy() {
        now += 1;
        return now < busyUntil;
    }

    void StartErase(uint16_t page) {
        Operation("E", page);
        if (page % kPageSize) Fault("unaligned erase");
        for (uint32_t i = 0; i < kPageSize && page + i < flash.size(); ++i) flash[page + i] = 0xFF;
    }

    void StartWrite(uint16_t page, const uint8_t* data, uint16_t count) {
        Operation("W", page);
        if (page % kPageSize || count > kPageSize) Fault("bad write");
        for (uint32_t i = 0; i < kPageSize && page + i < flash.size(); ++i)
            flash[page + i] &= i < count ? data[i] : 0xFF;
        if (int(page / kPageSize) == stuckPage) flash[page] |= 1;
        now += 60;
    }

    uint8_t ReadFlash(uint16_t at) {
        if (now < busyUntil) Fault("flash read while busy");
        if (at >= flash.size()) Fault("read outside flash");
        return at < flash.size() ? flash[at] : 0;
    }

    [[noreturn]] void StartApplication() { throw AppStarted{}; }

    // ---- test helpers
    void Program(const std::vector<uint8_t>& image, bool withRecord) {
        std::copy(image.begin(), image.end(), flash.begin());
        if (!withRecord) return;
        const uint16_t n = uint16_t(image.size()), sum = test_support::Sum16(image);
        flash[kRecordAddress] = uint8_t(n);
        flash[kRecordAddress + 1] = uint8_t(n >> 8);
        flash[kRecordAddress + 2] = uint8_t(sum);
        flash[kRecordAddress + 3] = uint8_t(sum >> 8);
    }

private:
    void Fault(const std::string& what) { faults.push_back(what + " at " + std::to_string(now)); }

    void Operation(const char* kind, uint16_t page) {
        if (now < busyUntil) Fault(std::string(kind) + " while busy");
        flashLog.push_back(std::string(kind) + " " + std::to_string(page));
        busyUntil = now + kFlashTime;
    }

    void HostSends(const uint8_t* bytes, size_t count, uint64_t from) {
        uint64_t at = std::max(from, inbound.empty() ? 0 : inbound.back().second);
        for (size_t i = 0; i < count; ++i) inbound.emplace_back(bytes[i], at += kByteTime);
    }

    void OnTargetByte(uint8_t byte, uint64_t at) {
        // Frames sync on A5 5A, as the host's reader does.
        if (have == 0 && byte != 0xA5) return;
        if (have == 1 && byte != 0x5A) {
            have = byte == 0xA5 ? 1 : 0;
            return;
        }
        if (have < 2) {
            ++have;
            return;
        }
        have = 0;
        if (byte == 0x00) {
            readyTimes.push_back(at);
            if (plan < plans.size() && !sending) {
                const HostPlan& p = plans[plan];
                const std::vector<uint8_t> h = p.header.empty() ? HeaderFor(p.image) : p.header;
                HostSends(h.data(), h.size(), at);
                sending = true;
                block = 0;
            }
            return;
        }
        replies.push_back(byte);
        if (!sending) return;
        const HostPlan& p = plans[plan];
        const size_t offset = size_t(block) * 128;
        const int blocks = int((p.image.size() + 127) / 128);
        if (byte != 0x41 || block == p.cutAfterBlock || block > blocks) {
            sending = false;  // refused, cut, or the verdict after the end frame
            ++plan;
            return;
        }
        if (block == blocks) {
            HostSends(p.endFrame.data(), p.endFrame.size(), at);
            ++block;
            return;
        }
        std::vector<uint8_t> data(p.image.begin() + long(offset),
                                  p.image.begin() + long(std::min(offset + 128, p.image.size())));
        if (++block == p.corruptBlock) data[0] ^= 0x04;
        HostSends(data.data(), data.size(), at);
    }

    std::deque<std::pair<uint8_t, uint64_t>> inbound;  // byte, time it is complete
    uint64_t txFreeAt = 0;
    uint64_t busyUntil = 0;
    int have = 0;
    size_t plan = 0;
    bool sending = false;
    int block = 0;
};

}  // namespace boot_test
