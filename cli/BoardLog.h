// `download --log FILE`: one CSV row per board, appended as the board ends,
// after a header row when the file is new:
//   time,port,board,file,size,checksum,outcome,exit,seconds,bytes_per_s,serial,reason
// time is local ISO 8601 with the offset; checksum four hex digits; outcome
// the message without its dots ("Success !"); seconds with 3 decimals; serial
// the number stamped into the board (empty without --serial), last so that
// readers of the older columns keep them where they were; reason why the board
// failed when the port had a problem or no board answered (empty otherwise).
// Each row goes out in one write to a descriptor opened for appending, so a
// crash or a pulled plug later loses no board that had ended, rows from
// several ports never interleave, and a failed row leaves nothing behind that
// spoils the next one. A row that cannot be written is never dropped in
// silence: it goes to the reporter's LogProblem at once, with the row itself,
// and the takeNoMore flag is set so that no further board goes unrecorded.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>

#include "cli/PortRun.h"

class BoardLog : public PortObserver {
public:
    // Null when the file cannot be opened for appending or its header row
    // cannot be written.
    static std::unique_ptr<BoardLog> Open(const std::string& path, const std::string& file,
                                          uint32_t size, uint16_t checksum);
    ~BoardLog() override;
    BoardLog(const BoardLog&) = delete;
    BoardLog& operator=(const BoardLog&) = delete;

    void ReportTo(PortObserver& reporter, std::atomic<bool>& takeNoMore);

    void Finished(size_t port, const BoardRecord& record) override;

    bool WriteFailed() const { return failed; }

    // The CSV row of `record`, line end included.
    std::string Row(const BoardRecord& record) const;

private:
    BoardLog() = default;
    // Writes all of `bytes`; false with the system's reason when it cannot.
    bool Append(const std::string& bytes, std::string& reason);

    int fd = -1;
    std::string file;  // as a CSV field
    uint32_t size = 0;
    uint16_t checksum = 0;
    bool failed = false;
    bool torn = false;  // a row was cut off part way: the next one starts on a new line
    PortObserver* reporter = nullptr;
    std::atomic<bool>* takeNoMore = nullptr;
};

// The error stream's line for a row that could not be written.
std::string LogProblemLine(const std::string& row, const std::string& reason);

// "2026-12-07T14:03:59+01:00" in the local time zone.
std::string IsoLocalTime(std::chrono::system_clock::time_point time);

// `text` as one CSV field, quoted when it holds a comma, quote or line break.
std::string CsvField(const std::string& text);
