#pragma once

#include <QEvent>
#include <functional>

class CMainFrame;

// Anything else a printing thread asks of the main window, posted behind the status events so that the
// window sees everything in the order it was asked.
class CPostedCallEvent : public QEvent {
public:
    static constexpr QEvent::Type kType = static_cast<QEvent::Type>(1228);

    explicit CPostedCallEvent(std::function<void(CMainFrame&)> call) : QEvent(kType), m_call(std::move(call)) {}
    void Run(CMainFrame& frame) const { m_call(frame); }

private:
    std::function<void(CMainFrame&)> m_call;
};
