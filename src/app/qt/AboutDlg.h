// The About box, opened from the main window's system menu.
//
// A plain dialog (no skinned buttons, no background picture): icon 128, the
// version line "Oront V208 Software, Version 2.61(CE)", a copyright line
// and OK. Run it with exec(); the result carries no meaning.
#pragma once

#include <QDialog>

namespace oront {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    // The second text line of the box.
    static QString CopyrightText();
};

}  // namespace oront
