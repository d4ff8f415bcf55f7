// Exit status of kestrune-target; --help lists the same table.
#pragma once

enum TargetExit : int {
    kTargetImageOk = 0,
    kTargetImageWrong = 1,
    kTargetUsage = 2,
    kTargetSystem = 3,
    kTargetHeaderRejected = 4,
    kTargetBlockRejected = 5,
    kTargetIncomplete = 6,
    kTargetTimeout = 7,
};

// Ended by signal S: the status is kTargetSignalBase + S, as a shell reports it.
constexpr int kTargetSignalBase = 128;
