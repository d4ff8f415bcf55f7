// The human output of a download on one port, as it always was: the
// DownloadProgress bar or lines on the error stream, then "Download" and the
// outcome's message (standard output for success, the error stream
// otherwise), and after a success the efficiency line on the error stream.
#pragma once

#include <ostream>

#include "cli/DownloadProgress.h"
#include "cli/PortRun.h"

class SingleDisplay : public PortObserver {
public:
    SingleDisplay(std::ostream& out, std::ostream& err, bool terminal, uint32_t total,
                  std::string port, uint32_t baudRate);

    void Waiting(size_t port, uint32_t board) override;
    void Ready(size_t port, uint32_t board) override;
    void Progress(size_t port, uint32_t board, uint8_t percent, uint64_t bytes) override;
    void Finished(size_t port, const BoardRecord& record) override;
    void LogProblem(size_t port, const BoardRecord& record, const std::string& row,
                    const std::string& reason) override;
    void PortProblem(size_t port, uint32_t board, const std::string& text) override;
    void Monitor(size_t port, const std::string& line) override;
    void Expect(size_t port, const std::string& text, bool seen) override;

private:
    std::ostream& out;
    std::ostream& err;
    DownloadProgress progress;
    std::string port;
    uint32_t baudRate;
};
