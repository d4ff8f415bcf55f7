// kestrune-cli ports: the serial ports that can be opened now, one a line,
// as --port of `download` takes them, with a description where one is known.
#include "cli/Command.h"
#include "cli/ExitCodes.h"
#include "cli/PortList.h"

namespace {

constexpr const char* kHelp =
    "Usage: kestrune-cli ports\n"
    "\n"
    "Lists the serial ports that can be opened now, one a line, in the form\n"
    "`download --port` takes. Ports held by another program are not listed.\n"
#ifdef _WIN32
    "Probes COM1 to COM16, then the other ports the system has registered\n"
    "(COM17 and up, in number order), as the dialog's port list does.\n"
#else
    "Looks at /dev/ttyUSB*, ttyACM*, ttyS*, ttyAMA* and other serial devices;\n"
    "USB adapters show maker, product, serial number and vendor:product id\n"
    "from sysfs (or their /dev/serial/by-id name), so boards can be told apart.\n"
#endif
    "Prints nothing when there is no port.\n"
    "\n"
    "Exit status: 0, or 64 for a bad command line.\n";

}  // namespace

int RunPortsCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
    if (!args.empty() && (args[0] == "-h" || args[0] == "--help")) {
        out << kHelp;
        return kExitOk;
    }
    if (!args.empty()) {
        err << "kestrune-cli ports: takes no arguments, got " << args[0] << "\n";
        return kExitUsage;
    }
    for (const PortEntry& port : ListSerialPorts()) {
        out << port.name;
        if (!port.description.empty()) out << "  " << port.description;
        out << "\n";
    }
    return kExitOk;
}
