// A chip for the boot loader's core in simulated time (microseconds), with a
// host on its line that downloads one plan after another.
// - One byte per 87 us each way; a third byte arriving unread is an overrun.
// - Flash as strict as the silicon: erase and write take 4.5 ms, a write only
//   clears bits, erases are page-aligned, and nothing starts or reads while
//   an operation runs; from kHaltingFlash on the CPU stops meanwhile. Every
//   breach is kept in `faults`.
// The core's run ends with AppStarted, or TimeUp at the deadline.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "image/ImageChecksum.h"
#include "tests/support/Sum16.h"

namespace boot_test {

struct HostPlan {
    std::vector<uint8_t> image;
    int cutAfterBlock = -1;            // falls silent after sending this many blocks
    int corruptBlock = -1;             // flips a bit of this block (1-based) on the wire
    std::vector<uint8_t> header = {};  // empty: the header for `image`
    uint8_t endCommand = 0x88;
    // On the wire, two bytes of block 1 swapped and blocks 2 and 3 exchanged:
    // the 16-bit sum cannot see it, the CRC-32 can.
    bool reordered = false;
    bool checksCrc = true;  // false: a host that knows no CRC and never rejects
};

struct AppStarted {};
struct TimeUp {};

template <uint16_t PageSize>
struct FakeChip {
    static constexpr uint16_t kPageSize = PageSize, kAppSize = 8192, kRecordAddress = kAppSize;
    static constexpr uint16_t kHaltingFlash = kAppSize - 512;  // stops the CPU: the line goes on
    static constexpr uint16_t kTicksPerPeriod = 10000, kStartWindow = 10, kSilenceLimit = 20;
    static constexpr uint16_t kVetoTicks = 5000;  // half a period
    static constexpr uint64_t kByte = 87, kFlashBusy = 4500;

    std::vector<uint8_t> flash = std::vector<uint8_t>(kAppSize + kPageSize, 0xFF);
    std::vector<std::string> faults;
    std::vector<uint8_t> replies;      // codes of the frames other than Ready
    std::vector<uint32_t> crcs;        // the CRC-32 after each verdict
    int rejects = 0;                   // rejects the host sent
    std::vector<uint64_t> readyTimes;  // when each Ready frame was complete
    std::vector<int> erased;           // page addresses, in order
    std::vector<HostPlan> plans;
    uint64_t now = 0, deadline = 20'000'000;
    int stuckPage = -1;  // writes leave bit 0 of this page's first byte set

    uint16_t Ticks() { return uint16_t(now / 10); }
    bool Receive(uint8_t& byte) {
        if ((now += 5) > deadline) throw TimeUp{};
        size_t arrived = 0;
        while (arrived < inbound.size() && inbound[arrived].second <= now) ++arrived;
        if (arrived > 2) Fault("receiver overrun");
        if (arrived == 0) return false;
        byte = inbound.front().first;
        inbound.pop_front();
        return true;
    }
    void Send(uint8_t byte) {  // one byte waits while one is shifted out
        now = std::max(now, txFreeAt > kByte ? txFreeAt - kByte : 0);
        txFreeAt = std::max(txFreeAt, now) + kByte;
        Heard(byte);
    }
    bool FlashBusy() { return ++now < busyUntil; }
    void StartErase(uint16_t page) {
        if (!Start(page)) return;
        erased.push_back(page);
        std::fill_n(flash.begin() + page, kPageSize, 0xFF);
    }
    void StartWrite(uint16_t page, const uint8_t* data) {
        if (!Start(page)) return;
        for (uint16_t i = 0; i < kPageSize; ++i) flash[page + i] &= data[i];
        if (page / kPageSize == stuckPage) flash[page] |= 1;
    }
    uint8_t ReadFlash(uint16_t at) {
        if (now < busyUntil || at >= flash.size()) Fault("read while busy or outside");
        return flash.at(at);
    }
    [[noreturn]] void StartApplication() { throw AppStarted{}; }
    static uint8_t* Ring() {
        static uint8_t ring[4 * kPageSize];
        return ring;
    }

