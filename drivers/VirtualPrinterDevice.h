#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "DriverEntry.h"
#include "VirtualPrinterConfig.h"
#include "VirtualPrinterSession.h"

// The virtual printer behind the C entries of the library: one per loaded library, holding the open
// session. Tessarin serialises its calls, but one mutex guards the state anyway, so that a misbehaving
// caller gets odd results rather than a corrupted library.
class VirtualPrinterDevice {
public:
    static VirtualPrinterDevice& Instance();

    VirtualPrinterDevice();
    ~VirtualPrinterDevice();
    VirtualPrinterDevice(const VirtualPrinterDevice&) = delete;
    VirtualPrinterDevice& operator=(const VirtualPrinterDevice&) = delete;

    int32_t InitPrinter(int32_t mode);
    int32_t StartPrint(const void* ripHead48, int32_t zero);
    int32_t WriteRipData(const void* data, int32_t count);
    int32_t EndRipData();
    int32_t AbortPrint();
    int32_t PausePrint();
    int32_t ResumePrint();
    int32_t SkipLines();
    int32_t EndPrint();
    int32_t ChangeFeedingData(int32_t value);
    int32_t GetCurrentPass();
    int32_t ChangeBidData(int32_t value);
    int32_t GetCurrentInkmode();

private:
    // Where an entry is answered by the printer: within any open session, or only once its job started.
    enum class Scope { Session, Job };
    // What the printer answered, and a note for the log (empty when there is nothing to add).
    struct Outcome {
        int32_t result;
        std::string note = {};
    };

    template <class Work>
    int32_t Call(DriverEntry entry, const std::string& call, Scope scope, int32_t outsideResult, Work work);
    int32_t EndSession(DriverEntry entry);
    int32_t Injected(const std::string& call);
    void CloseSession(std::string_view end);

    VirtualPrinterSession* SessionFor(Scope scope) const;
    // The open session's settings, or the ini as it is now when no session is open.
    VirtualPrinterConfig CurrentConfig() const;
    // Calls no session answers go to outside.log of the output folder.
    void LogOutside(std::string_view line) const;
    void LogAnywhere(std::string_view line);

    const std::filesystem::path m_libraryFolder;
    std::mutex m_mutex;
    std::unique_ptr<VirtualPrinterSession> m_session;
};
