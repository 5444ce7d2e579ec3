#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/Event.h"

class CUSBDevice;

// The head tool's receive thread: sends the query, then reads the board's 32 records one group at a time
// and writes each to the trace. The groups are for the trace only; nothing interprets them.
//
// The thread lives exactly as long as this object: destroying it (the dialog closing) asks the thread to
// stop, cancels the read it waits in and joins it, so nothing the thread uses is freed under it. A failed
// query or read is traced and ends the thread with an error; it never ends the program.
class CBoardReceiver {
public:
    enum class State { Running, Finished, Failed, Stopped };

    static constexpr int kGroups = 32;
    static constexpr std::chrono::milliseconds kQueryTimeout{60000};
    static constexpr std::chrono::milliseconds kGroupTimeout{10000};
    static constexpr size_t kGroupBufferSize = 1000;

    // Called on the receive thread when it finishes or fails (not when it is stopped); a window posts it
    // on to its own thread.
    using DoneCallback = std::function<void(State)>;
    // Called on the receive thread for every group received, with its number counted from 1 and its text
    // as the trace shows it, for a window that shows the groups too.
    using GroupCallback = std::function<void(int group, const std::string& text)>;

    CBoardReceiver(std::shared_ptr<CUSBDevice> device, DoneCallback onDone = {}, GroupCallback onGroup = {});
    ~CBoardReceiver();
    CBoardReceiver(const CBoardReceiver&) = delete;
    CBoardReceiver& operator=(const CBoardReceiver&) = delete;

    State GetState() const { return m_state.load(); }
    bool IsRunning() const { return GetState() == State::Running; }
    int GroupsReceived() const { return m_groups.load(); }
    // What failed, for the operator; empty unless the state is Failed.
    std::string Error() const;
    // True once the thread has ended (for any reason) within the time-out.
    bool WaitUntilDone(std::chrono::milliseconds timeout) const { return m_done.Wait(timeout); }

    // Asks the thread to stop and waits until it has; what it received so far stays.
    void Stop();

private:
    void Run(std::stop_token stop);
    bool SendQuery(const std::stop_token& stop);
    bool ReceiveGroups(const std::stop_token& stop);
    void Finish(State state, std::string error = {});

    const std::shared_ptr<CUSBDevice> m_device;
    const DoneCallback m_onDone;
    const GroupCallback m_onGroup;
    std::atomic<int> m_groups{0};
    std::atomic<State> m_state{State::Running};
    mutable std::mutex m_errorMutex;
    std::string m_error;
    platform::Event m_done;
    // Last, so that it is joined before any member it uses is destroyed.
    std::jthread m_thread;
};
