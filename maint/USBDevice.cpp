#include "maint/USBDevice.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "maint/LibusbBoardDevice.h"
#include "maint/SimulatedBoard.h"
#include "maint/SimulatedBoardDevice.h"
#include "maint/UsbRequest.h"
#include "shell/IniReader.h"
#include "shell/Trace.h"

namespace {

std::string Hex(unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

}  // namespace

CUSBDevice::CUSBDevice(const std::filesystem::path& configPath) {
    OpenWith(configPath, nullptr);
}

CUSBDevice::CUSBDevice(const std::filesystem::path& configPath, std::unique_ptr<CBoardDevice> backEnd) {
    OpenWith(configPath, std::move(backEnd));
}

CUSBDevice::~CUSBDevice() {
    if (m_device) m_device->Close();
}

bool CUSBDevice::Open(const std::filesystem::path& configPath) {
    return OpenWith(configPath, nullptr);
}

CUSBDevice::Settings CUSBDevice::ReadSettings(const std::filesystem::path& configPath) {
    CIniReader ini(configPath);
    Settings s;
    s.ids.vendorId = static_cast<uint16_t>(ini.ReadInt("USB", "VendorID", 0));
    s.ids.productId = static_cast<uint16_t>(ini.ReadInt("USB", "ProductID", 0));
    s.inAddress = static_cast<uint8_t>(ini.ReadInt("USB", "EPInAddr", 0));
    s.outAddress = static_cast<uint8_t>(ini.ReadInt("USB", "EPOutAddr", 0));
    s.simulated = ini.ReadInt("USB", "Simulated", 0) != 0;
    return s;
}

std::unique_ptr<CBoardDevice> CUSBDevice::CreateBackEnd(const Settings& settings, std::string& error) {
    if (!settings.simulated) return CreateLibusbBoardDevice(error);
    std::shared_ptr<CSimulatedBoard> board = CSimulatedBoard::Plugged();
    board->Configure(settings.ids, settings.inAddress, settings.outAddress);
    return std::make_unique<CSimulatedBoardDevice>(std::vector{board});
}

bool CUSBDevice::Fail(std::string message) {
    m_openError = std::move(message);
    return false;
}

bool CUSBDevice::OpenWith(const std::filesystem::path& configPath, std::unique_ptr<CBoardDevice> backEnd) {
    TraceLine("Start to open USB devece!");
    if (m_device) return true;
    Settings settings = ReadSettings(configPath);
    std::string why;
    if (!backEnd) backEnd = CreateBackEnd(settings, why);
    if (!backEnd) {
        TraceLine("new CBoardDevice() failed: %s", why.c_str());
        return Fail("USB access is not available: " + why);
    }
    switch (backEnd->OpenFirst(settings.ids, why)) {
        case CBoardDevice::Found::Opened:
            break;
        case CBoardDevice::Found::NoBoard:
            TraceLine("DeviceCount = 0");
            return Fail("No USB device is connected.");
        case CBoardDevice::Found::NoMatch:
        case CBoardDevice::Found::OpenFailed:
            TraceLine("Can't open the device of VendorID = 0x%x, ProductID = 0x%x!", settings.ids.vendorId,
                      settings.ids.productId);
            return Fail("The controller board (VendorID = " + Hex(settings.ids.vendorId) +
                        ", ProductID = " + Hex(settings.ids.productId) + ") " +
                        (why.empty() ? std::string("is not connected.") : "cannot be opened: " + why));
    }
    m_device = std::move(backEnd);
    m_openError.clear();
    PickEndpoints(settings);
    return true;
}

void CUSBDevice::PickEndpoints(const Settings& settings) {
    const std::vector<CBoardEndpoint>& endpoints = m_device->Endpoints();
    // Slot 0 is the control endpoint, which carries no bulk data whatever address was configured.
    for (size_t slot = 1; slot < endpoints.size(); ++slot) {
        const CBoardEndpoint& e = endpoints[slot];
        if (e.IsIn() && e.address == settings.inAddress) m_in = e;
        if (!e.IsIn() && e.address == settings.outAddress) m_out = e;
    }
    TraceLine("Open USB success!\nVendorID = 0x%x, ProductID = 0x%x\nEPInAddr = 0x%x, EpOutAddr = 0x%x!",
              m_device->VendorID(), m_device->ProductID(), m_in ? m_in->address : 0u,
              m_out ? m_out->address : 0u);
    if (!m_in) TraceLine("The board has no IN endpoint 0x%x: reads will fail", settings.inAddress);
    if (!m_out) TraceLine("The board has no OUT endpoint 0x%x: writes will fail", settings.outAddress);
}

TransferResult CUSBDevice::Write(std::span<const uint8_t> data, std::chrono::milliseconds timeout,
                                 std::stop_token stop) {
    if (!m_device || !m_out) return {TransferStatus::Failed, 0};
    // The back end takes one buffer type for both directions; an OUT transfer never writes into it.
    std::vector<uint8_t> copy(data.begin(), data.end());
    return m_device->Transfer(*m_out, copy, timeout, std::move(stop));
}

TransferResult CUSBDevice::Read(std::span<uint8_t> buffer, std::chrono::milliseconds timeout,
                                std::stop_token stop) {
    if (!m_device || !m_in) return {TransferStatus::Failed, 0};
    size_t whole = usbrequest::RoundUpToPackets(static_cast<uint32_t>(buffer.size()), m_in->maxPacketSize);
    if (whole == buffer.size()) return m_device->Transfer(*m_in, buffer, timeout, std::move(stop));
    std::vector<uint8_t> packets(whole);
    TransferResult result = m_device->Transfer(*m_in, packets, timeout, std::move(stop));
    result.length = std::min(result.length, buffer.size());
    std::copy_n(packets.begin(), result.length, buffer.begin());
    return result;
}
