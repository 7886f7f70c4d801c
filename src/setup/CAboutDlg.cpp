#include "setup/CAboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "setup/SetupPlatform.h"
#include "setup/SetupResources.h"

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    InitSetupResources();
    setObjectName(QString::number(IDD));
    setWindowTitle(QStringLiteral("Oront V208 Software Installer"));
    const setup::DialogUnits dlu(fontMetrics());
    setFixedSize(dlu.Size(170, 62));

    auto* pIcon = new QLabel(this);
    pIcon->setObjectName(QStringLiteral("128"));
    pIcon->move(dlu.Point(14, 14));
    pIcon->setPixmap(QIcon(QString::fromLatin1(setup::kIcon128)).pixmap(32, 32));
    pIcon->resize(32, 32);

    // The texts keep the template's places; a font wider than the template's
    // may widen them up to the right edge of the box instead of cutting them.
    const int nTextRight = width() - dlu.X(4);
    auto addText = [&](const QString& strText, int y) {
        auto* pText = new QLabel(strText, this);
        pText->setGeometry(dlu.Rect(42, y, 114, 8));
        const int nNeeded = pText->fontMetrics().horizontalAdvance(strText) + 2;
        if (nNeeded > pText->width()) pText->resize(qMin(nNeeded, nTextRight - pText->x()), pText->height());
        return pText;
    };
    addText(QStringLiteral("Setup,2.61"), 14);
    addText(QStringLiteral("Copyright (C) Oront Technology"), 26);

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setObjectName(QStringLiteral("1"));
    pOk->setGeometry(dlu.Rect(113, 41, 50, 14));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
}
