#include "maint/LibusbBoardDevice.h"

#if defined(TESSARIN_WITH_LIBUSB) && __has_include(<libusb-1.0/libusb.h>)

#include <libusb-1.0/libusb.h>

#include <algorithm>
#include <climits>
#include <utility>
#include <vector>

#include "maint/UsbRequest.h"

namespace {

struct ContextExit {
    void operator()(libusb_context* context) const { libusb_exit(context); }
};
struct DeviceUnref {
    void operator()(libusb_device* device) const { libusb_unref_device(device); }
};
struct HandleClose {
    void operator()(libusb_device_handle* handle) const { libusb_close(handle); }
};
struct TransferFree {
    void operator()(libusb_transfer* transfer) const { libusb_free_transfer(transfer); }
};
struct ConfigFree {
    void operator()(libusb_config_descriptor* config) const { libusb_free_config_descriptor(config); }
};

using DevicePtr = std::unique_ptr<libusb_device, DeviceUnref>;
using HandlePtr = std::unique_ptr<libusb_device_handle, HandleClose>;

std::string ErrorText(int code) {
    return libusb_strerror(code);
}

// An open board with its first interface claimed, released in the reverse order.
class OpenBoard {
public:
    OpenBoard(HandlePtr handle, int interfaceNumber)
        : m_handle(std::move(handle)), m_interface(interfaceNumber) {}
    ~OpenBoard() { libusb_release_interface(m_handle.get(), m_interface); }
    OpenBoard(const OpenBoard&) = delete;
    OpenBoard& operator=(const OpenBoard&) = delete;

    libusb_device_handle* Handle() const { return m_handle.get(); }

private:
    HandlePtr m_handle;
    int m_interface;
};

class CLibusbBoardDevice final : public CBoardDevice {
public:
    explicit CLibusbBoardDevice(libusb_context* context) : m_context(context) {}
    ~CLibusbBoardDevice() override { Close(); }

    std::vector<BoardIdentity> Enumerate() override;
    bool Open(size_t n, std::string& error) override;
    void Close() override;
    bool IsOpen() const override { return m_open != nullptr; }
    uint16_t VendorID() const override { return m_identity.vendorId; }
    uint16_t ProductID() const override { return m_identity.productId; }
    const std::vector<CBoardEndpoint>& Endpoints() const override { return m_endpoints; }
    TransferResult Transfer(const CBoardEndpoint& endpoint, std::span<uint8_t> buffer,
                            std::chrono::milliseconds timeout, std::stop_token stop) override;

private:
    static void LIBUSB_CALL OnTransferDone(libusb_transfer* transfer);
    static std::unique_ptr<OpenBoard> Claim(libusb_device* device, int interfaceNumber, std::string& error);
    bool ListEndpoints(libusb_device* device, uint8_t controlPacketSize, int& interfaceNumber,
                       std::string& error);
    void WaitUntilDone(libusb_transfer* transfer, int& done, std::stop_token stop);

