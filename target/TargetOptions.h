// Command line of kestrune-target: where the line goes, what to check, and
// which faults to inject. Block numbers count from 1; 0 names the header, so
// every reply fault can hit the header's acknowledgement as well as a block's.
// Each reply fault fires once per run: after a reset the next download is clean.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct TargetOptions {
    std::string linkPath;                  // --link: symbolic link to the pseudo-terminal
    std::string outPath;                   // --out: the received image
    std::string expectPath;                // --expect: firmware file the image must equal
    std::string tracePath;                 // --trace: every byte in both directions
    uint32_t readyIntervalMs = 100;        // 0: back to back (needs a paced line)
    uint32_t noise = 0;                    // bytes other than 0xA5 sent before every frame
    uint32_t replyDelayMs = 0;             // pause before each reply to the header or a block
    uint32_t baud = 0;                     // 0: no pacing; else each byte costs 10 bit times
    uint32_t timeoutSec = 0;               // 0: no overall bound
    std::optional<uint32_t> nakAt;         // reply A5 5A 42
    std::optional<uint32_t> silentAt;      // no reply at all
    std::optional<uint32_t> shortReplyAt;  // reply A5 5A, the frame never completes
    std::optional<uint32_t> resetAt;       // Ready instead of the reply; a new header follows
    std::optional<uint32_t> hangUpAt;   // close the line instead of the reply: the device is gone
    std::optional<uint32_t> corruptAt;  // flip the lowest bit of the block's first byte on arrival
    bool noVerdict = false;             // send nothing after the end frame
    bool verdictSum = false;            // --verdict sum: the verdict without the flash's CRC-32
    bool flashDiffers = false;          // a Verified whose CRC-32 is not the image's
    uint32_t vetoMs = 250;              // how long after Verified a reject 5A A5 8F counts
    // Instead of Ready frames the board sends, every ready interval:
    std::string application;  // --application: this text, as a running application
    uint32_t boardBaud = 0;   // --board-baud: Ready frames sent at this rate, as read at --baud
    std::optional<uint32_t> announceCode;  // --announce-code: A5 5A CODE
    uint32_t boards = 1;                   // boards played one after another on the line
    uint32_t swapGapMs = 1000;             // silence between one board's end and the next
    bool help = false;
    bool version = false;
};

struct ParsedOptions {
    std::optional<TargetOptions> options;  // empty when the command line is wrong
    std::string error;                     // why, for the user
};

ParsedOptions ParseTargetOptions(const std::vector<std::string>& args);

const char* TargetHelpText();
