#include "print/qt/PreView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QScrollBar>
#include <QWheelEvent>
#include <algorithm>

#include "controls/qt/Resources.h"
#include "print/qt/PrintDialogs.h"
#include "print/qt/QtReportSurface.h"
#include "records/CFormat.h"

namespace oront {

namespace {

const QColor kCyan(0, 255, 255);

// The page size ids of the papers printer setup knows.
QPageSize::PageSizeId PageSizeIdForMM(int widthMM, int heightMM) {
    const int shortSide = std::min(widthMM, heightMM);
    const int longSide = std::max(widthMM, heightMM);
    struct Known {
        int w, h;
        QPageSize::PageSizeId id;
    };
    for (const Known k :
         {Known{297, 420, QPageSize::A3}, Known{210, 297, QPageSize::A4}, Known{148, 210, QPageSize::A5},
          Known{250, 354, QPageSize::B4}, Known{182, 257, QPageSize::JisB5}, Known{105, 148, QPageSize::A6}}) {
        if (k.w == shortSide && k.h == longSide) return k.id;
    }
    return QPageSize::Custom;
}

}  // namespace

void SetReportPaper(QPrinter& printer) {
    const QPageSize::PageSizeId id = PageSizeIdForMM(g_nPageWidthMM, g_nPageHeightMM);
    printer.setPageSize(id != QPageSize::Custom ? QPageSize(id)
                                                : QPageSize(QSizeF(std::min(g_nPageWidthMM, g_nPageHeightMM),
                                                                   std::max(g_nPageWidthMM, g_nPageHeightMM)),
                                                            QPageSize::Millimeter));
    printer.setPageOrientation(g_nPageWidthMM > g_nPageHeightMM ? QPageLayout::Landscape : QPageLayout::Portrait);
}

int PaperCodeFromPageSizeId(int qPageSizeId) {
    switch (static_cast<QPageSize::PageSizeId>(qPageSizeId)) {
        case QPageSize::A3:
            return paper::kA3;
        case QPageSize::A4:
            return paper::kA4;
        case QPageSize::A5:
            return paper::kA5;
        case QPageSize::B4:
        case QPageSize::JisB4:
            return paper::kB4;
        case QPageSize::B5:
        case QPageSize::JisB5:
            return paper::kB5;
        case QPageSize::A6:
            return paper::kA6;
        default:
            return 0;
    }
}

QImage RenderPreviewPage(const ReportCallbackFn& callback, const PrintRequest& request, int px, int py,
                         qreal devicePixelRatio) {
    const int width = g_nPageWidthMM * DotsPerMM(px);
    const int height = g_nPageHeightMM * DotsPerMM(py);
    if (width <= 0 || height <= 0) return {};
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(qRound(width * ratio), qRound(height * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);  // the painter draws in dots, the image keeps pixels
    image.fill(Qt::black);
    if (callback) {
        QPainter painter(&image);
        QtReportSurface surface(painter, px, py);
        callback(surface, request);
    }
    return image;
}

CPreView::CPreView(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName(QStringLiteral("168"));
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);

    UpdatePageSize();
    SetWheelScrollLines(QApplication::wheelScrollLines());
    const QPixmap pattern = ResourceBitmap(res::kBitmapPreviewBrush);
    m_brBackground = pattern.isNull() ? QBrush(kCyan) : QBrush(pattern);

    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value == m_nScrollY) return;
        m_nScrollY = value;
        viewport()->update();
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (value == m_nScrollX) return;
        m_nScrollX = value;
        viewport()->update();
    });
    SetupScrollBars();
}

CPreView::~CPreView() = default;

void CPreView::SetRequest(const PrintRequest& request, ReportCallbackFn callback) {
    m_request = request;
    m_pfnCallback = std::move(callback);
    m_nRowCount = request.nRowCount;
    m_nPageCount = request.nPageCount;
    m_nCurPage = request.nCurrentPage;
    m_nStartPage = request.nStartPage;
    m_nEndPage = request.nEndPage;
}

void CPreView::SetWheelScrollLines(int lines) {
    m_nWheelUnit = lines > 0 ? 120 / lines : 0;
    m_nWheelAccum = 0;
}

void CPreView::UpdatePageSize() {
    m_nPageWidthPx = g_nPageWidthMM * DotsPerMM(logicalDpiX());
    m_nPageHeightPx = g_nPageHeightMM * DotsPerMM(logicalDpiY());
}

void CPreView::SetupScrollBars() {
    // A bar of range 0..max with a page of P dots can take positions up to
    // max - P + 1. The bars' signals stay on: the scroll area shows a bar
    // only when it learns that the bar's range is not empty.
    auto setup = [](QScrollBar* bar, int maximum, int page) {
        bar->setPageStep(std::max(page, 1));
        bar->setSingleStep(kScrollLine);
        bar->setRange(0, std::max(0, maximum - page + 1));
        bar->setValue(0);
    };
    setup(verticalScrollBar(), m_nPageHeightPx + 20, viewport()->height());
    setup(horizontalScrollBar(), m_nPageWidthPx + logicalDpiX() / 2, viewport()->width());
    m_nScrollX = 0;
    m_nScrollY = 0;
}

