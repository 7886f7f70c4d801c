#include "print/qt/PrintToolBar.h"

#include <QAction>
#include <QComboBox>
#include <QPainter>
#include <QPainterPath>
#include <QToolButton>
#include <QWheelEvent>

#include "controls/qt/Resources.h"
#include "records/CFormat.h"

namespace oront {

namespace {

// Pictures of the buttons after Exit, which bitmap 166 does not hold.
constexpr int kToolZoomOut = 100;
constexpr int kToolZoomIn = 101;
constexpr int kToolFitPage = 102;
constexpr int kToolFitWidth = 103;
constexpr int kToolExportPdf = 104;

// Fallback pictures, drawn when bitmap 166 is missing, and the pictures of
// the buttons after Exit.
QPixmap DrawnImage(int image) {
    QPixmap pm(16, 15);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    auto triangle = [&p](qreal tipX, qreal baseX) {
        QPainterPath path;
        path.moveTo(tipX, 7.5);
        path.lineTo(baseX, 2.5);
        path.lineTo(baseX, 12.5);
        path.closeSubpath();
        p.drawPath(path);
    };
    switch (image) {
        case res::kToolTopPage:
            p.drawRect(QRectF(3, 2.5, 2, 10));
            triangle(5, 12);
            break;
        case res::kToolPrePage:
            triangle(4, 11);
            break;
        case res::kToolNextPage:
            triangle(12, 5);
            break;
        case res::kToolLastPage:
            triangle(11, 4);
            p.drawRect(QRectF(11, 2.5, 2, 10));
            break;
        case res::kToolPrint:
            p.setBrush(Qt::white);
            p.setPen(Qt::black);
            p.drawRect(QRectF(4.5, 1.5, 7, 5));
            p.setBrush(QColor(160, 160, 160));
            p.drawRect(QRectF(1.5, 6.5, 13, 6));
            break;
        case res::kToolPrintSetup:
            p.setBrush(QColor(160, 160, 160));
            p.setPen(Qt::black);
            p.drawEllipse(QRectF(3.5, 3, 9, 9));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(6.5, 6, 3, 3));
            break;
        case kToolZoomOut:
        case kToolZoomIn:
            // A magnifying glass with a minus or a plus.
            p.setPen(QPen(QColor(0, 0, 128), 1.5));
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(1.5, 1.5, 9, 9));
            p.setPen(QPen(QColor(0, 0, 128), 2.5, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(9.5, 9.5), QPointF(13.5, 13));
            p.setPen(QPen(QColor(0, 0, 128), 1.5));
            p.drawLine(QPointF(3.5, 6), QPointF(8.5, 6));
            if (image == kToolZoomIn) p.drawLine(QPointF(6, 3.5), QPointF(6, 8.5));
            break;
        case kToolFitPage:
        case kToolFitWidth:
            // A page; a double arrow across it for the width.
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(Qt::white);
            if (image == kToolFitPage)
                p.drawRect(QRectF(3.5, 1.5, 9, 12));
            else
                p.drawRect(QRectF(1.5, 3.5, 13, 8));
            p.setPen(QPen(QColor(0, 0, 128), 1.5));
            if (image == kToolFitPage) {
                p.drawLine(QPointF(8, 3.5), QPointF(8, 11.5));
                p.drawLine(QPointF(6, 5.5), QPointF(8, 3.5));
                p.drawLine(QPointF(10, 5.5), QPointF(8, 3.5));
                p.drawLine(QPointF(6, 9.5), QPointF(8, 11.5));
                p.drawLine(QPointF(10, 9.5), QPointF(8, 11.5));
            } else {
                p.drawLine(QPointF(3.5, 7.5), QPointF(12.5, 7.5));
                p.drawLine(QPointF(5.5, 5.5), QPointF(3.5, 7.5));
                p.drawLine(QPointF(5.5, 9.5), QPointF(3.5, 7.5));
                p.drawLine(QPointF(10.5, 5.5), QPointF(12.5, 7.5));
                p.drawLine(QPointF(10.5, 9.5), QPointF(12.5, 7.5));
            }
            break;
        case kToolExportPdf:
            // A page with a folded corner and a red band.
            p.setPen(QPen(Qt::black, 1));
            p.setBrush(Qt::white);
            {
                QPainterPath sheet;
                sheet.moveTo(2.5, 0.5);
                sheet.lineTo(9.5, 0.5);
                sheet.lineTo(13.5, 4.5);
                sheet.lineTo(13.5, 14.5);
                sheet.lineTo(2.5, 14.5);
                sheet.closeSubpath();
                p.drawPath(sheet);
                p.drawLine(QPointF(9.5, 0.5), QPointF(9.5, 4.5));
                p.drawLine(QPointF(9.5, 4.5), QPointF(13.5, 4.5));
            }
            p.setPen(Qt::NoPen);
            p.setBrush(QColor(192, 0, 0));
            p.drawRect(QRectF(1, 7, 11, 5));
            break;
        default:
            p.setPen(QPen(QColor(192, 0, 0), 2));
            p.drawLine(QPointF(4, 3.5), QPointF(12, 11.5));
            p.drawLine(QPointF(12, 3.5), QPointF(4, 11.5));
            break;
    }
    return pm;
}

// The Goto Page list: only a choice made with a click or the keyboard turns
// the page. A plain combo box steps through its entries when the wheel
// passes over it, which turned pages while the user scrolled.
class GotoPageList : public QComboBox {
public:
    using QComboBox::QComboBox;

protected:
    void wheelEvent(QWheelEvent* event) override { event->ignore(); }
};

// The platform's keys of a standard command and the given ones (Ctrl+= for
// Ctrl++ without Shift, Ctrl+W for Close), each once: a key bound twice to
// one action would be ambiguous and do nothing.
QList<QKeySequence> CommandKeys(QKeySequence::StandardKey standard, std::initializer_list<QKeyCombination> more) {
    QList<QKeySequence> keys = QKeySequence::keyBindings(standard);
    for (const QKeyCombination key : more)
        if (!keys.contains(QKeySequence(key))) keys << QKeySequence(key);
    return keys;
}

QPixmap ToolImage(int image) {
    static const QList<QPixmap> strip = ResourceImageList(res::kBitmapPreviewToolbar, 16);
    if (image >= 0 && image < strip.size()) return strip[image];
    return DrawnImage(image);
}

}  // namespace

