#include "cli/SingleDisplay.h"

#include "cli/BoardLog.h"
#include "cli/ExitCodes.h"

SingleDisplay::SingleDisplay(std::ostream& stdOut, std::ostream& stdErr, bool terminal,
                             uint32_t total, std::string portName, uint32_t baud)
    : out(stdOut),
      err(stdErr),
      progress(stdErr, terminal, total),
      port(std::move(portName)),
      baudRate(baud) {}

void SingleDisplay::Waiting(size_t, uint32_t) {
    progress.Waiting(port, baudRate);
}

void SingleDisplay::Ready(size_t, uint32_t) {
    progress.Started();
}

void SingleDisplay::Progress(size_t, uint32_t, uint8_t, uint64_t bytes) {
    progress.Update(static_cast<uint32_t>(bytes));
}

void SingleDisplay::Finished(size_t, const BoardRecord& record) {
    progress.Finish();
    const bool success = record.exitCode == kExitOk;
    if (const std::string problem = PortProblemLine(record); !problem.empty())
        err << problem << "\n";
    (success ? out : err) << "Download" << record.message << "\n" << std::flush;
    if (const std::string why = ReasonLine(record); !why.empty()) err << why << "\n" << std::flush;
    if (success) err << EfficiencyLine(record) << "\n" << std::flush;
}

void SingleDisplay::LogProblem(size_t, const BoardRecord&, const std::string& row,
                               const std::string& reason) {
    err << LogProblemLine(row, reason) << "\n" << std::flush;
}

void SingleDisplay::PortProblem(size_t, uint32_t, const std::string& text) {
    err << "kestrune-cli: " << port << ": " << text << "\n" << std::flush;
}

void SingleDisplay::Monitor(size_t, const std::string& line) {
    out << line << "\n" << std::flush;
}

void SingleDisplay::Expect(size_t, const std::string& text, bool seen) {
    err << ExpectLine(port, text, seen) << "\n" << std::flush;
}
