#include "app/qt/MessageDlg.h"

#include <QLabel>
#include <QPainter>
#include <QShowEvent>

#include "base/Messages.h"
#include "controls/qt/DialogUnits.h"
#include "controls/qt/Resources.h"
#include "controls/qt/ShadeButtonST.h"
#include "controls/qt/Theme.h"

namespace oront {

namespace {

constexpr MessageDlgTemplate kTemplate130{
    211, 69, 10, QRect(16, 15, 20, 20), QRect(52, 19, 152, 27), QRect(82, 48, 50, 14), QRect()};
constexpr MessageDlgTemplate kTemplate131{
    211, 73, 9, QRect(15, 17, 20, 20), QRect(48, 20, 151, 29), QRect(47, 53, 50, 15), QRect(122, 53, 50, 15)};

QRect Place(const DialogUnits& du, const QRect& r) {
    return du.Rect(r.x(), r.y(), r.width(), r.height());
}

// Static controls 1017 and 1024: black on the shared background colour.
void ColourStatic(QLabel* label) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, theme::Background());
    pal.setColor(QPalette::WindowText, theme::CaptionText());
    label->setPalette(pal);
    label->setAutoFillBackground(true);
}

CShadeButtonST* MakeButton(QWidget* parent, const char* name, const QString& text, const QRect& geometry, int iconId) {
    auto* button = new CShadeButtonST(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setAutoDefault(true);
    button->SetButtonIcon(ResourceIcon(iconId));
    button->BuildShadeImages();
    button->SetFlatFocus(true);
    return button;
}

}  // namespace

QString MessageDisplayText(const std::string& message) {
    QString text;
    text.reserve(static_cast<qsizetype>(message.size()));
    for (std::size_t i = 0; i < message.size(); ++i) {
        const char c = message[i];
        if (c == '\n' || c == '\r') {
            // A pair of different line-end characters is one break.
            if (i + 1 < message.size() && (message[i + 1] == '\n' || message[i + 1] == '\r') && message[i + 1] != c)
                ++i;
            text += QLatin1Char('\n');
        } else {
            text += QChar(static_cast<unsigned char>(c));
        }
    }
    return text;
}

CMessageDlgBase::CMessageDlgBase(const MessageDlgTemplate& layout, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    const QFont font = DialogFont(QStringLiteral("Arial"), layout.fontPoints);
    setFont(font);
    const DialogUnits du(font);
    setWindowTitle(QString::fromLatin1(msg::kAppTitle));
    setFixedSize(du.Size(layout.width, layout.height));
    setModal(true);

    m_background = ResourceBitmap(res::kBitmapBackground);

    m_pIcon = new QLabel(this);
    m_pIcon->setObjectName(QStringLiteral("1024"));
    m_pIcon->setGeometry(Place(du, layout.icon));
    m_pIcon->setAlignment(Qt::AlignCenter);
    const QIcon icon = ResourceIcon(res::kIconMessage);
    QSize iconSize = ResourceIconSize(res::kIconMessage);
    if (!iconSize.isValid()) iconSize = QSize(32, 32);
    m_pIcon->setPixmap(icon.pixmap(iconSize, devicePixelRatioF()));
    ColourStatic(m_pIcon);

    m_pText = new QLabel(QStringLiteral("message\nmessage\nmessage"), this);
    m_pText->setObjectName(QStringLiteral("1017"));
    m_pText->setGeometry(Place(du, layout.text));
    m_pText->setTextFormat(Qt::PlainText);
    m_pText->setWordWrap(true);
    m_pText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ColourStatic(m_pText);

    m_pOk = MakeButton(this, "1", QStringLiteral("OK"), Place(du, layout.ok), res::kIconOk);
    m_pOk->setDefault(true);
    connect(m_pOk, &QPushButton::clicked, this, [this] { done(1); });
    if (!layout.cancel.isEmpty()) {
        m_pCancel = MakeButton(this, "2", QStringLiteral("Cancel"), Place(du, layout.cancel), res::kIconCancel);
        connect(m_pCancel, &QPushButton::clicked, this, [this] { done(2); });
    }

    m_pText->setText(MessageDisplayText(g_strMessage));
    m_pOk->setFocus(Qt::OtherFocusReason);
}

void CMessageDlgBase::showEvent(QShowEvent* event) {
    // The text is the one in g_strMessage when the dialog opens.
    if (!event->spontaneous()) m_pText->setText(MessageDisplayText(g_strMessage));
    QDialog::showEvent(event);
}

void CMessageDlgBase::reject() {
    done(2);
}

void CMessageDlgBase::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_background.isNull()) {
        painter.fillRect(rect(), theme::Background());
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), m_background);
}

CMessageDlg1::CMessageDlg1(QWidget* parent) : CMessageDlgBase(kTemplate130, parent) {}

CMessageDlg2::CMessageDlg2(QWidget* parent) : CMessageDlgBase(kTemplate131, parent) {}

}  // namespace oront
