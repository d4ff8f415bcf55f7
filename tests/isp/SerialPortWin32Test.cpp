// The Win32 back end's failure path, run under Wine.
#include <gtest/gtest.h>

#include "isp/port/SerialPort.h"

namespace {

TEST(SerialPortWin32, PortsThatDoNotExistFailToOpen) {
    EXPECT_EQ(OpenSerialPort("COM99"), nullptr);   // short name, opened as it is
    EXPECT_EQ(OpenSerialPort("COM250"), nullptr);  // long name, through the device namespace
    EXPECT_EQ(OpenSerialPort(""), nullptr);
}

}  // namespace
