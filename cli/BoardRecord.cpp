#include "cli/BoardRecord.h"

#include <cstdio>

std::string PortProblemLine(const BoardRecord& record) {
    if (record.portProblem.empty()) return {};
    return "kestrune-cli: " + record.port + ": " + record.portProblem;
}

std::string ReasonLine(const BoardRecord& record) {
    if (record.lineReason.empty()) return {};
    return "kestrune-cli: " + record.port + ": " + record.lineReason;
}

std::string ExpectLine(const std::string& port, const std::string& text, bool seen) {
    return "kestrune-cli: " + port + ": " +
           (seen ? "the board printed what was expected"
                 : "the board did not print what was expected") +
           " (\"" + text + "\")";
}

std::string OutcomeText(const std::string& message) {
    return message.substr(std::min(message.find_first_not_of('.'), message.size()));
}

double BytesPerSecond(const BoardRecord& record) {
    return record.seconds > 0 ? static_cast<double>(record.bytes) / record.seconds : 0.0;
}

std::string EfficiencyLine(const BoardRecord& record) {
    const double lineSeconds =
        record.baudRate == 0 ? 0.0 : static_cast<double>(record.lineBytes) * 10.0 / record.baudRate;
    const double share = record.seconds > 0 ? 100.0 * lineSeconds / record.seconds : 0.0;
    char text[160];
    std::snprintf(text, sizeof text,
                  "%llu bytes in %.2f s, %.1f KiB/s, %.0f%% of the line rate at %u baud, %s",
                  static_cast<unsigned long long>(record.bytes), record.seconds,
                  BytesPerSecond(record) / 1024.0, share, record.baudRate,
                  !record.verified          ? "not verified by the target"
                  : record.check == "crc32" ? "verified by the target (crc32)"
                                            : "verified by the target (its 16-bit sum only)");
    return text;
}
