#pragma once

#include <QDockWidget>
#include <memory>

#include "engine/RipHead.h"
#include "shell/LayoutValues.h"

class CPropertyGrid;

// The job property pane: the header values of the last job opened or received (rows 0 to 6) and the four
// layout values (rows 7 to 10). The layout values are kept as atomic copies as well, which the printing
// threads read through the getters at the moment of use.
class CPropPane : public QDockWidget {
    Q_OBJECT
public:
    enum Row {
        ROW_WIDTH = 0, ROW_HEIGHT, ROW_COLOR, ROW_XDPI, ROW_YDPI, ROW_BIT, ROW_BYTEPERLINE,
        ROW_XCOPIES, ROW_XSPACING, ROW_YCOPIES, ROW_YSPACING, ROW_COUNT
    };

    CPropPane(const CLayoutValues& startValues, QWidget* parent = nullptr);

    void ShowHead(const RipHead& head);
    // Safe from any thread.
    int32_t GetXCopies() const { return m_layout->Get(CLayoutValues::X_COPIES); }
    int32_t GetXSpacing() const { return m_layout->Get(CLayoutValues::X_SPACING); }
    int32_t GetYCopies() const { return m_layout->Get(CLayoutValues::Y_COPIES); }
    int32_t GetYSpacing() const { return m_layout->Get(CLayoutValues::Y_SPACING); }
    const std::shared_ptr<CLayoutValues>& Layout() const { return m_layout; }

    CPropertyGrid* Grid() const { return m_grid; }
    // Relabels the caption and the six row names from the language files.
    void ReloadLanguage();

signals:
    // A layout value changed: the preview shows the new tiling.
    void PreviewInvalidated();

private:
    void OnPropertyChanged(int row, int32_t value);

    CPropertyGrid* m_grid;
    std::shared_ptr<CLayoutValues> m_layout;
};
