// The Linux port list on a made-up /dev and /sys: which names count, which
// open, in what order, and what is said about each USB adapter.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/PortList.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/TempFolder.h"

namespace {

namespace fs = std::filesystem;

void Write(const fs::path& file, const std::string& text) {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
}

// sysfs: class/tty/NAME/device -> the interface below a USB device directory.
void UsbDevice(const fs::path& sys, const std::string& tty, const std::string& usbDir,
               const std::map<std::string, std::string>& attributes) {
    const fs::path device = sys / "devices" / "pci0000:00" / usbDir;
    const fs::path interface = device / (usbDir + ":1.0") / tty;
    fs::create_directories(interface);
    for (const auto& [name, value] : attributes) Write(device / name, value);
    fs::create_directories(sys / "class" / "tty" / tty);
    fs::create_symlink(fs::relative(interface, sys / "class" / "tty" / tty),
                       sys / "class" / "tty" / tty / "device");
}

TEST(PortList, ListsSerialDevicesThatOpenWithWhatIsKnownAboutThem) {
    const test_support::TempFolder folder("kestrune-ports-test");
    const fs::path& root = folder.Path();
    const fs::path dev = root / "dev", sys = root / "sys";
    fs::create_directories(dev / "serial" / "by-id");
    test_support::PseudoTerminal usb0, usb2, usb10, other;
    fs::create_symlink(usb0.SlavePath(), dev / "ttyUSB0");
    fs::create_symlink(usb2.SlavePath(), dev / "ttyUSB2");
    fs::create_symlink(usb10.SlavePath(), dev / "ttyUSB10");
    fs::create_symlink(other.SlavePath(), dev / "console9");  // a terminal, but no serial port name
    fs::create_symlink(other.SlavePath(), dev / "ttyUSBx");   // not a port number
    Write(dev / "ttyACM0", "not a terminal");                 // does not open as a port
    fs::create_symlink(root / "gone", dev / "ttyS4");         // a node whose device is absent
    fs::create_symlink("../../ttyUSB2", dev / "serial" / "by-id" / "usb-Acme_Board_1234-if00");

    UsbDevice(sys, "ttyUSB0", "1-1",
              {{"idVendor", "0403"},
               {"idProduct", "6001"},
               {"manufacturer", "FTDI"},
               {"product", "FT232R USB UART"},
               {"serial", "A50285BI"}});
    UsbDevice(sys, "ttyUSB10", "1-2",
              {{"idVendor", "1234"},
               {"idProduct", "abcd"},
               {"manufacturer", "Acme"},
               {"product", "Acme Probe"}});

    const std::vector<PortEntry> ports = ListSerialPorts(dev.string(), sys.string());
    ASSERT_EQ(ports.size(), 3u);
    EXPECT_EQ(ports[0].name, (dev / "ttyUSB0").string());
    EXPECT_EQ(ports[0].description, "FTDI FT232R USB UART, serial A50285BI (0403:6001)");
    EXPECT_EQ(ports[1].name, (dev / "ttyUSB2").string());  // 2 before 10
    EXPECT_EQ(ports[1].description, "usb-Acme_Board_1234-if00");
    EXPECT_EQ(ports[2].name, (dev / "ttyUSB10").string());
    EXPECT_EQ(ports[2].description, "Acme Probe (1234:abcd)");  // the maker is not repeated

    EXPECT_TRUE(ListSerialPorts((root / "no-such-dev").string(), sys.string()).empty());
}

}  // namespace
