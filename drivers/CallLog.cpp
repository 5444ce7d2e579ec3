#include "CallLog.h"

#include <string>

CallLog::CallLog(const std::filesystem::path& file) : m_out(file, std::ios::binary | std::ios::app) {}

void CallLog::Line(std::string_view text) {
    EndRun();
    Put(text);
}

void CallLog::LineSet(int32_t count, int32_t result) {
    if (m_runLength > 0 && (count != m_runCount || result != m_runResult)) EndRun();
    m_runCount = count;
    m_runResult = result;
    ++m_runLength;
}

void CallLog::EndRun() {
    if (m_runLength == 0) return;
    std::string text = "WriteRipData(" + std::to_string(m_runCount) + ") = " + std::to_string(m_runResult);
    if (m_runLength > 1) text += " x " + std::to_string(m_runLength);
    m_runLength = 0;
    Put(text);
}

void CallLog::Put(std::string_view text) {
    if (!m_out.is_open()) return;
    m_out << text << '\n';
    m_out.flush();
}