    std::unique_ptr<libusb_context, ContextExit> m_context;
    std::vector<DevicePtr> m_devices;  // of the last Enumerate, in device-number order
    std::unique_ptr<OpenBoard> m_open;
    BoardIdentity m_identity;
    std::vector<CBoardEndpoint> m_endpoints;
};

// The kernel's own numbering, bus by bus, stands in for the driver's device numbers.
std::vector<BoardIdentity> CLibusbBoardDevice::Enumerate() {
    m_devices.clear();
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(m_context.get(), &list);
    for (ssize_t i = 0; i < count; ++i) m_devices.emplace_back(libusb_ref_device(list[i]));
    if (list) libusb_free_device_list(list, 1);
    std::ranges::sort(m_devices, {}, [](const DevicePtr& d) {
        return std::pair(libusb_get_bus_number(d.get()), libusb_get_device_address(d.get()));
    });
    std::vector<BoardIdentity> identities;
    for (const DevicePtr& device : m_devices) {
        libusb_device_descriptor descriptor{};
        libusb_get_device_descriptor(device.get(), &descriptor);
        identities.push_back({descriptor.idVendor, descriptor.idProduct});
    }
    return identities;
}

bool CLibusbBoardDevice::Open(size_t n, std::string& error) {
    Close();
    if (n >= m_devices.size()) {
        error = "there is no device number " + std::to_string(n);
        return false;
    }
    libusb_device* device = m_devices[n].get();
    libusb_device_descriptor descriptor{};
    libusb_get_device_descriptor(device, &descriptor);
    int interfaceNumber = -1;
    if (!ListEndpoints(device, descriptor.bMaxPacketSize0, interfaceNumber, error)) return false;

    m_open = Claim(device, interfaceNumber, error);
    if (!m_open) {
        m_endpoints.clear();
        return false;
    }
    m_identity = {descriptor.idVendor, descriptor.idProduct};
    return true;
}

std::unique_ptr<OpenBoard> CLibusbBoardDevice::Claim(libusb_device* device, int interfaceNumber,
                                                     std::string& error) {
    libusb_device_handle* raw = nullptr;
    if (int rc = libusb_open(device, &raw); rc != 0) {
        error = ErrorText(rc);
        return nullptr;
    }
    HandlePtr handle(raw);
    // A kernel driver bound to the board's interface (a generic one a distribution might attach) would
    // keep the claim from succeeding.
    if (libusb_kernel_driver_active(raw, interfaceNumber) == 1)
        libusb_detach_kernel_driver(raw, interfaceNumber);
    if (int rc = libusb_claim_interface(raw, interfaceNumber); rc != 0) {
        error = "interface " + std::to_string(interfaceNumber) + ": " + ErrorText(rc);
        return nullptr;
    }
    return std::make_unique<OpenBoard>(std::move(handle), interfaceNumber);
}

// The board has one interface in its active configuration; its first setting is the one in use after
// the interface is claimed.
bool CLibusbBoardDevice::ListEndpoints(libusb_device* device, uint8_t controlPacketSize, int& interfaceNumber,
                                       std::string& error) {
    libusb_config_descriptor* raw = nullptr;
    if (int rc = libusb_get_active_config_descriptor(device, &raw); rc != 0) {
        error = "configuration: " + ErrorText(rc);
        return false;
    }
    std::unique_ptr<libusb_config_descriptor, ConfigFree> config(raw);
    if (config->bNumInterfaces == 0 || config->interface[0].num_altsetting == 0) {
        error = "the device has no interface";
        return false;
    }
    const libusb_interface_descriptor& setting = config->interface[0].altsetting[0];
    interfaceNumber = setting.bInterfaceNumber;
    m_endpoints.assign(1, CBoardEndpoint{0, CBoardEndpoint::Control, controlPacketSize, 0});
    for (uint8_t i = 0; i < setting.bNumEndpoints; ++i) {
        const libusb_endpoint_descriptor& e = setting.endpoint[i];
        m_endpoints.push_back({e.bEndpointAddress, e.bmAttributes,
                               usbrequest::EndpointMaxPacketSize(e.wMaxPacketSize), e.bInterval});
    }
    return true;
}

void CLibusbBoardDevice::Close() {
    m_open.reset();
    m_identity = {};
    m_endpoints.clear();
}

void LIBUSB_CALL CLibusbBoardDevice::OnTransferDone(libusb_transfer* transfer) {
    *static_cast<int*>(transfer->user_data) = 1;
}

// Events are handled by whichever waiting thread gets libusb's event lock; `done` is set under it, which
// is how libusb lets a read and a write wait on two threads at once.
void CLibusbBoardDevice::WaitUntilDone(libusb_transfer* transfer, int& done, std::stop_token stop) {
    std::stop_callback cancel(stop, [transfer] { libusb_cancel_transfer(transfer); });
    while (!done) {
        if (libusb_handle_events_completed(m_context.get(), &done) != 0 && !done) {
            libusb_cancel_transfer(transfer);
        }
    }
}

TransferResult CLibusbBoardDevice::Transfer(const CBoardEndpoint& endpoint, std::span<uint8_t> buffer,
                                            std::chrono::milliseconds timeout, std::stop_token stop) {
    if (!m_open || buffer.size() > INT_MAX) return {TransferStatus::Failed, 0};
    if (stop.stop_requested()) return {TransferStatus::Cancelled, 0};
    std::unique_ptr<libusb_transfer, TransferFree> transfer(libusb_alloc_transfer(0));
    if (!transfer) return {TransferStatus::Failed, 0};
    int done = 0;
    // libusb cancels a transfer itself when its time-out passes; 0 would mean no time-out at all.
    auto ms = static_cast<unsigned>(std::clamp<int64_t>(timeout.count(), 1, UINT_MAX));
    libusb_fill_bulk_transfer(transfer.get(), m_open->Handle(), endpoint.address, buffer.data(),
                              static_cast<int>(buffer.size()), &OnTransferDone, &done, ms);
    if (libusb_submit_transfer(transfer.get()) != 0) return {TransferStatus::Failed, 0};
    WaitUntilDone(transfer.get(), done, std::move(stop));

    size_t length = static_cast<size_t>(std::max(transfer->actual_length, 0));
    switch (transfer->status) {
        case LIBUSB_TRANSFER_COMPLETED:
            return {TransferStatus::Completed, length};
        case LIBUSB_TRANSFER_TIMED_OUT:
            return {TransferStatus::TimedOut, length};
        case LIBUSB_TRANSFER_CANCELLED:
            return {TransferStatus::Cancelled, length};
        default:
            return {TransferStatus::Failed, length};
    }
}

}  // namespace

std::unique_ptr<CBoardDevice> CreateLibusbBoardDevice(std::string& error) {
    libusb_context* context = nullptr;
    if (int rc = libusb_init(&context); rc != 0) {
        error = "libusb cannot start: " + ErrorText(rc);
        return nullptr;
    }
    return std::make_unique<CLibusbBoardDevice>(context);
}

#else

std::unique_ptr<CBoardDevice> CreateLibusbBoardDevice(std::string& error) {
    error = "this build has no USB support (libusb-1.0)";
    return nullptr;
}

#endif
