// `download --json`: every event as one JSON object on its own line of
// standard output, each with "event", "port" and "board":
//   ready     the boot loader answered
//   header    the header went out: "size", "checksum" (four hex digits; with
//             --serial the stamped image's) and "serial", the board's number
//   progress  "percent", "bytes" acknowledged (once per new percentage)
//   outcome   "message" (e.g. "Success !"), "exit", "seconds", "bytes_per_s",
//             "verified" ("crc32" when the target's CRC-32 of its flash matched
//             the image, true when it vouched for the 16-bit sum only, else false)
//             and "serial" when the board got one
//   stuck         repeat: the board announces without a pause and is not taken
//   port_problem  the port ends with no board in progress: "problem"
//   log_problem   the board's record could not be written: "problem" (the
//                 system's reason) and "row", the record as it would have been
// The two problems also go to the error stream as lines, as without --json.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "cli/PortRun.h"

class JsonEvents : public PortObserver {
public:
    JsonEvents(std::ostream& out, std::ostream& err, const std::vector<std::string>& ports,
               uint32_t size, uint16_t checksum);

    void Ready(size_t port, uint32_t board) override;
    void Numbered(size_t port, uint32_t board, uint64_t serial, uint16_t checksum) override;
    void Progress(size_t port, uint32_t board, uint8_t percent, uint64_t bytes) override;
    void Finished(size_t port, const BoardRecord& record) override;
    void Stuck(size_t port, uint32_t board) override;
    void PortProblem(size_t port, uint32_t board, const std::string& text) override;
    void Monitor(size_t port, const std::string& line) override;
    void Expect(size_t port, const std::string& text, bool seen) override;
    void LogProblem(size_t port, const BoardRecord& record, const std::string& row,
                    const std::string& reason) override;

private:
    std::string Start(const char* event, size_t port, uint32_t board) const;
    void Emit(const std::string& object);

    std::ostream& out;
    std::ostream& err;
    std::vector<std::string> names;
    std::vector<std::string> ports;  // as JSON strings
    std::vector<int> lastPercent;
    // --serial: the number and stamped checksum of the board each port is sending.
    std::vector<std::optional<std::pair<uint64_t, uint16_t>>> serials;
    uint32_t size;
    uint16_t checksum;
};

// `text` as a JSON string, quotes included.
std::string JsonString(const std::string& text);
