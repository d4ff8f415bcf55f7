#include "boot/sim/SimOptions.h"

#include <cstdlib>
#include <cstring>

const char* const kSimUsage =
    "usage: kestrune-avrsim [options] LOADER.elf\n"
    "  --link PATH         symbolic link to the pseudo-terminal of UART0\n"
    "  --app APP.elf       also load an application into flash\n"
    "  --flash-in FILE     load raw flash contents (from address 0) first\n"
    "  --flash-out FILE    write the flash contents at the end\n"
    "  --eeprom-in FILE    load raw EEPROM contents first\n"
    "  --eeprom-out FILE   write the EEPROM contents at the end\n"
    "  --tx-log FILE       write every byte the chip sends\n"
    "  --trace FILE        log every byte both ways with its simulated time\n"
    "  --host-baud N       rate of the host's bytes (default: the chip's)\n"
    "  --real-time         run no faster than the real chip\n"
    "  --timeout SECONDS   end the run after this long\n"
    "  --corrupt-byte N    flip a bit of the host's Nth byte, as line noise would\n"
    "Signals: SIGUSR1 resets the chip; SIGTERM or SIGINT end the run.\n"
    "Exit status: 0 clean, 1 set-up failed, 2 usage, 3 flash fault,\n"
    "  4 received bytes lost, 5 the chip crashed (a bad instruction or address).\n";

namespace {

bool ParseNumber(const char* text, double low, double high, double& value) {
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end != text && *end == '\0' && value >= low && value <= high;
}

}  // namespace

std::optional<SimOptions> ParseSimOptions(int argc, char** argv, std::string& error) {
    SimOptions options;
    struct Text {
        const char* name;
        std::string SimOptions::*field;
    };
    static const Text texts[] = {
        {"--link", &SimOptions::link},          {"--app", &SimOptions::app},
        {"--flash-in", &SimOptions::flashIn},   {"--flash-out", &SimOptions::flashOut},
        {"--eeprom-in", &SimOptions::eepromIn}, {"--eeprom-out", &SimOptions::eepromOut},
        {"--tx-log", &SimOptions::txLog},       {"--trace", &SimOptions::trace},
    };
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        bool taken = false;
        for (const Text& t : texts) {
            if (std::strcmp(arg, t.name) != 0) continue;
            if (value == nullptr) {
                error = std::string(arg) + " needs a value";
                return std::nullopt;
            }
            options.*t.field = value;
            taken = true;
            ++i;
        }
        if (taken) continue;
        double number = 0;
        if (std::strcmp(arg, "--real-time") == 0) {
            options.realTime = true;
        } else if (std::strcmp(arg, "--host-baud") == 0 || std::strcmp(arg, "--timeout") == 0 ||
                   std::strcmp(arg, "--corrupt-byte") == 0) {
            const char kind = arg[2];  // 'h', 't' or 'c'
            const double low = kind == 'h' ? 300 : kind == 'c' ? 1 : 0;
            const double high = kind == 'h' ? 4e6 : kind == 'c' ? 4e9 : 1e6;
            if (value == nullptr || !ParseNumber(value, low, high, number)) {
                error = std::string(arg) + ": bad or missing value";
                return std::nullopt;
            }
            if (kind == 'h')
                options.hostBaud = static_cast<unsigned>(number);
            else if (kind == 'c')
                options.corruptByte = static_cast<unsigned long>(number);
            else
                options.timeout = number;
            ++i;
        } else if (arg[0] == '-' && arg[1] != '\0') {
            error = std::string("unknown option ") + arg;
            return std::nullopt;
        } else if (options.loader.empty()) {
            options.loader = arg;
        } else {
            error = std::string("more than one loader: ") + arg;
            return std::nullopt;
        }
    }
    if (options.loader.empty()) return std::nullopt;
    return options;
}
