// Exit statuses of kestrune-cli. Every outcome has its own number so that
// scripts can tell them apart; a new command adds its outcomes here.
#pragma once

enum ExitCode : int {
    kExitOk = 0,
    kExitCannotOpen = 2,   // the firmware file cannot be opened or read: "Can't open file !"
    kExitOutOfMemory = 3,  // the firmware file does not fit in memory
    kExitCannotWrite = 4,  // the --output file cannot be written
    // download: one code per outcome of the exchange ("Download....." messages)
    kExitOpenPortError = 5,   // ".....Open com port error !"
    kExitNotFindDevice = 6,   // ".....Not find device !"
    kExitDeviceError = 7,     // ".....Error !"
    kExitProgramError = 8,    // ".....Program Error !"
    kExitReadTimeOut = 9,     // ".....Read time out !"
    kExitUserStop = 10,       // ".....User stop !"
    kExitDamaged = 11,        // a HEX file with a damaged record: "FILE: line N: REASON"
    kExitBoardsFailed = 12,   // download --repeat: a board did not succeed
    kExitVerifyError = 13,    // ".....Verify Error !": the target's check of the image failed
    kExitExpectMissing = 14,  // --expect: the board did not print what was expected
    kExitUsage = 64,          // bad command line (as sysexits' EX_USAGE)
};
