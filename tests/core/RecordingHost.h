#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/PrintHost.h"

namespace testsupport {

// A PrintHost that records what the printing threads tell it, with the job's state and progress as they
// were at the moment of each status post.
class RecordingHost : public PrintHost {
public:
    struct Post {
        std::shared_ptr<CPrintJob> job;
        int32_t state;
        int32_t progress;
        int32_t copy;
    };

    std::atomic<int32_t> xCopies{1}, xSpacing{0}, yCopies{1}, ySpacing{0};
    // Runs on the printing thread inside each post, after it was recorded.
    std::function<void(const Post&)> onPost;

    void PostStatusChanged(const std::shared_ptr<CPrintJob>& job, int32_t nCopy) override {
        Post post{job, job->GetStatus(), job->GetProgress(), nCopy};
        std::function<void(const Post&)> hook;
        {
            std::lock_guard lock(m_mutex);
            m_posts.push_back(post);
            hook = onPost;
        }
        m_changed.notify_all();
        if (hook) hook(post);
    }
    void AddPrintJob(const std::shared_ptr<CPrintJob>& job) override { Record(m_added, job); }
    int32_t GetXCopies() override { return xCopies; }
    int32_t GetXSpacing() override { return xSpacing; }
    int32_t GetYCopies() override { return yCopies; }
    int32_t GetYSpacing() override { return ySpacing; }
    void BeginAdjustment() override { Record(m_adjustments, std::string("Begin")); }
    void EndAdjustment(bool bSave) override { Record(m_adjustments, std::string(bSave ? "End(save)" : "End")); }
    void ShowHead(const RipHead& head) override { Record(m_heads, head); }
    void BrowseToFolder(const std::filesystem::path& folder) override { Record(m_folders, folder); }
    void ReportMessage(const std::string& message) override { Record(m_messages, message); }

    std::vector<Post> Posts() const { return Copy(m_posts); }
    std::vector<std::shared_ptr<CPrintJob>> Added() const { return Copy(m_added); }
    std::vector<std::string> Adjustments() const { return Copy(m_adjustments); }
    std::vector<RipHead> Heads() const { return Copy(m_heads); }
    std::vector<std::filesystem::path> Folders() const { return Copy(m_folders); }
    std::vector<std::string> Messages() const { return Copy(m_messages); }

    // Waits (up to the time-out) until the predicate holds. Re-checked whenever something is recorded, and
    // every few milliseconds for predicates on state the host does not see (an engine becoming idle).
    bool WaitFor(const std::function<bool()>& predicate, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (predicate()) return true;
            if (std::chrono::steady_clock::now() >= deadline) return false;
            std::unique_lock lock(m_mutex);
            m_changed.wait_for(lock, std::chrono::milliseconds(10));
        }
    }
    // Waits until some post showed the job in the given state.
    bool WaitForState(const std::shared_ptr<CPrintJob>& job, int32_t state,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return WaitFor([&] {
            for (const auto& p : Posts())
                if (p.job == job && p.state == state) return true;
            return false;
        }, timeout);
    }

private:
    template <typename T, typename V>
    void Record(std::vector<T>& list, const V& value) {
        {
            std::lock_guard lock(m_mutex);
            list.push_back(value);
        }
        m_changed.notify_all();
    }
    template <typename T>
    std::vector<T> Copy(const std::vector<T>& list) const {
        std::lock_guard lock(m_mutex);
        return list;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Post> m_posts;
    std::vector<std::shared_ptr<CPrintJob>> m_added;
    std::vector<std::string> m_adjustments;
    std::vector<RipHead> m_heads;
    std::vector<std::filesystem::path> m_folders;
    std::vector<std::string> m_messages;
};

}  // namespace testsupport
