#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/PrintJob.h"
#include "engine/RipHead.h"

// What the printing threads (engine worker, TCP server) need from the program around them: the GUI, the
// headless runner, or a test's recorder. Every call comes from a printing thread; an implementation posts
// to its own thread and never makes the caller wait for it, so a shut-down waiting for a printing thread
// can never deadlock.
class PrintHost {
public:
    virtual ~PrintHost() = default;

    // A job's state or progress changed (the status message); nCopy counts from 1.
    virtual void PostStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) = 0;
    // A job the operator should see: a hot-folder or network job (the GUI adds its own jobs itself).
    virtual void AddPrintJob(const std::shared_ptr<CPrintJob>& job) = 0;

    // Layout values of the job property pane, read at the moment of use.
    virtual int32_t GetXCopies() = 0;
    virtual int32_t GetXSpacing() = 0;
    virtual int32_t GetYCopies() = 0;
    virtual int32_t GetYSpacing() = 0;

    // Media-feed and bidirectional corrections around every copy.
    virtual void BeginAdjustment() = 0;
    virtual void EndAdjustment(bool bSave) = 0;

    // A received header, for the job property pane.
    virtual void ShowHead(const RipHead& head) = 0;
    // The folder the hot-folder monitor works in, for the folder and file panes.
    virtual void BrowseToFolder(const std::filesystem::path& folder) = 0;
    // Something the operator must know: a failed job and why, a library that cannot be loaded.
    virtual void ReportMessage(const std::string& message) = 0;
};
