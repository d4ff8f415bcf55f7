#include "cli/SerialCounter.h"

#include <algorithm>
#include <charconv>
#include <limits>

#include "cli/ExitCodes.h"

namespace {

constexpr size_t kLongestContent = 24;  // 20 digits and a line end, with room to spare

// One line of decimal digits, its line end optional.
std::optional<uint64_t> ParseContent(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    if (!text.empty() && text.back() == '\r') text.pop_back();
    uint64_t number = 0;
    const char* last = text.data() + text.size();
    const auto [end, error] = std::from_chars(text.data(), last, number);
    if (text.empty() || text[0] < '0' || text[0] > '9' || error != std::errc() || end != last)
        return std::nullopt;
    return number;
}

}  // namespace

SerialCounter::SerialCounter(std::filesystem::path counterFile, std::string shownName,
                             SerialFormat stampFormat, std::string stampFormatName)
    : file(std::move(counterFile)),
      name(std::move(shownName)),
      format(stampFormat),
      formatName(std::move(stampFormatName)) {}

std::optional<CounterProblem> SerialCounter::Fail(int exitCode, const std::string& reason) {
    failure = CounterProblem{exitCode, "kestrune-cli: " + name + ": " + reason};
    return failure;
}

bool SerialCounter::Fits(uint64_t number) const {
    return number <= format.Largest() && number < std::numeric_limits<uint64_t>::max();
}

std::string SerialCounter::TooLarge(uint64_t number) const {
    const uint64_t largest = std::min(format.Largest(), std::numeric_limits<uint64_t>::max() - 1);
    return "the next number " + std::to_string(number) + " does not fit " + formatName +
           " (at most " + std::to_string(largest) + ")";
}

std::optional<uint64_t> SerialCounter::ReadNext(std::optional<uint64_t> start) {
    std::string text, why;
    switch (ReadSmallFile(file, kLongestContent, text, why)) {
        case ReadStatus::Missing:
            if (!start) {
                Fail(kExitCannotWrite, "does not exist (--serial-start N creates it)");
                return std::nullopt;
            }
            if (!Fits(*start)) {
                Fail(kExitUsage, TooLarge(*start));
                return std::nullopt;
            }
            if (!ReplaceDurably(file, std::to_string(*start) + "\n", why)) {
                Fail(kExitCannotWrite, why);
                return std::nullopt;
            }
            return start;
        case ReadStatus::Failed:
            Fail(kExitCannotWrite, why);
            return std::nullopt;
        case ReadStatus::Ok:
            break;
    }
    const std::optional<uint64_t> next = ParseContent(text);
    if (!next) Fail(kExitCannotWrite, "does not hold the next serial number (one decimal number)");
    return next;
}

std::optional<CounterProblem> SerialCounter::Prepare(std::optional<uint64_t> start) {
    std::lock_guard guard(mutex);
    std::string why;
    if (!lock.Open(std::filesystem::path(file) += ".lock", why) || !lock.Lock(kLockPatience, why))
        return Fail(kExitCannotWrite, why);
    lockOpen = true;
    const std::optional<uint64_t> next = ReadNext(start);
    lock.Unlock();
    if (next && !Fits(*next)) return Fail(kExitUsage, TooLarge(*next));
    return failure;
}

std::optional<uint64_t> SerialCounter::Take(CounterProblem& problem) {
    std::lock_guard guard(mutex);
    std::string why;
    if (!failure && !lockOpen) Fail(kExitCannotWrite, "was not prepared");
    if (!failure && !lock.Lock(kLockPatience, why)) Fail(kExitCannotWrite, why);
    if (failure) {
        problem = *failure;
        return std::nullopt;
    }
    std::optional<uint64_t> next = ReadNext(std::nullopt);
    if (next && !Fits(*next)) {
        Fail(kExitUsage, TooLarge(*next) + ": no more boards can be numbered");
        next.reset();
    }
    if (next && !ReplaceDurably(file, std::to_string(*next + 1) + "\n", why)) {
        Fail(kExitCannotWrite, why);
        next.reset();
    }
    lock.Unlock();
    if (!next) problem = *failure;
    return next;
}
