#include "cli/BoardLog.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#define close _close
#define write _write
#else
#include <unistd.h>
#endif

#include "cli/Arguments.h"

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string field = "\"";
    for (const char c : text) field += c == '"' ? std::string("\"\"") : std::string(1, c);
    return field + "\"";
}

std::string IsoLocalTime(std::chrono::system_clock::time_point time) {
    const std::time_t t = std::chrono::system_clock::to_time_t(time);
    std::tm local{}, utc{};
#ifdef _WIN32
    localtime_s(&local, &t);
    gmtime_s(&utc, &t);
#else
    localtime_r(&t, &local);
    gmtime_r(&t, &utc);
#endif
    // The offset from the two broken-down times: portable, unlike tm_gmtoff.
    int days = local.tm_yday - utc.tm_yday;
    if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
    const long offset =
        days * 86400L + (local.tm_hour - utc.tm_hour) * 3600L + (local.tm_min - utc.tm_min) * 60L;
    char text[64];
    const size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    std::snprintf(text + length, sizeof text - length, "%c%02ld:%02ld", offset < 0 ? '-' : '+',
                  minutes / 60, minutes % 60);
    return text;
}

std::string LogProblemLine(const std::string& row, const std::string& reason) {
    std::string record = row;
    while (!record.empty() && record.back() == '\n') record.pop_back();
    return "kestrune-cli: cannot write to the log (" + reason +
           "): no further board is taken; this board's record: " + record;
}

std::unique_ptr<BoardLog> BoardLog::Open(const std::string& path, const std::string& file,
                                         uint32_t size, uint16_t checksum) {
    const std::filesystem::path name = PathFromArgument(path);
    std::error_code error;
    const bool isNew =
        !std::filesystem::exists(name, error) || std::filesystem::file_size(name, error) == 0;
    std::unique_ptr<BoardLog> log(new BoardLog);
#ifdef _WIN32
    log->fd =
        _wopen(name.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    log->fd = open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
#endif
    if (log->fd < 0) return nullptr;
    log->file = CsvField(file);
    log->size = size;
    log->checksum = checksum;
    std::string reason;
    if (isNew &&
        !log->Append(
            "time,port,board,file,size,checksum,outcome,exit,seconds,bytes_per_s,serial,reason\n",
            reason))
        return nullptr;
    return log;
}

BoardLog::~BoardLog() {
    if (fd >= 0) close(fd);
}

void BoardLog::ReportTo(PortObserver& problems, std::atomic<bool>& noMore) {
    reporter = &problems;
    takeNoMore = &noMore;
}

bool BoardLog::Append(const std::string& bytes, std::string& reason) {
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t chunk = std::min<size_t>(bytes.size() - done, 1u << 30);
        const auto wrote = write(fd, bytes.data() + done, static_cast<unsigned>(chunk));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) {
            reason = wrote < 0 ? std::strerror(errno) : "nothing was written";
            torn = torn || done > 0;
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

std::string BoardLog::Row(const BoardRecord& record) const {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%u,%04X", size, checksum);
    std::string row = IsoLocalTime(record.endedAt) + "," + CsvField(record.port) + "," +
                      std::to_string(record.board) + "," + file + "," + numbers + "," +
                      CsvField(OutcomeText(record.message)) + "," + std::to_string(record.exitCode);
    std::snprintf(numbers, sizeof numbers, ",%.3f,%.0f,", record.seconds, BytesPerSecond(record));
    row += numbers;
    if (record.serial) row += std::to_string(*record.serial);
    return row + "," + CsvField(FailureReason(record)) + "\n";
}

void BoardLog::Finished(size_t port, const BoardRecord& record) {
    const std::string row = Row(record);
    std::string reason;
    if (Append(torn ? "\n" + row : row, reason)) {
        torn = false;
        return;
    }
    failed = true;
    if (takeNoMore) takeNoMore->store(true);
    if (reporter) reporter->LogProblem(port, record, row, reason);
}
