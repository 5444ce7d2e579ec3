#include "maint/BoardReceiver.h"

#include <array>
#include <cstring>
#include <span>

#include "maint/HeadRecord.h"
#include "maint/USBDevice.h"
#include "shell/Trace.h"

CBoardReceiver::CBoardReceiver(std::shared_ptr<CUSBDevice> device, DoneCallback onDone, GroupCallback onGroup)
    : m_device(std::move(device)),
      m_onDone(std::move(onDone)),
      m_onGroup(std::move(onGroup)),
      m_thread([this](std::stop_token stop) { Run(std::move(stop)); }) {}

CBoardReceiver::~CBoardReceiver() {
    Stop();
}

void CBoardReceiver::Stop() {
    if (!m_thread.joinable()) return;
    m_thread.request_stop();
    m_thread.join();
}

std::string CBoardReceiver::Error() const {
    std::lock_guard lock(m_errorMutex);
    return m_error;
}

void CBoardReceiver::Run(std::stop_token stop) {
    TraceLine("The data of having been received!");
    if (!SendQuery(stop) || !ReceiveGroups(stop)) return;
    TraceLine("接收32组数据结束!");
    Finish(State::Finished);
}

bool CBoardReceiver::SendQuery(const std::stop_token& stop) {
    TransferResult sent = m_device->Write(headrecord::kQuery, kQueryTimeout, stop);
    if (sent.Ok()) return true;
    if (stop.stop_requested()) {
        Finish(State::Stopped);
        return false;
    }
    TraceLine("发送查询命令失败！(%s)", TransferStatusText(sent.status));
    Finish(State::Failed, "The query could not be sent to the controller board (" +
                              std::string(TransferStatusText(sent.status)) + ").");
    return false;
}

bool CBoardReceiver::ReceiveGroups(const std::stop_token& stop) {
    std::array<uint8_t, kGroupBufferSize> buffer{};
    TraceLine("开始接收32组数据:");
    while (m_groups.load() < kGroups) {
        TraceLine("%2d组:", m_groups.load());
        TransferResult group = m_device->Read(buffer, kGroupTimeout, stop);
        if (stop.stop_requested()) {
            TraceLine("Receiving stopped after %d groups", m_groups.load());
            Finish(State::Stopped);
            return false;
        }
        if (!group.Ok()) {
            TraceLine("数据接受失败 (%s)", TransferStatusText(group.status));
            Finish(State::Failed, "Group " + std::to_string(m_groups.load() + 1) +
                                      " could not be received from the controller board (" +
                                      TransferStatusText(group.status) + ").");
            return false;
        }
        int received = ++m_groups;
        // Only this group's bytes, up to a zero byte: a shorter group shows nothing of the one before.
        size_t length = ::strnlen(reinterpret_cast<const char*>(buffer.data()), group.length);
        TraceLine("%.*s", static_cast<int>(length), reinterpret_cast<const char*>(buffer.data()));
        if (m_onGroup) m_onGroup(received, std::string(reinterpret_cast<const char*>(buffer.data()), length));
        if (received % 4 == 0 && received != kGroups) TraceLine("\n");
    }
    return true;
}

void CBoardReceiver::Finish(State state, std::string error) {
    {
        std::lock_guard lock(m_errorMutex);
        m_error = std::move(error);
    }
    m_state = state;
    m_done.Set();
    if (m_onDone && state != State::Stopped) m_onDone(state);
}
