#include "app/qt/AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "base/Messages.h"
#include "controls/qt/DialogUnits.h"
#include "controls/qt/Resources.h"

namespace oront {

QString CAboutDlg::CopyrightText() {
    return QStringLiteral("Copyright (C) Oront Technology");
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    const QFont font = DialogFont(QStringLiteral("Arial"), 9);
    setFont(font);
    const DialogUnits du(font);
    setWindowTitle(QStringLiteral("About ") + QString::fromLatin1(msg::kAppTitle));
    setFixedSize(du.Size(235, 55));
    setModal(true);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setGeometry(du.Rect(8, 12, 24, 24));
    icon->setAlignment(Qt::AlignCenter);
    icon->setPixmap(ResourceIcon(res::kIconApp).pixmap(QSize(32, 32), devicePixelRatioF()));

    auto* version = new QLabel(QString::fromLatin1(msg::kAboutVersion), this);
    version->setObjectName(QStringLiteral("version"));
    version->setGeometry(du.Rect(40, 12, 136, 10));
    version->setTextFormat(Qt::PlainText);

    auto* copyright = new QLabel(CopyrightText(), this);
    copyright->setObjectName(QStringLiteral("copyright"));
    copyright->setGeometry(du.Rect(40, 27, 136, 10));
    copyright->setTextFormat(Qt::PlainText);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setGeometry(du.Rect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    ok->setFocus(Qt::OtherFocusReason);
}

}  // namespace oront