QString CommandString(int id) {
    switch (id) {
        case cmd::kTopPage:
            return QStringLiteral("Top Page\nTop Page");
        case cmd::kPrePage:
            return QStringLiteral("Preview Page\nPre Page");
        case cmd::kGotoPage:
            return QStringLiteral("Goto Page\nGoto Page");
        case cmd::kNextPage:
            return QStringLiteral("Next Page\nNext Page");
        case cmd::kLastPage:
            return QStringLiteral("Last Page\nLast Page");
        case cmd::kPrint:
            return QStringLiteral("Print\nPrint");
        case cmd::kStartPage:
            return QStringLiteral("Start Page\nStart Page");
        case cmd::kEndPage:
            return QStringLiteral("End Page\nEnd Page");
        case cmd::kPrintSetup:
            return QStringLiteral("Print Setup\nPrint Setup");
        case cmd::kExit:
            return QStringLiteral("Exit Previous\nExit");
        case cmd::kZoomOut:
            return QStringLiteral("Zoom Out\nZoom Out");
        case cmd::kZoomIn:
            return QStringLiteral("Zoom In\nZoom In");
        case cmd::kFitPage:
            return QStringLiteral("Fit Page\nFit Page");
        case cmd::kFitWidth:
            return QStringLiteral("Fit Width\nFit Width");
        case cmd::kExportPdf:
            return QStringLiteral("Export PDF\nExport PDF...");
        default:
            return QString();
    }
}

QString ToolTipOf(const QString& commandString) {
    const qsizetype nl = commandString.indexOf(QLatin1Char('\n'));
    return nl < 0 ? QString() : commandString.mid(nl + 1);
}

CPrintToolBar::CPrintToolBar(QWidget* parent) : QToolBar(parent) {
    setObjectName(QStringLiteral("166"));
    setMovable(false);
    setFloatable(false);
    setIconSize(QSize(16, 15));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    // The frame paints its client area dark; the bar keeps the window colour.
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
}

QAction* CPrintToolBar::AddButton(int id, int image) {
    QAction* action = addAction(QIcon(ToolImage(image)), ToolTipOf(CommandString(id)));
    action->setObjectName(QString::number(id));
    action->setToolTip(ToolTipOf(CommandString(id)));
    if (QWidget* w = widgetForAction(action)) w->setObjectName(QString::number(id));
    connect(action, &QAction::triggered, this, [this, id] { emit commandTriggered(id); });
    m_actions[id] = action;
    return action;
}

