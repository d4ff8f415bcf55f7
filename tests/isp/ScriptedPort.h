// An in-memory serial port for tests of code that talks to the boot loader.
// Reads answer at once from a script of steps, taken in order:
//   Send(bytes, afterWritten)  bytes the target sends, one per read, but only
//                              once the host has written `afterWritten` bytes;
//   Silence(n) / Fail(n) / Gone(n)  n reads that time out / fail / find the
//                              device gone.
// A step that is not due yet holds back the ones after it, and reads meanwhile
// time out, as do all reads once the script is used up. Purges do not drop
// scripted bytes: the script stands for bytes that arrive after the purge.
// Everything the host does is recorded.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "isp/port/SerialPort.h"

class ScriptedPort final : public SerialPort {
public:
    struct PurgeMark {
        size_t written;  // host bytes written before the purge
        uint32_t reads;  // reads made before the purge
    };

    ScriptedPort& Send(std::vector<uint8_t> bytes, size_t afterWritten = 0);
    ScriptedPort& Silence(uint32_t reads, size_t afterWritten = 0);
    ScriptedPort& Fail(uint32_t reads, size_t afterWritten = 0);
    ScriptedPort& Gone(uint32_t reads, size_t afterWritten = 0);

    // Called at the start of every read with the number of reads made before it.
    std::function<void(uint32_t readsBefore)> onRead;
    // Makes every write report failure (the bytes are still recorded).
    bool writesFail = false;

    std::optional<PortError> Configure(uint32_t baudRate) override {
        configuredBaud = baudRate;
        return std::nullopt;
    }
    ReadResult ReadByte(uint8_t& byte) override;
    bool Write(const uint8_t* bytes, size_t count) override;
    void Purge() override { purges.push_back({written.size(), reads}); }
    // Records each change of the modem lines; without them, refuses as a pseudo-terminal does.
    std::optional<PortError> SetModemLines(unsigned lines, bool asserted) override {
        if (!modemLines) return PortError{25, "the port has no modem lines"};
        modemChanges.emplace_back(lines, asserted);
        return std::nullopt;
    }
    bool modemLines = true;
    std::vector<std::pair<unsigned, bool>> modemChanges;

    bool ScriptUsedUp() const { return steps.empty(); }

    std::vector<uint8_t> written;    // every byte the host wrote, in order
    std::vector<size_t> writeSizes;  // the size of each write call
    std::vector<PurgeMark> purges;
    uint32_t reads = 0;  // ReadByte calls
    uint32_t bytesDelivered = 0;
    std::optional<uint32_t> configuredBaud;

private:
    enum class Kind { Bytes, Silence, Fail, Gone };
    struct Step {
        Kind kind;
        std::vector<uint8_t> bytes;
        uint32_t reads;
        size_t afterWritten;
        size_t next = 0;  // bytes or reads of this step already used
    };
    std::deque<Step> steps;
};

// The target's two frames.
inline const std::vector<uint8_t> kReadyFrame{0xA5, 0x5A, 0x00};
inline const std::vector<uint8_t> kAckFrame{0xA5, 0x5A, 0x41};

// Host bytes on the wire once the header and `blocks` blocks of a
// `length`-byte image have been written.
size_t WrittenAfterBlocks(uint32_t length, uint32_t blocks);

// A target that is ready at once and acknowledges the header and every block.
void ScriptAcceptingTarget(ScriptedPort& port, uint32_t length);
