// The launcher's About box.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 100 };
    explicit CAboutDlg(QWidget* parent = nullptr);
};
