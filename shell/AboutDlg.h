#pragma once

#include <QDialog>

// The about box: the program's name, version and icon.
class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
