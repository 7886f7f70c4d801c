// A trend chart drawn by the program itself (with QPainter, or as SVG text):
// each cycle a point, each location mean a square, the class or grade limit
// a dashed red line, the room's alert limit a dotted amber line and its
// action limit a dash-dotted red one, the cycles above them amber and red
// points; and the same chart written as a PNG, SVG or PDF file. Both axes
// carry ticks at round values, made again whenever the shown range changes
// (a zoom or a pan): times at round seconds, minutes, hours, days, months or
// years, labelled with what the span needs; values in steps of 1, 2 or 5
// times a power of ten, with thousands separated by commas. The chart needs
// no charting library, so it draws the same on every platform.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "archive/Trend.h"

QT_BEGIN_NAMESPACE
class QPainter;
QT_END_NAMESPACE

namespace oront::archive {

// A part of the time and value axes (the view zoomed or panned); none: all.
struct TrendRange {
    qint64 fromMs = 0;  // the axis' milliseconds
    qint64 toMs = 0;
    double low = 0.0;
    double high = 0.0;
};

// The chart's milliseconds of a trend time: the instrument's clock counted
// as UTC, as the trend counts it, and shown as UTC, so that the axis and the
// pointer's readout show the figures the instrument stored (no time zone and
// no daylight-saving shift in between).
qint64 TrendAxisMs(std::int64_t seconds);

// A value rounded to `decimals` places with thousands separated by commas
// and a decimal point ("2,950,000", "0.5"), the same in any locale.
QString GroupedNumber(double value, int decimals = 0);

// "Location 3, 0.5 µm (1,234 cycles)" ("Location 3 – beside the filling
// needle (Filling room 2), 0.5 µm (87 cycles)" where the register names it)
// and the limit's note, if any.
QString TrendTitle(const Trend& trend);

// What the chart draws on: a QPainter or an SVG document.
class ChartCanvas {
public:
    enum class Align { Left, Centre, Right };
    virtual ~ChartCanvas() = default;
    virtual void Line(const QPointF& from, const QPointF& to, const QColor& colour, qreal width,
                      Qt::PenStyle style) = 0;
    // A rectangle filled with `fill` (none when invalid) and outlined with
    // `border` (none when invalid).
    virtual void Box(const QRectF& box, const QColor& fill, const QColor& border) = 0;
    // A mark of `size` pixels across centred on `at`: a disc or a square.
    virtual void Mark(const QPointF& at, qreal size, bool square, const QColor& fill, const QColor& border) = 0;
    // Text on the baseline through `at`, aligned there as `align` says;
    // turned a quarter anticlockwise when `upright`.
    virtual void Text(const QPointF& at, Align align, const QString& text, const QFont& font, const QColor& colour,
                      bool upright = false) = 0;
    // What follows is drawn within `area` only, until NoClip.
    virtual void Clip(const QRectF& area) = 0;
    virtual void NoClip() = 0;
};

class TrendChart {
public:
    enum class Kind { Cycles, Means, Limit };
    // A series as the legend names it: the points of the cycles of one
    // level or the location means (in time order), or a limit's level.
    struct Series {
        QString name;
        Kind kind = Kind::Cycles;
        QColor colour;
        QColor border;
        qreal markSize = 0;  // pixels across (cycles and means)
        Qt::PenStyle style = Qt::SolidLine;
        QList<QPointF> points;  // (axis ms, per m³)
        double level = 0;       // the limit's value
    };
    // A label as drawn: its box in the chart's pixels and its text.
    struct Label {
        QRectF box;
        QString text;
    };

    // The chart of `trend` at `size` pixels, showing `range` if given.
    explicit TrendChart(const Trend& trend, const std::optional<TrendRange>& range = std::nullopt,
                        const QSizeF& size = QSizeF(1600, 900));

    [[nodiscard]] const QString& Title() const { return m_title; }
    [[nodiscard]] const std::vector<Series>& AllSeries() const { return m_series; }
    // The first series whose name starts with `name`; none: nullptr.
    [[nodiscard]] const Series* Named(const QString& name) const;

    [[nodiscard]] TrendRange Range() const { return m_range; }
    void SetRange(const TrendRange& range);
    // Shows everything again.
    void ZoomReset() { SetRange(m_full); }
    // Shows what the rectangle `area` (the chart's pixels) covers now.
    void ZoomIn(const QRectF& area);
    // Moves the shown range by `dx` pixels to later times and `dy` pixels to
    // higher values.
    void Scroll(qreal dx, qreal dy);

    void Resize(const QSizeF& size);
    [[nodiscard]] QSizeF Size() const { return m_size; }
    [[nodiscard]] QRectF PlotArea() const { return m_plot; }
    [[nodiscard]] QPointF MapToPosition(const QPointF& value) const;
    [[nodiscard]] QPointF MapToValue(const QPointF& position) const;
    [[nodiscard]] const std::vector<Label>& TimeLabels() const { return m_timeLabels; }
    [[nodiscard]] const std::vector<Label>& ValueLabels() const { return m_valueLabels; }
    [[nodiscard]] const QString& TimeTitle() const { return m_timeTitle; }

    void Paint(ChartCanvas& canvas) const;
    void Paint(QPainter& painter) const;
    // The chart as an SVG document, the same bytes in any locale.
    [[nodiscard]] QByteArray Svg() const;

private:
    void Layout();

    QString m_title;
    QString m_valueTitle;
    QString m_timeTitle;
    std::vector<Series> m_series;
    TrendRange m_full;
    TrendRange m_range;
    QSizeF m_size;
    QFont m_titleFont;
    QFont m_labelFont;
    QRectF m_plot;
    bool m_legendRight = false;
    std::vector<Label> m_timeLabels;
    std::vector<Label> m_valueLabels;
    std::vector<double> m_timeTicks;  // axis ms of the time labels' grid lines
    std::vector<double> m_valueTicks;
};

// Draws the trend as `suffix` says ("png", "svg" or "pdf", in any case;
// 1600x900 pixels, or an A4 landscape page) into `bytes`. false with the
// reason in `error`.
bool RenderTrendChart(const Trend& trend, const std::optional<TrendRange>& range, const QString& suffix,
                      QByteArray& bytes, QString& error);

// Writes the trend into the file `path` (the name's own bytes, as the system
// takes them) as its suffix says, through OutputFile: a device or FIFO is
// written, never replaced, and a failure leaves no partial file. The file is
// opened before the chart is drawn, so that a name that cannot be written
// fails first. false with the reason in `error` ("No such file or directory:
// /path" where the file cannot be written).
bool ExportTrendChart(const Trend& trend, const std::optional<TrendRange>& range, const std::string& path,
                      std::string& error);

}  // namespace oront::archive
