// Exit status of kestrune-target; --help lists the same table.
#pragma once

enum TargetExit : int {
    kExitImageOk = 0,
    kExitImageWrong = 1,
    kExitUsage = 2,
    kExitSystem = 3,
    kExitHeaderRejected = 4,
    kExitBlockRejected = 5,
    kExitIncomplete = 6,
    kExitTimeout = 7,
};

// Ended by signal S: the status is kExitSignalBase + S, as a shell reports it.
constexpr int kExitSignalBase = 128;