void CPreView::PageSizeChanged() {
    UpdatePageSize();
    SetupScrollBars();
    viewport()->update();
}

QImage CPreView::RenderCurrentPage() const {
    PrintRequest request = m_request;
    if (m_pfnCallback) {
        request.nCurrentPage = m_nCurPage;
        const int rowsPerPage = request.nRowsPerPage > 0 ? request.nRowsPerPage : kRowsPerPage;
        request.nFirstRow = rowsPerPage * (m_nCurPage - 1) + 1;
        request.nLastRow = m_nCurPage == request.nPageCount ? request.nRowCount : rowsPerPage * m_nCurPage;
        request.nMode = 0;
    }
    return RenderPreviewPage(m_pfnCallback, request, logicalDpiX(), logicalDpiY(), viewport()->devicePixelRatioF());
}

void CPreView::paintEvent(QPaintEvent* /*event*/) {
    const int px = logicalDpiX();
    const int py = logicalDpiY();
    UpdatePageSize();
    const QImage page = RenderCurrentPage();

    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), m_brBackground);
    if (!page.isNull()) painter.drawImage(QPoint(px / 4 - m_nScrollX, py / 8 - m_nScrollY), page);
}

void CPreView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    SetupScrollBars();
    viewport()->update();
}

bool CPreView::viewportEvent(QEvent* event) {
    // A scroll bar that comes or goes changes the client size: the ranges
    // follow it.
    if (event->type() == QEvent::Resize) SetupScrollBars();
    return QAbstractScrollArea::viewportEvent(event);
}

void CPreView::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (m_nWheelUnit <= 0) return;  // wheel scroll lines 0: the wheel is off
    m_nWheelAccum += event->angleDelta().y();
    while (m_nWheelAccum >= m_nWheelUnit) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        m_nWheelAccum -= m_nWheelUnit;
    }
    while (m_nWheelAccum <= -m_nWheelUnit) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        m_nWheelAccum += m_nWheelUnit;
    }
}

void CPreView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) setFocus(Qt::MouseFocusReason);
    QAbstractScrollArea::mousePressEvent(event);
}

std::unique_ptr<QPrinter> CPreView::GetPrinterDC() {
    m_strPrinterName.clear();
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    if (!defaultPrinter.isNull()) {
        printer->setPrinterName(defaultPrinter.printerName());
        m_strPrinterName = defaultPrinter.printerName();
    }
    // Start from the report's page: A4 landscape unless printer setup chose
    // another paper.
    SetReportPaper(*printer);

    CPrintUi::DialogResult result = PrintUi().PrintDialog(*printer, window());
    if (result != CPrintUi::DialogResult::Error) {
        m_nDialogState = kDialogDone;
        if (result == CPrintUi::DialogResult::Ok) return printer;
        return nullptr;
    }
    PrintUi().Message(window(), QStringLiteral("Failed to read the printer information, please select manually!"),
                      QString(), CPrintUi::Icon::None);
    // A printer picked in the second dialog is used as well.
    auto second = std::make_unique<QPrinter>(QPrinter::HighResolution);
    result = PrintUi().PrintDialog(*second, window());
    if (result == CPrintUi::DialogResult::Ok) return second;
    return nullptr;
}

void CPreView::PrintJob() {
    const QString range =
        QString::fromLatin1("Print from page " + FormatInt(m_nStartPage) + " to " + FormatInt(m_nEndPage) + " ");
    if (!PrintUi().AskYesNo(this, range, QStringLiteral("Print the prompt?"))) return;

    std::unique_ptr<QPrinter> printer = GetPrinterDC();
    if (!printer) {
        if (m_nDialogState == kDialogDone) {
            m_nDialogState = 0;  // the user cancelled the dialog
            return;
        }
        PrintUi().Message(this, QStringLiteral("Failed to initiate the printer!"), QStringLiteral("Error."),
                          CPrintUi::Icon::Error);
        return;
    }

    QtReportSurface surface(printer.get(), printer.get());
    surface.SetErrorBox([](void* owner, std::string_view text, std::string_view caption) {
        PrintUi().Message(
            static_cast<QWidget*>(owner), QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())),
            QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())), CPrintUi::Icon::Error);
    });
    if (m_pfnCallback) {
        m_request.nRowCount = m_nRowCount;
        m_request.nPageCount = m_nPageCount;
        m_request.nCurrentPage = m_nCurPage;
        m_request.nStartPage = m_nStartPage;
        m_request.nEndPage = m_nEndPage;
        m_request.nMode = 1;
        m_pfnCallback(surface, m_request);
    }
}

}  // namespace oront
