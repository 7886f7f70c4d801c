#include "print/qt/PreView.h"

#include <QApplication>
#include <QFile>
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
#include "print/qt/ReportPrinter.h"
#include "records/CFormat.h"

namespace oront {

namespace {

const QColor kCyan(0, 255, 255);

}  // namespace

void SetReportPaper(QPrinter& printer) {
    printer.setPageSize(ReportPageSize());
    printer.setPageOrientation(ReportOrientation());
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
                         qreal devicePixelRatio, double zoom, const QRect& part) {
    const int width = g_nPageWidthMM * DotsPerMM(px);
    const int height = g_nPageHeightMM * DotsPerMM(py);
    if (width <= 0 || height <= 0 || zoom <= 0) return {};
    const QRect shown(0, 0, qRound(width * zoom), qRound(height * zoom));
    const QRect area = part.isNull() ? shown : part.intersected(shown);
    if (area.isEmpty()) return {};
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(qRound(area.width() * ratio), qRound(area.height() * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);  // the painter draws in dots, the image keeps pixels
    image.fill(Qt::black);
    if (callback) {
        QPainter painter(&image);
        if (area.topLeft() != QPoint()) painter.translate(-area.topLeft());
        if (zoom != 1.0) painter.scale(zoom, zoom);
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
    // The content: the page as shown with the margins around it. A bar is
    // needed when the content is at least as large as the client (a range
    // of 0..max with a page of P dots takes positions up to max - P + 1), and
    // the client loses a bar's width to the other bar when that one is
    // needed. The ranges are set for the client the bars leave, so that the
    // scroll area shows just those bars.
    const QSize shown = ShownPageSize();
    const int contentW = shown.width() + logicalDpiX() / 2;
    const int contentH = shown.height() + 20;
    const int barW = verticalScrollBar()->sizeHint().width();
    const int barH = horizontalScrollBar()->sizeHint().height();
    bool needH = contentW >= width();
    bool needV = contentH >= height();
    if (needV && !needH) needH = contentW >= width() - barW;
    if (needH && !needV) needV = contentH >= height() - barH;
    const int clientW = std::max(0, width() - (needV ? barW : 0));
    const int clientH = std::max(0, height() - (needH ? barH : 0));

    auto setup = [](QScrollBar* bar, int maximum, int page) {
        bar->setPageStep(std::max(page, 1));
        bar->setSingleStep(kScrollLine);
        bar->setRange(0, std::max(0, maximum - page + 1));
        bar->setValue(0);
    };
    setup(verticalScrollBar(), contentH, clientH);
    setup(horizontalScrollBar(), contentW, clientW);
    m_nScrollX = 0;
    m_nScrollY = 0;
}

QSize CPreView::ShownPageSize() const {
    return {qRound(m_nPageWidthPx * m_zoom), qRound(m_nPageHeightPx * m_zoom)};
}

QPoint CPreView::Centre() const {
    return viewport()->rect().center();
}

double CPreView::FitZoom(ZoomMode mode) const {
    if (m_nPageWidthPx <= 0 || m_nPageHeightPx <= 0) return m_zoom;
    // The largest zoom at which the content stays one dot smaller than the
    // client; Fit Width leaves room for the vertical bar when the page is
    // taller than the window.
    const double marginW = logicalDpiX() / 2;
    const double marginH = 20;
    double zoom = (width() - 1 - marginW) / m_nPageWidthPx;
    if (mode == ZoomMode::FitPage)
        zoom = std::min(zoom, (height() - 1 - marginH) / m_nPageHeightPx);
    else if (qRound(m_nPageHeightPx * zoom) + marginH >= height())
        zoom = (width() - verticalScrollBar()->sizeHint().width() - 1 - marginW) / m_nPageWidthPx;
    return std::clamp(zoom, kMinZoom, kMaxZoom);
}

QPoint CPreView::PageOrigin() const {
    // The page stands px / 4 and py / 8 dots from the top-left corner of the
    // scrolled content. A portrait page leaves most of the window beside it
    // empty: while it fits the window with its margins it is centred across
    // the window instead (a landscape page keeps its place).
    const int px = logicalDpiX();
    QPoint origin(px / 4, logicalDpiY() / 8);
    const QSize shown = ShownPageSize();
    const int free = viewport()->width() - shown.width();
    if (m_nPageHeightPx > m_nPageWidthPx && free >= px / 2) origin.setX(free / 2);
    return origin;
}

void CPreView::ApplyZoom(double zoom, ZoomMode mode, QPoint anchor) {
    const QPointF onPage = QPointF(anchor + QPoint(m_nScrollX, m_nScrollY) - PageOrigin()) / m_zoom;
    const bool changed = zoom != m_zoom;
    m_zoom = zoom;
    m_zoomMode = mode;
    SetupScrollBars();
    // A centred page does not scroll across, so the left margin serves for
    // the new position.
    const QPoint margin(logicalDpiX() / 4, logicalDpiY() / 8);
    const QPointF scroll = onPage * m_zoom + QPointF(margin - anchor);
    horizontalScrollBar()->setValue(qRound(scroll.x()));
    verticalScrollBar()->setValue(qRound(scroll.y()));
    viewport()->update();
    if (changed) emit zoomChanged(m_zoom);
}

void CPreView::SetZoom(double zoom) {
    ApplyZoom(std::clamp(zoom, kMinZoom, kMaxZoom), ZoomMode::Fixed, Centre());
}

double CPreView::NextZoomLevel(int direction) const {
    // The next level above (or below) the zoom; the zoom itself at the end
    // of the levels.
    if (direction > 0) {
        for (const double level : kZoomLevels)
            if (level > m_zoom + 1e-9) return level;
    } else {
        for (auto it = std::rbegin(kZoomLevels); it != std::rend(kZoomLevels); ++it)
            if (*it < m_zoom - 1e-9) return *it;
    }
    return m_zoom;
}

void CPreView::ZoomIn() {
    ApplyZoom(NextZoomLevel(+1), ZoomMode::Fixed, Centre());
}

void CPreView::ZoomOut() {
    ApplyZoom(NextZoomLevel(-1), ZoomMode::Fixed, Centre());
}

void CPreView::FitPage() {
    ApplyZoom(FitZoom(ZoomMode::FitPage), ZoomMode::FitPage, Centre());
}

void CPreView::FitWidth() {
    ApplyZoom(FitZoom(ZoomMode::FitWidth), ZoomMode::FitWidth, Centre());
}

void CPreView::RefitZoom() {
    if (m_zoomMode == ZoomMode::Fixed) return;
    const double zoom = FitZoom(m_zoomMode);
    if (zoom == m_zoom) return;
    m_zoom = zoom;
    emit zoomChanged(m_zoom);
}

void CPreView::PageSizeChanged() {
    UpdatePageSize();
    RefitZoom();
    SetupScrollBars();
    viewport()->update();
}

QImage CPreView::RenderCurrentPage(const QRect& part) const {
    PrintRequest request = m_request;
    if (m_pfnCallback) {
        request.nCurrentPage = m_nCurPage;
        const int rowsPerPage = request.nRowsPerPage > 0 ? request.nRowsPerPage : kRowsPerPage;
        request.nFirstRow = rowsPerPage * (m_nCurPage - 1) + 1;
        request.nLastRow = m_nCurPage == request.nPageCount ? request.nRowCount : rowsPerPage * m_nCurPage;
        request.nMode = 0;
    }
    return RenderPreviewPage(m_pfnCallback, request, logicalDpiX(), logicalDpiY(), viewport()->devicePixelRatioF(),
                             m_zoom, part);
}

void CPreView::paintEvent(QPaintEvent* /*event*/) {
    UpdatePageSize();
    // Only the part of the page the window shows is rendered: at a large
    // zoom the whole page would be many times the window's size.
    const QRect pageRect(PageOrigin() - QPoint(m_nScrollX, m_nScrollY), ShownPageSize());
    const QRect visible = pageRect.intersected(viewport()->rect());

    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), m_brBackground);
    if (visible.isEmpty()) return;
    const QImage page = RenderCurrentPage(visible.translated(-pageRect.topLeft()));
    if (!page.isNull()) painter.drawImage(visible.topLeft(), page);
}

void CPreView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    RefitZoom();
    SetupScrollBars();
    viewport()->update();
}

