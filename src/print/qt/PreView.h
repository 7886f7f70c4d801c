// CPreView: the page window of the print preview, and the print job.
//
// It shows one report page at the screen's own resolution on a cyan
// background, re-rendering the page from the report table on every repaint,
// and scrolls with both bars and the wheel. PrintJob prints the page range
// the frame set (m_nStartPage..m_nEndPage) on a printer the user picks.
#pragma once

#include <QAbstractScrollArea>
#include <QBrush>
#include <QImage>
#include <QString>
#include <memory>

#include "print/ReportLayout.h"

class QPrinter;

namespace oront {

// Renders one preview page: an image of W x H millimetres at dX x dY dots a
// millimetre of a px x py screen, black at first; the callback paints the
// page white with the page frame and draws it. On a screen with a device
// pixel ratio above 1 the image holds that many pixels a dot and carries the
// ratio, so that it is drawn at the screen's own pixels instead of being
// magnified.
QImage RenderPreviewPage(const ReportCallbackFn& callback, const PrintRequest& request, int px, int py,
                         qreal devicePixelRatio = 1.0);

// Gives a printer the report's paper, g_nPageWidthMM x g_nPageHeightMM, in
// its orientation (landscape when the page is wider than high).
void SetReportPaper(QPrinter& printer);

// Page printer paper codes from Qt's page size ids (0 for papers without a
// code of their own, which printer setup treats as 210 x 297).
int PaperCodeFromPageSizeId(int qPageSizeId);

class CPreView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit CPreView(QWidget* parent = nullptr);
    ~CPreView() override;

    // Hands over the frame's request and callback.
    void SetRequest(const PrintRequest& request, ReportCallbackFn callback);

    // Scroll ranges from the page size and the client size; both positions
    // and offsets back to 0.
    void SetupScrollBars();
    // The paper changed: the page's size in dots and the scroll ranges
    // anew, and a repaint.
    void PageSizeChanged();

    // The print command once the frame accepted the page range.
    void PrintJob();
    // The printer dialog; the printer to print on, or none.
    std::unique_ptr<QPrinter> GetPrinterDC();

    // The wheel unit for n wheel scroll lines (120 / n); 0 lines switch the
    // wheel off. Taken from the system when the window is made.
    void SetWheelScrollLines(int lines);

    // The page as the next repaint shows it, at the screen's device pixel
    // ratio.
    [[nodiscard]] QImage RenderCurrentPage() const;

    // Page bookkeeping, written by the frame.
    ReportCallbackFn m_pfnCallback;
    PrintRequest m_request;
    int m_nRowCount = 0;
    int m_nPageCount = 0;
    int m_nCurPage = 1;
    int m_nStartPage = 1;
    int m_nEndPage = 1;
    int m_nPageWidthPx = 0;
    int m_nPageHeightPx = 0;
    int m_nScrollX = 0;
    int m_nScrollY = 0;
    int m_nWheelUnit = 0;
    int m_nWheelAccum = 0;
    QBrush m_brBackground;
    QString m_strPrinterName;
    int m_nDialogState = 0;

    static constexpr int kDialogDone = 100;
    static constexpr int kScrollLine = 15;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void UpdatePageSize();
};

}  // namespace oront