bool CPrintToolBar::Create(int pageCount) {
    AddButton(cmd::kTopPage, res::kToolTopPage);
    AddButton(cmd::kPrePage, res::kToolPrePage);
    addSeparator();

    m_wndGotoPage = new GotoPageList(this);
    m_wndGotoPage->setObjectName(QString::number(cmd::kGotoPage));
    m_wndGotoPage->setEditable(false);
    m_wndGotoPage->setFixedWidth(kGotoWidth);
    m_wndGotoPage->setMaxVisibleItems(10);
    m_wndGotoPage->setToolTip(ToolTipOf(CommandString(cmd::kGotoPage)));
    FillGotoPage(pageCount);
    addWidget(m_wndGotoPage);
    addSeparator();

    AddButton(cmd::kNextPage, res::kToolNextPage);
    AddButton(cmd::kLastPage, res::kToolLastPage);
    addSeparator();
    AddButton(cmd::kPrint, res::kToolPrint);

    m_wndStartLabel = new QLabel(QStringLiteral("Start Page"), this);
    m_wndStartLabel->setObjectName(QString::number(cmd::kStartLabel));
    m_wndStartLabel->setFixedWidth(kLabelWidth);
    m_wndStartLabel->setAlignment(Qt::AlignCenter);
    addWidget(m_wndStartLabel);

    m_wndStartPage = new CLimitEdit(this);
    m_wndStartPage->setObjectName(QString::number(cmd::kStartPage));
    m_wndStartPage->setFixedWidth(kEditWidth);
    m_wndStartPage->SetLimitText(kEditLimit);
    m_wndStartPage->setText(QStringLiteral("1"));
    m_wndStartPage->setToolTip(ToolTipOf(CommandString(cmd::kStartPage)));
    addWidget(m_wndStartPage);

    m_wndEndLabel = new QLabel(QStringLiteral("End Page"), this);
    m_wndEndLabel->setObjectName(QString::number(cmd::kEndLabel));
    m_wndEndLabel->setFixedWidth(kLabelWidth);
    m_wndEndLabel->setAlignment(Qt::AlignCenter);
    addWidget(m_wndEndLabel);

    m_wndEndPage = new CLimitEdit(this);
    m_wndEndPage->setObjectName(QString::number(cmd::kEndPage));
    m_wndEndPage->setFixedWidth(kEditWidth);
    m_wndEndPage->SetLimitText(kEditLimit);
    m_wndEndPage->setText(QString::fromLatin1(FormatInt(pageCount).str()));
    m_wndEndPage->setToolTip(ToolTipOf(CommandString(cmd::kEndPage)));
    addWidget(m_wndEndPage);
    addSeparator();

    AddButton(cmd::kPrintSetup, res::kToolPrintSetup);
    addSeparator();
    AddButton(cmd::kExit, res::kToolExit)->setShortcuts(CommandKeys(QKeySequence::Close, {Qt::CTRL | Qt::Key_W}));

    // Zoom and export, after every item above so that none of them moves.
    addSeparator();
    AddButton(cmd::kZoomOut, kToolZoomOut)
        ->setShortcuts(CommandKeys(QKeySequence::ZoomOut, {Qt::CTRL | Qt::Key_Minus}));
    m_wndZoom = new QLabel(this);
    m_wndZoom->setObjectName(QString::number(cmd::kZoomLabel));
    m_wndZoom->setFixedWidth(kZoomWidth);
    m_wndZoom->setAlignment(Qt::AlignCenter);
    addWidget(m_wndZoom);
    SetZoom(1.0);
    AddButton(cmd::kZoomIn, kToolZoomIn)
        ->setShortcuts(CommandKeys(QKeySequence::ZoomIn, {Qt::CTRL | Qt::Key_Plus, Qt::CTRL | Qt::Key_Equal}));
    AddButton(cmd::kFitPage, kToolFitPage);
    AddButton(cmd::kFitWidth, kToolFitWidth);
    addSeparator();
    AddButton(cmd::kExportPdf, kToolExportPdf);
    return true;
}

void CPrintToolBar::SetZoom(double zoom) {
    if (m_wndZoom != nullptr) m_wndZoom->setText(QString::number(qRound(zoom * 100)) + QLatin1Char('%'));
}

void CPrintToolBar::FillGotoPage(int pageCount) {
    QStringList entries;
    entries.reserve(pageCount);
    for (int page = 1; page <= pageCount; ++page) entries << QString::fromLatin1(FormatMinDigits(page, 3).str());
    m_wndGotoPage->clear();
    m_wndGotoPage->addItems(entries);
    m_wndGotoPage->setCurrentIndex(0);
}

void CPrintToolBar::SetPageCount(int pageCount) {
    FillGotoPage(pageCount);
    m_wndStartPage->setText(QStringLiteral("1"));
    m_wndEndPage->setText(QString::fromLatin1(FormatInt(pageCount).str()));
}

QAction* CPrintToolBar::Action(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

QToolButton* CPrintToolBar::Button(int id) const {
    QAction* action = Action(id);
    return action == nullptr ? nullptr : qobject_cast<QToolButton*>(widgetForAction(action));
}

}  // namespace oront
