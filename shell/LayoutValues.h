#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

// The four layout values of printing (X copies, X spacing, Y copies, Y spacing). The window edits them on its
// own thread; the printing threads read them at the moment of use, so each value is an atomic copy that any
// thread may read without a lock.
class CLayoutValues {
public:
    enum Value { X_COPIES = 0, X_SPACING = 1, Y_COPIES = 2, Y_SPACING = 3, VALUE_COUNT = 4 };

    CLayoutValues() = default;
    CLayoutValues(int32_t xCopies, int32_t xSpacing, int32_t yCopies, int32_t ySpacing);

    int32_t Get(Value value) const { return m_values[value].load(); }
    // Stores the value unless readers cannot use it: copies below 1 would print nothing (or divide the
    // preview by zero), and a negative count of blank lines means nothing. The refusal says why, for the
    // operator; the previous value stays.
    std::optional<std::string> Set(Value value, int32_t nValue);
    static std::optional<std::string> Refusal(Value value, int32_t nValue);

private:
    std::array<std::atomic<int32_t>, VALUE_COUNT> m_values{1, 0, 1, 0};
};