void CPreView::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (event->modifiers() & Qt::ControlModifier) {
        // Ctrl and the wheel: one zoom step a notch, about the pointer.
        m_zoomWheelAccum += event->angleDelta().y();
        const QPoint at = viewport()->mapFromGlobal(event->globalPosition().toPoint());
        for (; m_zoomWheelAccum >= 120; m_zoomWheelAccum -= 120) ApplyZoom(NextZoomLevel(+1), ZoomMode::Fixed, at);
        for (; m_zoomWheelAccum <= -120; m_zoomWheelAccum += 120) ApplyZoom(NextZoomLevel(-1), ZoomMode::Fixed, at);
        return;
    }
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

    if (!m_pfnCallback) return;
    m_request.nRowCount = m_nRowCount;
    m_request.nPageCount = m_nPageCount;
    m_request.nCurrentPage = m_nCurPage;
    m_request.nStartPage = m_nStartPage;
    m_request.nEndPage = m_nEndPage;
    m_request.nMode = 1;
    const auto showError = [](QWidget* owner, const std::string& text, std::string_view caption) {
        PrintUi().Message(owner, QString::fromLocal8Bit(text),
                          QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())),
                          CPrintUi::Icon::Error);
    };

    if (printer->outputFormat() == QPrinter::PdfFormat) {
        // A PDF file chosen in the printer dialog is written as Export PDF
        // writes it, through the one file writer: a file that cannot be
        // written says why and leaves no half-written file behind.
        ReportPrintOptions options;
        options.outPdf = QFile::encodeName(printer->outputFileName()).toStdString();
        options.firstPage = m_nStartPage;
        options.lastPage = m_nEndPage;
        options.owner = m_request.hOwnerWnd;
        std::string error;
        if (!PrintReportToDevice(m_pfnCallback, m_nRowCount, options, error))
            showError(this, error, report::kErrorCaption);
        return;
    }

    bool shown = false;
    QtReportSurface surface(printer.get(), printer.get());
    surface.SetErrorBox([&](void* owner, std::string_view text, std::string_view caption) {
        shown = true;
        showError(static_cast<QWidget*>(owner), std::string(text), caption);
    });
    m_pfnCallback(surface, m_request);
    // The queue may still refuse the job once the document has ended.
    if (shown) return;
    const std::string failure = PrintRunFailure(surface, printer.get());
    if (!failure.empty())
        showError(this, std::string(report::kPrintFailed) + " (" + failure + ")", report::kErrorCaption);
}

}  // namespace oront