    void Program(const std::vector<uint8_t>& image, uint16_t recordLength) {
        std::copy(image.begin(), image.end(), flash.begin());
        const uint16_t sum = test_support::Sum16(image);
        const uint8_t record[4] = {uint8_t(recordLength), uint8_t(recordLength >> 8), uint8_t(sum),
                                   uint8_t(sum >> 8)};
        std::copy_n(record, 4, flash.begin() + kRecordAddress);
    }

private:
    void Fault(const std::string& what) { faults.push_back(what + " at " + std::to_string(now)); }
    bool Start(uint16_t page) {
        if (now < busyUntil || page % kPageSize || page >= flash.size()) Fault("flash operation");
        busyUntil = now + kFlashBusy;
        if (page >= kHaltingFlash) now = busyUntil;
        return page % kPageSize == 0 && page < flash.size();
    }
    void HostSends(std::vector<uint8_t> bytes) {
        uint64_t at = std::max(txFreeAt, inbound.empty() ? 0 : inbound.back().second);
        for (uint8_t b : bytes) inbound.emplace_back(b, at += kByte);
    }
    // The host's side: frames sync on A5 5A as its reader does.
    void Heard(uint8_t byte) {
        if (crcLeft > 0) {  // the CRC-32 after a verdict
            crc = crc << 8 | byte;
            if (--crcLeft > 0) return;
            crcs.push_back(crc);
            if (verdict == 0x56 && checksCrc && crc != ImageCrc32(sent.data(), sent.size())) {
                HostSends({0x5A, 0xA5, 0x8F});
                ++rejects;
            }
            return;
        }
        if (have < 2) {
            have = byte == (have ? 0x5A : 0xA5) ? have + 1 : byte == 0xA5;
            return;
        }
        have = 0;
        if (byte == 0x00)
            readyTimes.push_back(txFreeAt);
        else
            replies.push_back(byte);
        if (plan == plans.size() || (byte != 0x00 && block < 0)) return;
        const HostPlan& p = plans[plan];
        const int blocks = int(p.image.size() + 127) / 128;
        if (byte == 0x00) {
            if (block < 0)
                HostSends(p.header.empty() ? test_support::DownloadHeader(p.image) : p.header);
            block = std::max(block, 0);
        } else if (byte != 0x41 || block == p.cutAfterBlock || block > blocks) {
            if (byte == 0x56 || byte == 0x43) {
                crcLeft = 4;
                verdict = byte;
                sent = p.image;
                checksCrc = p.checksCrc;
            }
            block = -1;  // refused, cut, or the verdict: the next plan
            ++plan;
        } else if (block++ == blocks) {
            HostSends({0x5A, 0xA5, p.endCommand});
        } else {
            auto from = p.image.begin() + (block - 1) * 128;
            std::vector<uint8_t> data(from, from + std::min<long>(128, p.image.end() - from));
            if (block == p.corruptBlock) data[0] ^= 0x04;
            if (p.reordered && block == 1) std::swap(data[0], data[5]);
            if (p.reordered && (block == 2 || block == 3)) {
                const auto other = p.image.begin() + (block == 2 ? 2 : 1) * 128;
                std::copy_n(other, data.size(), data.begin());
            }
            HostSends(data);
        }
    }

    std::deque<std::pair<uint8_t, uint64_t>> inbound;  // byte, when it is complete
    uint64_t txFreeAt = 0, busyUntil = 0;
    int have = 0, block = -1;
    int crcLeft = 0;
    uint32_t crc = 0;
    uint8_t verdict = 0;
    bool checksCrc = true;
    std::vector<uint8_t> sent;  // the image whose verdict is awaited
    size_t plan = 0;
};

}  // namespace boot_test
