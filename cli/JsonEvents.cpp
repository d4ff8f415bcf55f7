#include "cli/JsonEvents.h"

#include <cstdio>

#include "cli/BoardLog.h"

std::string JsonString(const std::string& text) {
    std::string json = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += c;  // UTF-8 passes through; other bytes are the name as the system gave it
        }
    }
    return json + "\"";
}

JsonEvents::JsonEvents(std::ostream& stream, std::ostream& errorStream,
                       const std::vector<std::string>& portNames, uint32_t imageSize,
                       uint16_t imageChecksum)
    : out(stream),
      err(errorStream),
      names(portNames),
      lastPercent(portNames.size(), -1),
      serials(portNames.size()),
      size(imageSize),
      checksum(imageChecksum) {
    for (const std::string& name : names) ports.push_back(JsonString(name));
}

std::string JsonEvents::Start(const char* event, size_t port, uint32_t board) const {
    return std::string("{\"event\":\"") + event + "\",\"port\":" + ports[port] +
           ",\"board\":" + std::to_string(board);
}

void JsonEvents::Emit(const std::string& object) {
    out << object << "}\n" << std::flush;
}

void JsonEvents::Ready(size_t port, uint32_t board) {
    lastPercent[port] = -1;
    Emit(Start("ready", port, board));
    char fields[64];
    std::snprintf(fields, sizeof fields, ",\"size\":%u,\"checksum\":\"%04X\"", size,
                  serials[port] ? serials[port]->second : checksum);
    std::string serial;
    if (serials[port]) serial = ",\"serial\":" + std::to_string(serials[port]->first);
    Emit(Start("header", port, board) + fields + serial);
}

void JsonEvents::Numbered(size_t port, uint32_t, uint64_t serial, uint16_t stampedChecksum) {
    serials[port] = std::make_pair(serial, stampedChecksum);
}

void JsonEvents::Progress(size_t port, uint32_t board, uint8_t percent, uint64_t bytes) {
    if (percent == lastPercent[port]) return;
    lastPercent[port] = percent;
    Emit(Start("progress", port, board) + ",\"percent\":" + std::to_string(percent) +
         ",\"bytes\":" + std::to_string(bytes));
}

void JsonEvents::Finished(size_t port, const BoardRecord& record) {
    char numbers[128];
    std::snprintf(numbers, sizeof numbers,
                  ",\"exit\":%d,\"seconds\":%.3f,\"bytes_per_s\":%.0f,\"verified\":%s",
                  record.exitCode, record.seconds, BytesPerSecond(record),
                  !record.verified          ? "false"
                  : record.check == "crc32" ? "\"crc32\""
                                            : "true");
    std::string problem;
    if (!record.portProblem.empty())
        problem = ",\"port_problem\":" + JsonString(record.portProblem);
    if (!FailureReason(record).empty())
        problem += ",\"reason\":" + JsonString(FailureReason(record));
    if (record.serial) problem += ",\"serial\":" + std::to_string(*record.serial);
    serials[port].reset();
    Emit(Start("outcome", port, record.board) +
         ",\"message\":" + JsonString(OutcomeText(record.message)) + numbers + problem);
}

void JsonEvents::Stuck(size_t port, uint32_t board) {
    Emit(Start("stuck", port, board));
}

void JsonEvents::PortProblem(size_t port, uint32_t board, const std::string& text) {
    err << "kestrune-cli: " << names[port] << ": " << text << "\n" << std::flush;
    Emit(Start("port_problem", port, board) + ",\"problem\":" + JsonString(text));
}

void JsonEvents::LogProblem(size_t port, const BoardRecord& record, const std::string& row,
                            const std::string& reason) {
    err << LogProblemLine(row, reason) << "\n" << std::flush;
    Emit(Start("log_problem", port, record.board) + ",\"problem\":" + JsonString(reason) +
         ",\"row\":" + JsonString(row));
}

void JsonEvents::Monitor(size_t port, const std::string& line) {
    Emit(Start("monitor", port, 1) + ",\"text\":" + JsonString(line));
}

void JsonEvents::Expect(size_t port, const std::string& text, bool seen) {
    Emit(Start("expect", port, 1) + ",\"text\":" + JsonString(text) +
         ",\"seen\":" + (seen ? "true" : "false"));
}
