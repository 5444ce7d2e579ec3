#include "panes/PropPane.h"

#include "panes/PropertyGrid.h"
#include "shell/CommandTable.h"
#include "shell/LanguageText.h"
#include "shell/Trace.h"

namespace {

struct RowInfo {
    const char* szName;
    const char* szDescription;
    bool bEditable;
};

constexpr RowInfo kRows[CPropPane::ROW_COUNT] = {
    {"宽度", "输出图像的宽度", false},
    {"高度", "输出图像的高度", false},
    {"颜色数", "输出图像的颜色数", false},
    {"X-DPI", "输出图像的X方向分辨率", false},
    {"Y-DPI", "输出图像的Y方向分辨率", false},
    {"每像素位数", "输出图像每像素位数", false},
    {"每行字节数", "输出图像每行字节数", false},
    {"X幅数", "X幅数", true},
    {"X间隔", "X间隔", true},
    {"Y幅数", "Y幅数", true},
    {"Y间隔", "Y间隔", true},
};

std::optional<CLayoutValues::Value> LayoutValueOf(int row) {
    if (row < CPropPane::ROW_XCOPIES || row >= CPropPane::ROW_COUNT) return std::nullopt;
    return static_cast<CLayoutValues::Value>(row - CPropPane::ROW_XCOPIES);
}

QString Text(std::string_view section, std::string_view key, std::string_view def) {
    return QString::fromStdString(GetLanguageText(section, key, def));
}

}  // namespace

CPropPane::CPropPane(const CLayoutValues& startValues, QWidget* parent)
    : QDockWidget(QStringLiteral("Property"), parent),
      m_grid(new CPropertyGrid(this)),
      m_layout(std::make_shared<CLayoutValues>(startValues.Get(CLayoutValues::X_COPIES),
                                               startValues.Get(CLayoutValues::X_SPACING),
                                               startValues.Get(CLayoutValues::Y_COPIES),
                                               startValues.Get(CLayoutValues::Y_SPACING))) {
    setObjectName(QStringLiteral("PropertyPane"));
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
    for (int row = 0; row < ROW_COUNT; ++row) {
        const auto layoutValue = LayoutValueOf(row);
        m_grid->AddProperty(QString::fromUtf8(kRows[row].szName), QString::fromUtf8(kRows[row].szDescription),
                            layoutValue ? m_layout->Get(*layoutValue) : 0, kRows[row].bEditable);
    }
    m_grid->SetValidator([](int row, int32_t value) -> std::optional<QString> {
        const auto layoutValue = LayoutValueOf(row);
        if (!layoutValue) return std::nullopt;
        if (auto refusal = CLayoutValues::Refusal(*layoutValue, value)) return QString::fromStdString(*refusal);
        return std::nullopt;
    });
    connect(m_grid, &CPropertyGrid::PropertyChanged, this, &CPropPane::OnPropertyChanged);
    setWidget(m_grid);
    setFocusProxy(m_grid);
}

void CPropPane::ShowHead(const RipHead& head) {
    TraceLine("显示作业头");
    const uint32_t values[] = {head.width, head.height, head.color, head.xdpi, head.ydpi, head.bit, head.byteperline};
    for (int row = ROW_WIDTH; row <= ROW_BYTEPERLINE; ++row) m_grid->SetValue(row, static_cast<int32_t>(values[row]));
}

void CPropPane::OnPropertyChanged(int row, int32_t value) {
    TraceLine("属性表项改变");
    if (const auto layoutValue = LayoutValueOf(row)) m_layout->Set(*layoutValue, value);
    emit PreviewInvalidated();
}

void CPropPane::ReloadLanguage() {
    setWindowTitle(Text("PANE", cmdtable::kPaneCaptions[3].szKey, cmdtable::kNoText));
    for (size_t i = 0; i < cmdtable::kRelabelledRows.size(); ++i)
        m_grid->SetName(cmdtable::kRelabelledRows[i], Text("PANE", cmdtable::kRowKeys[i], cmdtable::kNoText));
}
