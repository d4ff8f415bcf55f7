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
    kTargetRejected = 8,  // the host sent 5A A5 8F after the verdict: the image must not start
};

// Ended by signal S: the status is kTargetSignalBase + S, as a shell reports it.
constexpr int kTargetSignalBase = 128;
