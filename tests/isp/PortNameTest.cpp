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

}  // namespace
