#include "cli/BoardLog.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

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

std::unique_ptr<BoardLog> BoardLog::Open(const std::string& path, const std::string& file,
                                         uint32_t size, uint16_t checksum) {
    const std::filesystem::path name = PathFromArgument(path);
    std::error_code error;
    const bool isNew =
        !std::filesystem::exists(name, error) || std::filesystem::file_size(name, error) == 0;
    std::unique_ptr<BoardLog> log(new BoardLog);
    log->stream.open(name, std::ios::binary | std::ios::app);
    if (!log->stream) return nullptr;
    log->file = CsvField(file);
    log->size = size;
    log->checksum = checksum;
    if (isNew) {
        log->stream << "time,port,board,file,size,checksum,outcome,exit,seconds,bytes_per_s\n"
                    << std::flush;
    }
    if (!log->stream) return nullptr;
    return log;
}

void BoardLog::Finished(size_t, const BoardRecord& record) {
    char numbers[96];
    std::snprintf(numbers, sizeof numbers, "%u,%04X", size, checksum);
    std::string row = IsoLocalTime(record.endedAt) + "," + CsvField(record.port) + "," +
                      std::to_string(record.board) + "," + file + "," + numbers + "," +
                      CsvField(OutcomeText(record.message)) + "," + std::to_string(record.exitCode);
    std::snprintf(numbers, sizeof numbers, ",%.3f,%.0f\n", record.seconds, BytesPerSecond(record));
    row += numbers;
    stream.write(row.data(), static_cast<std::streamsize>(row.size()));
    stream.flush();
    if (!stream) failed = true;
}
