// The counter behind `download --serial-file FILE`: FILE holds the next
// serial number as one line of decimal text. Taking a number happens under
// an exclusive lock on FILE.lock (shared by every port of this run and every
// other kestrune-cli on the machine), and FILE holds the number after it,
// durably, before the number is handed out: no crash, kill or power loss can
// let anyone get that number again. A number is taken only when it fits the
// stamp's format and is not the largest 64-bit number (whose successor could
// not be recorded).
// Once taking has failed, every later take fails the same way: the line stops
// rather than flash a board without its recorded number.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "cli/DurableFile.h"
#include "cli/SerialFormat.h"

struct CounterProblem {
    int exitCode = 0;    // kExitCannotWrite, or kExitUsage when the number does not fit
    std::string reason;  // the whole line: "kestrune-cli: FILE: REASON"
};

class SerialCounter {
public:
    static constexpr std::chrono::milliseconds kLockPatience{10'000};

    // `name` is FILE as the user gave it, for the messages.
    SerialCounter(std::filesystem::path file, std::string name, SerialFormat format,
                  std::string formatName);

    // Before any board: FILE can be locked and read, or is missing and is
    // created holding `start`; the next number fits the format.
    std::optional<CounterProblem> Prepare(std::optional<uint64_t> start);

    // The next number, now recorded as used; safe from any thread.
    std::optional<uint64_t> Take(CounterProblem& problem);

private:
    // Under the lock: the number FILE holds, or nothing with `failure` set.
    std::optional<uint64_t> ReadNext(std::optional<uint64_t> start);
    std::optional<CounterProblem> Fail(int exitCode, const std::string& reason);
    bool Fits(uint64_t number) const;
    std::string TooLarge(uint64_t number) const;

    std::mutex mutex;
    std::filesystem::path file;
    std::string name;
    SerialFormat format;
    std::string formatName;
    ExclusiveLock lock;
    bool lockOpen = false;
    std::optional<CounterProblem> failure;
};
