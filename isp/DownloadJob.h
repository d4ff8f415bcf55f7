// The record shared by the main dialog and the download worker.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "isp/port/SerialPort.h"

// Written into the progress/stop cell to ask the running download to stop.
// Percentages stop at 100, so the cell can never hold it by accident.
constexpr uint8_t STOP_REQUEST = 0xE1;

struct DownloadJob {
    std::unique_ptr<SerialPort> port;  // open during a download, null otherwise
    uint32_t baudRate = 0;
    uint32_t length = 0;
    uint32_t startAddress = 0;  // always 0: every download starts at address 0
    uint16_t checksum = 0;
    std::unique_ptr<uint8_t[]> image;  // the worker's private copy, null outside a download
    // Progress of the running or last download (0..100), or STOP_REQUEST.
    // The only field two threads write.
    std::unique_ptr<std::atomic<uint8_t>> progress = std::make_unique<std::atomic<uint8_t>>(0);
};
