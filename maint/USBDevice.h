#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <stop_token>
#include <string>

#include "maint/BoardDevice.h"

// The controller board as the head tool uses it: the board whose ids section [USB] of Tessarin.ini names,
// its bulk IN and OUT endpoints, and a write and a read with a time-out each.
//
// Keys of [USB], read at every open: VendorID, ProductID, EPInAddr, EPOutAddr, and Simulated: non-zero
// plugs in a simulated board (CSimulatedBoard::Plugged) with those ids and addresses instead of looking for
// the printer's.
//
// Open runs before any transfer and is not repeated while transfers run; after that a Write on one thread
// and a Read on another may run at the same time.
class CUSBDevice {
public:
    // Opens the board with the back end the file chooses.
    explicit CUSBDevice(const std::filesystem::path& configPath);
    // Opens the board through the given back end.
    CUSBDevice(const std::filesystem::path& configPath, std::unique_ptr<CBoardDevice> backEnd);
    ~CUSBDevice();
    CUSBDevice(const CUSBDevice&) = delete;
    CUSBDevice& operator=(const CUSBDevice&) = delete;

    // True when a board with the configured ids is open; true at once when one already is.
    bool Open(const std::filesystem::path& configPath);
    bool IsOpen() const { return m_device != nullptr; }
    // Why the last open failed, in words for the operator; empty after a successful open.
    const std::string& OpenError() const { return m_openError; }

    // One transfer each. Fails at once when the board is not open or lacks that endpoint. A read asks the
    // board for whole packets and keeps what fits in the buffer.
    TransferResult Write(std::span<const uint8_t> data, std::chrono::milliseconds timeout,
                         std::stop_token stop = {});
    TransferResult Read(std::span<uint8_t> buffer, std::chrono::milliseconds timeout,
                        std::stop_token stop = {});

private:
    struct Settings {
        BoardIdentity ids;
        uint8_t inAddress = 0;
        uint8_t outAddress = 0;
        bool simulated = false;
    };

    static Settings ReadSettings(const std::filesystem::path& configPath);
    static std::unique_ptr<CBoardDevice> CreateBackEnd(const Settings& settings, std::string& error);
    bool OpenWith(const std::filesystem::path& configPath, std::unique_ptr<CBoardDevice> backEnd);
    bool Fail(std::string message);
    void PickEndpoints(const Settings& settings);

    std::unique_ptr<CBoardDevice> m_device;
    std::optional<CBoardEndpoint> m_out;
    std::optional<CBoardEndpoint> m_in;
    std::string m_openError;
};
