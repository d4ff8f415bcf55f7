#include <gtest/gtest.h>

#include "isp/port/PortName.h"

namespace {

TEST(PortName, LongNamesGoThroughTheDeviceNamespace) {
    EXPECT_EQ(DevicePathForPort("COM1"), "COM1");
    EXPECT_EQ(DevicePathForPort("COM9"), "COM9");
    EXPECT_EQ(DevicePathForPort("COM10"), "\\\\.\\COM10");
    EXPECT_EQ(DevicePathForPort("COM16"), "\\\\.\\COM16");
    EXPECT_EQ(DevicePathForPort("CNCA0"), "\\\\.\\CNCA0");
    EXPECT_EQ(DevicePathForPort(""), "");
}

TEST(PortName, PrefixIsNeverDoubled) {
    EXPECT_EQ(DevicePathForPort("\\\\.\\COM12"), "\\\\.\\COM12");
    EXPECT_EQ(DevicePathForPort("\\\\?\\COM12"), "\\\\?\\COM12");
}

TEST(PortName, RegisteredPortsAreAddedInNumberOrderOnceEach) {
    using Names = std::vector<std::string>;
    const struct {
        Names listed, registered, added;
    } cases[] = {
        {{"COM1", "COM3"}, {"COM100", "COM17", "COM3", "COM18"}, {"COM17", "COM18", "COM100"}},
        {{"com1"}, {"com20", "COM20", "COM1", "COM9"}, {"COM9", "com20"}},  // letter case aside
        {{"COM2"}, {"CNCB0", "COM2", "CNCA0", "COM10"}, {"CNCA0", "CNCB0", "COM10"}},
        // Nothing that could name a file, a path or another namespace.
        {{},
         {"", "C:\\boot", "\\\\.\\COM30", "COM 31", "../COM32", std::string(65, 'C'), "COM33"},
         {"COM33"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PortsToAdd(c.listed, c.registered), c.added)
            << ::testing::PrintToString(c.registered);
    }
}

}  // namespace
