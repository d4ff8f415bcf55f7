#include "tests/isp/ScriptedPort.h"

#include <algorithm>

#include "isp/LinkProtocol.h"

ScriptedPort& ScriptedPort::Send(std::vector<uint8_t> bytes, size_t afterWritten) {
    if (!bytes.empty()) steps.push_back({Kind::Bytes, std::move(bytes), 0, afterWritten});
    return *this;
}

ScriptedPort& ScriptedPort::Silence(uint32_t count, size_t afterWritten) {
    if (count > 0) steps.push_back({Kind::Silence, {}, count, afterWritten});
    return *this;
}

ScriptedPort& ScriptedPort::Fail(uint32_t count, size_t afterWritten) {
    if (count > 0) steps.push_back({Kind::Fail, {}, count, afterWritten});
    return *this;
}

ScriptedPort& ScriptedPort::Gone(uint32_t count, size_t afterWritten) {
    if (count > 0) steps.push_back({Kind::Gone, {}, count, afterWritten});
    return *this;
}

ReadResult ScriptedPort::ReadByte(uint8_t& byte) {
    if (onRead) onRead(reads);
    ++reads;
    if (steps.empty() || written.size() < steps.front().afterWritten) return ReadResult::TimedOut;

    Step& step = steps.front();
    ReadResult result = ReadResult::TimedOut;
    size_t stepLength = step.reads;
    if (step.kind == Kind::Bytes) {
        byte = step.bytes[step.next];
        ++bytesDelivered;
        result = ReadResult::Byte;
        stepLength = step.bytes.size();
    } else if (step.kind == Kind::Fail) {
        result = ReadResult::Failed;
    } else if (step.kind == Kind::Gone) {
        result = ReadResult::Gone;
        deviceGone = true;
    }
    if (++step.next == stepLength) steps.pop_front();
    return result;
}

bool ScriptedPort::Write(const uint8_t* bytes, size_t count) {
    written.insert(written.end(), bytes, bytes + count);
    writeSizes.push_back(count);
    return !writesFail;
}

size_t WrittenAfterBlocks(uint32_t length, uint32_t blocks) {
    const uint64_t sent = std::min<uint64_t>(uint64_t{blocks} * kBlockSize, length);
    return kHeaderSize + static_cast<size_t>(sent);
}

void ScriptAcceptingTarget(ScriptedPort& port, uint32_t length) {
    port.Send(kReadyFrame);
    const auto blocks = static_cast<uint32_t>((uint64_t{length} + kBlockSize - 1) / kBlockSize);
    for (uint32_t block = 0; block <= blocks; ++block) {
        port.Send(kAckFrame, WrittenAfterBlocks(length, block));
    }
}
