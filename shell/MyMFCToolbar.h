#pragma once

#include <QIcon>
#include <QToolBar>

// The main toolbar: 32-pixel icons with text labels under them; its tooltips come from the interface
// language files each time one is shown.
class CMyMFCToolbar : public QToolBar {
    Q_OBJECT
public:
    explicit CMyMFCToolbar(QWidget* parent = nullptr);

    // The tooltip of a command's button (TOOLBAR section), or an empty text for any other command.
    static QString ToolTipFor(int32_t nId);
    // The status-bar prompt of a command, or an empty text for any other command.
    static QString PromptFor(int32_t nId);
    // The button image of a command, drawn here at 32 × 32 pixels.
    static QIcon CommandIcon(int32_t nId);
    static QIcon ApplicationIcon();

protected:
    bool event(QEvent* event) override;
};
