// `download --log FILE`: one CSV row per board, appended as the board ends,
// after a header row when the file is new:
//   time,port,board,file,size,checksum,outcome,exit,seconds,bytes_per_s
// time is local ISO 8601 with the offset; checksum four hex digits; outcome
// the message without its dots ("Success !"); seconds with 3 decimals.
// Each row is written whole and flushed at once, so a crash or a pulled
// plug later loses no board that had ended.
#pragma once

#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "cli/PortRun.h"

class BoardLog : public PortObserver {
public:
    // Null when the file cannot be opened for appending.
    static std::unique_ptr<BoardLog> Open(const std::string& path, const std::string& file,
                                          uint32_t size, uint16_t checksum);

    void Finished(size_t port, const BoardRecord& record) override;

    bool WriteFailed() const { return failed; }

private:
    BoardLog() = default;

    std::ofstream stream;
    std::string file;  // as a CSV field
    uint32_t size = 0;
    uint16_t checksum = 0;
    bool failed = false;
};

// "2026-12-07T14:03:59+01:00" in the local time zone.
std::string IsoLocalTime(std::chrono::system_clock::time_point time);

// `text` as one CSV field, quoted when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);
