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
// magnified. A zoom other than 1 draws the page that many times larger (the
// same page in dots, magnified before it is rasterised). With `part` (in
// dots of the page as shown) only that part of the page is rendered, which
// is all a window shows of a large zoom.
QImage RenderPreviewPage(const ReportCallbackFn& callback, const PrintRequest& request, int px, int py,
                         qreal devicePixelRatio = 1.0, double zoom = 1.0, const QRect& part = QRect());

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

    // Scroll ranges from the page size as shown and the client size; both
    // positions and offsets back to 0. A bar is shown exactly when the page
    // does not fit beside the other bar.
    void SetupScrollBars();
    // The paper changed: the page's size in dots, the zoom of Fit Page or
    // Fit Width and the scroll ranges anew, and a repaint.
    void PageSizeChanged();

    // The print command once the frame accepted the page range.
    void PrintJob();
    // The printer dialog; the printer to print on, or none.
    std::unique_ptr<QPrinter> GetPrinterDC();

    // The wheel unit for n wheel scroll lines (120 / n); 0 lines switch the
    // wheel off. Taken from the system when the window is made.
    void SetWheelScrollLines(int lines);

    // The page as the next repaint shows it, at the screen's device pixel
    // ratio and the zoom (or the part of it given in dots of the page as
    // shown).
    [[nodiscard]] QImage RenderCurrentPage(const QRect& part = QRect()) const;

    // Zoom. The page is shown at its size in dots times the zoom, from 25 %
    // to 400 %; zooming in and out steps through kZoomLevels. Fit Page and
    // Fit Width choose the zoom at which the page (or its width) fits the
    // window without scrolling, and keep fitting it when the window's size
    // changes, until another zoom is chosen. Ctrl with the wheel zooms by one
    // step a notch, keeping the point under the pointer in place.
    enum class ZoomMode { Fixed, FitPage, FitWidth };
    static constexpr double kZoomLevels[] = {0.25, 0.5, 0.75, 1.0, 1.25, 1.5, 2.0, 3.0, 4.0};
    static constexpr double kMinZoom = 0.25;
    static constexpr double kMaxZoom = 4.0;
    void ZoomIn();
    void ZoomOut();
    void FitPage();
    void FitWidth();
    void SetZoom(double zoom);
    [[nodiscard]] double Zoom() const { return m_zoom; }
    // The page's size in dots as shown at the zoom.
    [[nodiscard]] QSize ShownPageSize() const;

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

signals:
    void zoomChanged(double zoom);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void UpdatePageSize();
    // Shows the page at `zoom`, keeping the page's point at `anchor` (in the
    // window) in place.
    void ApplyZoom(double zoom, ZoomMode mode, QPoint anchor);
    [[nodiscard]] double FitZoom(ZoomMode mode) const;
    [[nodiscard]] double NextZoomLevel(int direction) const;
    // In Fit Page or Fit Width: the zoom for the window's and the page's
    // size now.
    void RefitZoom();
    [[nodiscard]] QPoint Centre() const;
    // Where the page stands in the scrolled content (before the scroll
    // offsets): (px / 4, py / 8), or centred across the window for a
    // portrait page that fits it.
    [[nodiscard]] QPoint PageOrigin() const;

    double m_zoom = 1.0;
    ZoomMode m_zoomMode = ZoomMode::Fixed;
    int m_zoomWheelAccum = 0;
};

}  // namespace oront
