#include "shell/LayoutValues.h"

CLayoutValues::CLayoutValues(int32_t xCopies, int32_t xSpacing, int32_t yCopies, int32_t ySpacing) {
    m_values[X_COPIES] = xCopies;
    m_values[X_SPACING] = xSpacing;
    m_values[Y_COPIES] = yCopies;
    m_values[Y_SPACING] = ySpacing;
}

std::optional<std::string> CLayoutValues::Refusal(Value value, int32_t nValue) {
    switch (value) {
        case X_COPIES:
            if (nValue < 1) return "X copies must be at least 1 (X幅数至少为 1).";
            break;
        case Y_COPIES:
            if (nValue < 1) return "Y copies must be at least 1 (Y幅数至少为 1).";
            break;
        case Y_SPACING:
            if (nValue < 0) return "Y spacing cannot be negative (Y间隔不能为负数).";
            break;
        default:
            break;
    }
    return std::nullopt;
}

std::optional<std::string> CLayoutValues::Set(Value value, int32_t nValue) {
    if (auto refusal = Refusal(value, nValue)) return refusal;
    m_values[value] = nValue;
    return std::nullopt;
}
