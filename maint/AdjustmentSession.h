#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "maint/AdjustmentStore.h"

class CPrinterLibrary;

// The live corrections of a printing job: the media-feed step and the bidirectional compensation, each a
// signed number of steps on top of the machine's calibration.
//
// The printing threads (engine worker, TCP server) call Begin when a job has started in the printer library
// and at every resume, End(false) when a job is cancelled and End(true) when a job for which Begin ran has
// ended; a PrintHost forwards its BeginAdjustment / EndAdjustment here. The tool pane (CToolDialog) changes
// the corrections from its own thread with the "+" and "_" buttons and the two edits; every change goes at
// once to the printer library and into the material file. End(true) adds the corrections to vkconfig.ini,
// sets them back to 0 and returns at once: showing the new values for a while is the pane's business, told
// through the listener. The headless program has no tool pane, hence no corrections, and needs none of this.
//
// Safe to call from any thread. Listeners run on the thread that caused the event: a window posts on. A
// listener must not add or remove listeners from inside a callback.
class CAdjustmentSession {
public:
    // What End(true) wrote into vkconfig.ini; nullopt for a value it could not store.
    struct Stored {
        std::optional<int> feed;
        std::optional<int> bid;
        std::chrono::steady_clock::time_point at;
    };

    struct Listener {
        std::function<void(bool adjusting)> adjustingChanged;  // enable or disable the controls
        std::function<void(const Stored&)> stored;             // show the values for kShowStoredFor
        std::function<void(const std::string&)> message;       // something the operator must know
    };

    // Removes the listener it stands for when it goes. The removal waits for a callback of that listener
    // that runs on another thread, so whatever the callback uses may go right after. The session must
    // outlive the handle.
    class ListenerHandle {
    public:
        ListenerHandle() = default;
        ListenerHandle(ListenerHandle&& other) noexcept;
        ListenerHandle& operator=(ListenerHandle&& other) noexcept;
        ~ListenerHandle();
        void Reset();

    private:
        friend class CAdjustmentSession;
        ListenerHandle(CAdjustmentSession* session, int id) : m_session(session), m_id(id) {}
        CAdjustmentSession* m_session = nullptr;
        int m_id = 0;
    };

    // How long the pane shows the stored values before it shows the (zero) corrections again.
    static constexpr std::chrono::seconds kShowStoredFor{5};

    CAdjustmentSession(std::filesystem::path programDirectory, std::filesystem::path printerLibrary,
                       Listener listener = {});
    ~CAdjustmentSession();
    CAdjustmentSession(const CAdjustmentSession&) = delete;
    CAdjustmentSession& operator=(const CAdjustmentSession&) = delete;

    // One more listener beside the one given at construction: a window made after the session.
    [[nodiscard]] ListenerHandle AddListener(Listener listener);

    // Printing threads.
    void Begin();
    void End(bool bSave);

    // Tool pane. Steps are the "+" (1) and "_" (-1) buttons; Set is text typed into an edit, read with
    // ParseEditText. Each passes the whole correction now in force to the library.
    void StepFeed(int delta);
    void StepBid(int delta);
    void SetFeed(int value);
    void SetBid(int value);

    int Feed() const { return m_feed.load(); }
    int Bid() const { return m_bid.load(); }
    bool IsAdjusting() const { return m_adjusting.load(); }
    bool IsBound() const;
    std::optional<Stored> LastStored() const;

    // An edit's text as the pane's edits read it: optional blanks, an optional sign and the leading
    // digits; 0 when there are none.
    static int ParseEditText(std::string_view text);

private:
    Stored StoreCorrections(std::vector<std::string>& problems);
    void FeedChanged();
    void BidChanged();
    void Report(const std::string& problem);
    void SetAdjusting(bool adjusting);
    void RemoveListener(int id);
    template <typename Call>
    void Notify(const Call& call);

    const CAdjustmentStore m_store;
    const std::filesystem::path m_printerLibrary;
    const Listener m_listener;
    std::atomic<int> m_feed{0};
    std::atomic<int> m_bid{0};
    std::atomic<bool> m_adjusting{false};
    std::atomic<bool> m_bindFailureReported{false};

    // Held across each change and each End, so that a change never lands between End's reading of the
    // corrections and its release of the library, and the ini files see one writer at a time.
    mutable std::mutex m_mutex;
    std::shared_ptr<const CPrinterLibrary> m_library;
    std::optional<Stored> m_lastStored;

    // Held while the added listeners are called, so that a removal waits for a call in flight.
    std::mutex m_listenersMutex;
    std::map<int, Listener> m_listeners;
    int m_nextListenerId = 1;
};
