#include "app/qt/MessageDlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <algorithm>

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
                          Qt::WindowCloseButtonHint),
      m_layout(layout) {
    const QFont font = DialogFont(QStringLiteral("Arial"), layout.fontPoints);
    setFont(font);
    const DialogUnits du(font);
    setWindowTitle(QString::fromLatin1(msg::kAppTitle));
    setFixedSize(du.Size(layout.width, layout.height));
    setModal(true);

    m_pIcon = new QLabel(this);
    m_pIcon->setObjectName(QStringLiteral("1024"));
    m_pIcon->setGeometry(Place(du, layout.icon));
    m_pIcon->setAlignment(Qt::AlignCenter);
    ColourStatic(m_pIcon);

    m_pText = new QLabel(QStringLiteral("message\nmessage\nmessage"), this);
    m_pText->setObjectName(QStringLiteral("1017"));
    m_pText->setGeometry(Place(du, layout.text));
    m_pText->setTextFormat(Qt::PlainText);
    m_pText->setWordWrap(true);
    m_pText->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ColourStatic(m_pText);

    m_pOk = MakeButton(this, "1", QStringLiteral("OK"), Place(du, layout.ok), res::kIconOk);
    connect(m_pOk, &QPushButton::clicked, this, [this] { done(1); });
    if (!layout.cancel.isEmpty()) {
        m_pCancel = MakeButton(this, "2", QStringLiteral("Cancel"), Place(du, layout.cancel), res::kIconCancel);
        connect(m_pCancel, &QPushButton::clicked, this, [this] { done(2); });
    }

    m_pDetail = new QLabel(this);
    m_pDetail->setObjectName(QStringLiteral("detail"));
    m_pDetail->setTextFormat(Qt::PlainText);
    m_pDetail->setWordWrap(true);
    m_pDetail->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pDetail->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ColourStatic(m_pDetail);
    m_pDetail->hide();

    TakeMessage(false);
}

void CMessageDlgBase::TakeMessage(bool clear) {
    const MessageExtras extras = g_messageExtras;
    if (clear) g_messageExtras = MessageExtras{};
    m_pText->setText(MessageDisplayText(g_strMessage));

    if (extras.icon == MessageIcon::Information) {
        QSize iconSize = ResourceIconSize(res::kIconMessage);
        if (!iconSize.isValid()) iconSize = QSize(32, 32);
        m_pIcon->setPixmap(ResourceIcon(res::kIconMessage).pixmap(iconSize, devicePixelRatioF()));
    } else {
        const QIcon icon = style()->standardIcon(extras.icon == MessageIcon::Error ? QStyle::SP_MessageBoxCritical
                                                                                   : QStyle::SP_MessageBoxWarning);
        m_pIcon->setPixmap(icon.pixmap(m_pIcon->size(), devicePixelRatioF()));
    }
    // Which icon it is, for tests and accessibility tools.
    m_pIcon->setProperty("icon", static_cast<int>(extras.icon));

    // The template's places, then room under the text for the detail: the
    // dialog grows wide enough for its longest line (within the screen) and
    // high enough for all of it; the buttons keep their distance from the
    // middle and from the bottom.
    const DialogUnits du(font());
    const QSize base = du.Size(m_layout.width, m_layout.height);
    int width = base.width();
    int below = 0;
    if (!extras.detail.empty()) {
        // A path may break after each of its separators.
        QString detail = QString::fromStdString(extras.detail);
        detail.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
        m_pDetail->setText(detail);
        const QRect text = Place(du, m_layout.text);
        const QScreen* screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
        const int widest = screen != nullptr ? screen->availableGeometry().width() * 9 / 10 : du.X(400);
        int longest = 0;
        for (const QString& line : QString::fromStdString(extras.detail).split(QLatin1Char('\n')))
            longest = std::max(longest, m_pDetail->fontMetrics().horizontalAdvance(line));
        width = std::clamp(text.x() + longest + du.X(12), base.width(), std::max(base.width(), widest));
        const int detailWidth = width - text.x() - du.X(7);
        const int detailHeight = m_pDetail->heightForWidth(detailWidth);
        m_pDetail->setGeometry(text.x(), text.bottom() + 1 + du.Y(3), detailWidth, detailHeight);
        below = detailHeight + du.Y(3);
        m_pDetail->show();
    } else {
        m_pDetail->hide();
    }
    const int dx = (width - base.width()) / 2;
    m_pOk->setGeometry(Place(du, m_layout.ok).translated(dx, below));
    if (m_pCancel != nullptr) m_pCancel->setGeometry(Place(du, m_layout.cancel).translated(dx, below));
    setFixedSize(width, base.height() + below);

    CShadeButtonST* chosen = extras.cancelIsDefault && m_pCancel != nullptr ? m_pCancel : m_pOk;
    m_pOk->setDefault(chosen == m_pOk);
    if (m_pCancel != nullptr) m_pCancel->setDefault(chosen == m_pCancel);
    chosen->setFocus(Qt::OtherFocusReason);
}

void CMessageDlgBase::showEvent(QShowEvent* event) {
    // The message is the one in g_strMessage when the dialog opens.
    if (!event->spontaneous()) TakeMessage(true);
    QDialog::showEvent(event);
}

void CMessageDlgBase::reject() {
    done(2);
}

void CMessageDlgBase::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (!m_background.Paint(painter, rect(), devicePixelRatioF())) painter.fillRect(rect(), theme::Background());
}

CMessageDlg1::CMessageDlg1(QWidget* parent) : CMessageDlgBase(kTemplate130, parent) {}

CMessageDlg2::CMessageDlg2(QWidget* parent) : CMessageDlgBase(kTemplate131, parent) {}

}  // namespace oront
