// The report surface over a QPainter: screen images for the preview, and
// QPrinter / QPdfWriter for print runs.
//
// Positions are device pixels of the paint device. Fonts are made by pixel
// height (the absolute value of the requested height); "Arial" resolves
// through fontconfig to a metric-compatible face where Arial itself is not
// installed.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "print/ReportLayout.h"

class QPagedPaintDevice;
class QPrinter;

namespace oront {

class QtReportSurface : public ReportSurface {
public:
    using ErrorBoxFn = std::function<void(void* owner, std::string_view text, std::string_view caption)>;

    // A screen surface: the painter is already active on an image, which is
    // treated as a device of dpiX x dpiY dots per inch.
    QtReportSurface(QPainter& painter, int dpiX, int dpiY);
    // A printer surface on a paged device (QPrinter or QPdfWriter). The
    // painter starts with StartDoc; pass the QPrinter as well (or nullptr for
    // a QPdfWriter) so that AbortDoc can abort the job.
    QtReportSurface(QPagedPaintDevice* device, QPrinter* printer);
    ~QtReportSurface() override;

    QtReportSurface(const QtReportSurface&) = delete;
    QtReportSurface& operator=(const QtReportSurface&) = delete;

    // Shows the print run's failure messages; without one they are dropped.
    void SetErrorBox(ErrorBoxFn fn) { m_errorBox = std::move(fn); }

    [[nodiscard]] bool HasOutputDevice() const override;
    [[nodiscard]] int DpiX() const override { return m_dpiX; }
    [[nodiscard]] int DpiY() const override { return m_dpiY; }

    FontId CreateFont(int height, int weight, std::string_view face, int quality, int pitchAndFamily) override;
    FontId SelectFont(FontId font) override;
    void DeleteFont(FontId font) override;
    PenId CreatePen(int width) override;
    PenId SelectPen(PenId pen) override;
    void DeletePen(PenId pen) override;

    void DrawText(std::string_view text, const DeviceRect& rect, TextAlign align) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(const DeviceRect& rect) override;

    int StartDoc(std::string_view docName) override;
    int EndDoc() override;
    int StartPage() override;
    int EndPage() override;
    int AbortDoc() override;
    void ErrorBox(void* owner, std::string_view text, std::string_view caption) override;

    // Pages started so far in this document.
    [[nodiscard]] int PagesStarted() const { return m_pages; }
    // The device did not take the document when EndDoc ended it.
    [[nodiscard]] bool EndDocFailed() const { return m_endDocFailed; }

private:
    struct FontSlot {
        explicit FontSlot(const QFont& f) : font(f) {}
        QFont font;
        std::optional<QFontMetricsF> metrics;  // for the paint device, made on first use
        bool live = true;
        // Widths of texts drawn before: a report repeats its titles, sizes,
        // units and modes on every page.
        std::unordered_map<std::string, qreal> widths;
    };
    void ApplyFont();
    const QFontMetricsF& Metrics();
    qreal TextWidth(std::string_view text, const QString& s);

    QPainter* m_painter = nullptr;
    std::unique_ptr<QPainter> m_ownPainter;  // printer surfaces
    QPagedPaintDevice* m_device = nullptr;
    QPrinter* m_printer = nullptr;
    int m_dpiX = 96;
    int m_dpiY = 96;
    std::vector<FontSlot> m_fonts;            // slot 0: the painter's own font
    std::vector<std::optional<QPen>> m_pens;  // slot 0: solid black, one dot
    FontId m_curFont = 0;
    PenId m_curPen = 0;
    QPoint m_pos;
    int m_pages = 0;
    bool m_docOpen = false;
    bool m_endDocFailed = false;
    ErrorBoxFn m_errorBox;
};

}  // namespace oront
