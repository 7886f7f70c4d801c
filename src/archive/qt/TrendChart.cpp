#include "archive/qt/TrendChart.h"

#include <QBuffer>
#include <QDateTime>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <vector>

#include "base/OutputFile.h"
#include "classify/ClassifyText.h"

namespace oront::archive {
namespace {

constexpr int kExportWidth = 1600;
constexpr int kExportHeight = 900;
// The room's alert and action limits and the cycles above them.
const QColor kAlertColour(0xe6, 0x9f, 0x00);
const QColor kActionColour(0xd5, 0x5e, 0x00);
const QColor kGridColour(0xe4, 0xe4, 0xe4);
const QColor kAxisColour(0x80, 0x80, 0x80);
const QColor kTextColour(0x20, 0x20, 0x20);

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr char kSuffixError[] = "the file name must end in .png, .svg or .pdf";

bool IsChartSuffix(const QString& suffix) {
    return suffix == QLatin1String("png") || suffix == QLatin1String("svg") || suffix == QLatin1String("pdf");
}

// What follows the last dot of the file's own name, in lower case.
QString SuffixOf(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    const std::size_t slash = path.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    return QString::fromLatin1(path.substr(dot + 1)).toLower();
}

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;
// At most this many steps between the time ticks; fewer where a label holds
// the date and the time (the labels would not fit).
constexpr int kTimeSteps = 7;
constexpr int kLongTimeSteps = 4;
// At most this many steps between the value ticks.
constexpr int kValueSteps = 8;
// The value axis reaches this part of its height below 0, so that the marks
// of points at 0 show whole above the time axis.
constexpr double kBelowZero = 0.03;

// A step of the time ticks: a fixed number of milliseconds, or of calendar
// months (a year is 12).
struct TimeStep {
    qint64 ms;
    int months;
};
constexpr qint64 kFixedSteps[] = {kSecond,  2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 30 * kSecond,
                                  kMinute,  2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
                                  kHour,    2 * kHour,   3 * kHour,   6 * kHour,    12 * kHour,   kDay,
                                  2 * kDay, 7 * kDay,    14 * kDay};
constexpr int kMonthSteps[] = {1, 2, 3, 6, 12, 24, 60, 120, 300, 600, 1200};
// 1970-01-05, the first Monday after the epoch: weeks start on Mondays.
constexpr qint64 kFirstMonday = 4 * kDay;

QDateTime AxisTime(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC);
}

qint64 StepLength(const TimeStep& step) {
    return step.months > 0 ? step.months * 30 * kDay + step.months * kDay / 2 : step.ms;
}

// The shortest step that cuts `span` into few enough parts (fewer where the
// labels hold the date and the time: they would not fit).
TimeStep ChooseStep(qint64 span, bool oneDay) {
    for (const qint64 ms : kFixedSteps) {
        const bool longLabels = ms < kDay && !oneDay;
        if (span <= ms * (longLabels ? kLongTimeSteps : kTimeSteps)) return {ms, 0};
    }
    for (const int months : kMonthSteps)
        if (span <= StepLength({0, months}) * kTimeSteps) return {0, months};
    return {0, kMonthSteps[std::size(kMonthSteps) - 1]};
}

// The ticks of `step` from `from` to `to`.
std::vector<qint64> TimeTicks(const TimeStep& step, qint64 from, qint64 to) {
    std::vector<qint64> ticks;
    if (step.months > 0) {
        const QDate first = AxisTime(from).date();
        int index = first.year() * 12 + first.month() - 1;  // months since the year 0
        index += (step.months - index % step.months) % step.months;
        for (int n = 0; n < 100; ++n, index += step.months) {
            const qint64 ms = QDateTime(QDate(index / 12, index % 12 + 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
            if (ms > to) break;
            if (ms >= from) ticks.push_back(ms);
        }
        return ticks;
    }
    const qint64 offset = step.ms % (7 * kDay) == 0 ? kFirstMonday : 0;
    const auto floorDiv = [](qint64 a, qint64 b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); };
    for (qint64 ms = (floorDiv(from - offset - 1, step.ms) + 1) * step.ms + offset; ms <= to; ms += step.ms)
        ticks.push_back(ms);
    return ticks;
}

// The time labels of the ticks at round times for the span shown, each
// centred on its tick below the plot. Dates for steps of days and more; the
// times of day for shorter steps, with the date in the axis title when the
// whole span lies within one day, in each label when not. A tick so near an
// end of the axis that its label would leave the chart is left out.
void TimeAxis(const TrendRange& range, const QRectF& plot, qreal chartWidth, const QFontMetricsF& metrics,
              std::vector<TrendChart::Label>& labels, std::vector<double>& ticks, QString& title) {
    labels.clear();
    ticks.clear();
    title = QStringLiteral("Date and time of the cycle");
    const qint64 from = range.fromMs;
    const qint64 to = range.toMs;
    if (to <= from) return;
    const bool oneDay = AxisTime(from).date() == AxisTime(to).date();
    const TimeStep step = ChooseStep(to - from, oneDay);
    QString format = QStringLiteral("yyyy-MM-dd");
    if (step.months == 0 && step.ms < kDay) {
        format = step.ms < kMinute ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm");
        if (oneDay)
            title =
                QStringLiteral("Time of the cycle on %1").arg(AxisTime(from).toString(QStringLiteral("yyyy-MM-dd")));
        else
            format.prepend(QStringLiteral("yyyy-MM-dd "));
    }
    const double pixelsPerMs = plot.width() / static_cast<double>(to - from);
    for (const qint64 tick : TimeTicks(step, from, to)) {
        const QString text = AxisTime(tick).toString(format);
        const qreal width = metrics.horizontalAdvance(text);
        const qreal x = plot.left() + static_cast<double>(tick - from) * pixelsPerMs;
        ticks.push_back(static_cast<double>(tick));
        if (x - width / 2 < 2.0 || x + width / 2 > chartWidth - 2.0) continue;
        labels.push_back({QRectF(x - width / 2, plot.bottom() + 6, width, metrics.height()), text});
    }
}

// The step of 1, 2 or 5 times a power of ten that cuts `span` into at most
// `steps` parts.
double RoundStep(double span, int steps) {
    const double least = span / steps;
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (const double factor : {1.0, 2.0, 5.0})
        if (factor * power >= least) return factor * power;
    return 10.0 * power;
}

// The decimals a limit needs (up to 2): none for whole particles.
int DecimalsOf(double value) {
    for (int decimals = 0; decimals < 2; ++decimals) {
        const double scale = std::pow(10.0, decimals);
        if (std::abs(std::round(value * scale) - value * scale) < 1e-6) return decimals;
    }
    return 2;
}

// The value ticks at round values from `low` to `high`, labelled with
// thousands separated by commas.
std::vector<std::pair<double, QString>> ValueTicks(double low, double high) {
    std::vector<std::pair<double, QString>> ticks;
    if (!(high > low) || !std::isfinite(high - low)) return ticks;
    const double step = RoundStep(high - low, kValueSteps);
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    for (auto k = static_cast<long long>(std::ceil(low / step)); static_cast<double>(k) * step <= high; ++k) {
        const double tick = static_cast<double>(k) * step;
        ticks.emplace_back(tick, GroupedNumber(tick, decimals));
    }
    return ticks;
}

// The legend's mark of a series: its point, square or a piece of its line.
void LegendMark(ChartCanvas& canvas, const TrendChart::Series& s, const QPointF& centre) {
    if (s.kind == TrendChart::Kind::Limit)
        canvas.Line(centre - QPointF(11, 0), centre + QPointF(11, 0), s.colour, 2.0, s.style);
    else
        canvas.Mark(centre, std::max<qreal>(s.markSize, 7), s.kind == TrendChart::Kind::Means, s.colour, s.border);
}

constexpr qreal kMargin = 12;
constexpr qreal kLegendMark = 24;  // the room of a legend entry's mark
constexpr qreal kLegendGap = 18;   // between entries in a row

// A number as SVG writes it: at most two decimals, no trailing zeros, a
// point in any locale.
QByteArray SvgNumber(double value) {
    QByteArray text = QByteArray::number(std::round(value * 100.0) / 100.0, 'f', 2);
    while (text.endsWith('0')) text.chop(1);
    if (text.endsWith('.')) text.chop(1);
    return text == "-0" ? QByteArray("0") : text;
}

QByteArray SvgColour(const QColor& colour) {
    return colour.name(QColor::HexRgb).toLatin1();
}

QByteArray SvgText(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

// The dashes of a pen style in multiples of the pen's width, as Qt draws
// them.
QByteArray SvgDashes(Qt::PenStyle style, qreal width) {
    std::vector<double> pattern;
    if (style == Qt::DashLine) pattern = {4, 2};
    if (style == Qt::DotLine) pattern = {1, 2};
    if (style == Qt::DashDotLine) pattern = {4, 2, 1, 2};
    QByteArray dashes;
    for (const double part : pattern) dashes += (dashes.isEmpty() ? "" : " ") + SvgNumber(part * width);
    return dashes.isEmpty() ? dashes : " stroke-dasharray=\"" + dashes + "\"";
}

class SvgCanvas : public ChartCanvas {
public:
    QByteArray body;

    void Line(const QPointF& from, const QPointF& to, const QColor& colour, qreal width, Qt::PenStyle style) override {
        body += "<line x1=\"" + SvgNumber(from.x()) + "\" y1=\"" + SvgNumber(from.y()) + "\" x2=\"" +
                SvgNumber(to.x()) + "\" y2=\"" + SvgNumber(to.y()) + "\" stroke=\"" + SvgColour(colour) +
                "\" stroke-width=\"" + SvgNumber(width) + "\"" + SvgDashes(style, width) + "/>\n";
    }
    void Box(const QRectF& box, const QColor& fill, const QColor& border) override {
        body += "<rect x=\"" + SvgNumber(box.x()) + "\" y=\"" + SvgNumber(box.y()) + "\" width=\"" +
                SvgNumber(box.width()) + "\" height=\"" + SvgNumber(box.height()) + "\" fill=\"" +
                (fill.isValid() ? SvgColour(fill) : QByteArray("none")) + "\"" +
                (border.isValid() ? " stroke=\"" + SvgColour(border) + "\"" : QByteArray()) + "/>\n";
    }
    void Mark(const QPointF& at, qreal size, bool square, const QColor& fill, const QColor& border) override {
        const QByteArray paint = " fill=\"" + SvgColour(fill) + "\" stroke=\"" + SvgColour(border) + "\"/>\n";
        if (square)
            body += "<rect x=\"" + SvgNumber(at.x() - size / 2) + "\" y=\"" + SvgNumber(at.y() - size / 2) +
                    "\" width=\"" + SvgNumber(size) + "\" height=\"" + SvgNumber(size) + "\"" + paint;
        else
            body += "<circle cx=\"" + SvgNumber(at.x()) + "\" cy=\"" + SvgNumber(at.y()) + "\" r=\"" +
                    SvgNumber(size / 2) + "\"" + paint;
    }
    void Text(const QPointF& at, Align align, const QString& text, const QFont& font, const QColor& colour,
              bool upright) override {
        const char* anchor = align == Align::Left ? "start" : align == Align::Centre ? "middle" : "end";
        body += "<text x=\"" + SvgNumber(at.x()) + "\" y=\"" + SvgNumber(at.y()) + "\" font-family=\"" +
                SvgText(font.family()) + ", sans-serif\" font-size=\"" + SvgNumber(font.pixelSize()) + "px\"" +
                (font.bold() ? " font-weight=\"bold\"" : "") + " text-anchor=\"" + anchor + "\" fill=\"" +
                SvgColour(colour) + "\"" +
                (upright ? " transform=\"rotate(-90 " + SvgNumber(at.x()) + " " + SvgNumber(at.y()) + ")\""
                         : QByteArray()) +
                ">" + SvgText(text) + "</text>\n";
    }
    void Clip(const QRectF& area) override {
        const QByteArray id = "clip" + QByteArray::number(++m_clips);
        // In its defs, so that a viewer without clipping draws the marks
        // unclipped rather than the clip's rectangle.
        body += "<defs><clipPath id=\"" + id + "\"><rect x=\"" + SvgNumber(area.x()) + "\" y=\"" + SvgNumber(area.y()) +
                "\" width=\"" + SvgNumber(area.width()) + "\" height=\"" + SvgNumber(area.height()) +
                "\"/></clipPath></defs>\n<g clip-path=\"url(#" + id + ")\">\n";
    }
    void NoClip() override { body += "</g>\n"; }

private:
    int m_clips = 0;
};

class PainterCanvas : public ChartCanvas {
public:
    explicit PainterCanvas(QPainter& painter) : m_painter(painter) {
        m_painter.setRenderHint(QPainter::Antialiasing);
        m_painter.setRenderHint(QPainter::TextAntialiasing);
    }

    void Line(const QPointF& from, const QPointF& to, const QColor& colour, qreal width, Qt::PenStyle style) override {
        QPen pen(colour, width, style, Qt::FlatCap);
        m_painter.setPen(pen);
        m_painter.drawLine(from, to);
    }
    void Box(const QRectF& box, const QColor& fill, const QColor& border) override {
        m_painter.setPen(border.isValid() ? QPen(border, 1.0) : QPen(Qt::NoPen));
        m_painter.setBrush(fill.isValid() ? QBrush(fill) : QBrush(Qt::NoBrush));
        m_painter.drawRect(box);
    }
    void Mark(const QPointF& at, qreal size, bool square, const QColor& fill, const QColor& border) override {
        m_painter.setPen(QPen(border, 1.0));
        m_painter.setBrush(fill);
        if (square)
            m_painter.drawRect(QRectF(at.x() - size / 2, at.y() - size / 2, size, size));
        else
            m_painter.drawEllipse(at, size / 2, size / 2);
    }
    void Text(const QPointF& at, Align align, const QString& text, const QFont& font, const QColor& colour,
              bool upright) override {
        const qreal width = QFontMetricsF(font).horizontalAdvance(text);
        const qreal shift = align == Align::Left ? 0.0 : align == Align::Centre ? -width / 2 : -width;
        m_painter.setFont(font);
        m_painter.setPen(colour);
        m_painter.save();
        m_painter.translate(at);
        if (upright) m_painter.rotate(-90);
        m_painter.drawText(QPointF(shift, 0), text);
        m_painter.restore();
    }
    void Clip(const QRectF& area) override { m_painter.setClipRect(area); }
    void NoClip() override { m_painter.setClipping(false); }

private:
    QPainter& m_painter;
};

}  // namespace

QString GroupedNumber(double value, int decimals) {
    decimals = std::clamp(decimals, 0, 6);
    const long long scaled = std::llround(std::abs(value) * std::pow(10.0, decimals));
    QString digits = QString::number(scaled).rightJustified(decimals + 1, QLatin1Char('0'));
    const qsizetype point = digits.size() - decimals;
    if (decimals > 0) digits.insert(point, QLatin1Char('.'));
    for (qsizetype at = point - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
    return value < 0 && scaled != 0 ? QLatin1Char('-') + digits : digits;
}

qint64 TrendAxisMs(std::int64_t seconds) {
    return static_cast<qint64>(seconds) * kSecond;
}

QString TrendTitle(const Trend& trend) {
    QString title = QStringLiteral("Location %1").arg(trend.location);
    if (!trend.locationName.empty()) title += QStringLiteral(" – ") + Utf8(trend.locationName);
    if (!trend.roomName.empty()) title += QStringLiteral(" (%1)").arg(Utf8(trend.roomName));
    title += QStringLiteral(", ") + Utf8(classify::SizeText(trend.sizeTenths));
    title += QStringLiteral(" (%1 %2)")
                 .arg(GroupedNumber(static_cast<double>(trend.points.size())))
                 .arg(trend.points.size() == 1 ? QStringLiteral("cycle") : QStringLiteral("cycles"));
    if (!trend.note.empty()) title += QStringLiteral(" - ") + Utf8(trend.note);
    return title;
}

TrendChart::TrendChart(const Trend& trend, const std::optional<TrendRange>& range, const QSizeF& size)
    : m_title(TrendTitle(trend)),
      m_valueTitle(QStringLiteral("Particles per m³ ≥ %1").arg(Utf8(classify::SizeText(trend.sizeTenths)))),
      m_size(size) {
    // The application's font at sizes of the chart's own, so that the chart
    // lays out the same on the screen and in a file.
    m_labelFont = QGuiApplication::font();
    m_labelFont.setPixelSize(13);
    m_titleFont = m_labelFont;
    m_titleFont.setPixelSize(16);
    m_titleFont.setBold(true);

    // The cycles within their limits, and those above the alert or the
    // action limit of their place as series of their own, each in its colour.
    std::array<QList<QPointF>, 3> points;  // by site::Level
    double highest = 0.0;
    qint64 first = 0;
    qint64 last = 0;
    for (const TrendPoint& p : trend.points) {
        const qint64 ms = TrendAxisMs(p.seconds);
        if (&p == &trend.points.front()) first = ms;
        last = std::max(last, ms);
        first = std::min(first, ms);
        points[static_cast<int>(p.level)].append(QPointF(static_cast<qreal>(ms), p.perM3));
        highest = std::max(highest, p.perM3);
    }
    const auto addCycles = [this](const QString& name, const QColor& colour, qreal markSize, QList<QPointF> at) {
        m_series.push_back({name, Kind::Cycles, colour, colour, markSize, Qt::SolidLine, std::move(at), 0});
    };
    addCycles(QStringLiteral("Cycles"), QColor(0x4a, 0x7e, 0xbb), 5, points[0]);
    if (!points[1].isEmpty()) addCycles(QStringLiteral("Above the alert limit"), kAlertColour, 7, points[1]);
    if (!points[2].isEmpty()) addCycles(QStringLiteral("Above the action limit"), kActionColour, 7, points[2]);

    // Orange squares; bluish green where amber and red points are above the
    // room's limits, so that no mean reads as one of them.
    const bool judged = trend.alertPerM3 || trend.actionPerM3 || !points[1].isEmpty() || !points[2].isEmpty();
    Series means{QStringLiteral("Location means"),
                 Kind::Means,
                 judged ? QColor(0x00, 0x9e, 0x73) : QColor(0xe0, 0x8a, 0x1e),
                 judged ? QColor(0x00, 0x50, 0x3a) : QColor(0x80, 0x4a, 0x00),
                 9,
                 Qt::SolidLine,
                 {},
                 0};
    means.points.reserve(static_cast<qsizetype>(trend.means.size()));
    for (const TrendMean& m : trend.means)
        means.points.append(QPointF(static_cast<qreal>(TrendAxisMs(m.seconds)), m.perM3));
    m_series.push_back(std::move(means));

    if (trend.points.empty()) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        first = now - kHour;
        last = now;
    } else if (first == last) {
        first -= kHour;
        last += kHour;
    } else {
        // A margin, so that the first and the last marks are not cut in half.
        const qint64 margin = (last - first) / 50;
        first -= margin;
        last += margin;
    }
    // The class or grade limit dashed, the room's alert limit dotted and its
    // action limit dash-dotted, so that they tell apart without colour too.
    const auto addLine = [&](const QString& name, const QColor& colour, Qt::PenStyle style, double level) {
        m_series.push_back({QStringLiteral("%1 (%2 per m³)").arg(name, GroupedNumber(level, DecimalsOf(level))),
                            Kind::Limit,
                            colour,
                            colour,
                            0,
                            style,
                            {},
                            level});
        highest = std::max(highest, level);
    };
    if (trend.limit)
        addLine(QStringLiteral("Limit of %1").arg(Utf8(trend.limitName)), QColor(0xc0, 0x20, 0x20), Qt::DashLine,
                static_cast<double>(*trend.limit));
    if (trend.alertPerM3) addLine(QStringLiteral("Alert limit"), kAlertColour, Qt::DotLine, *trend.alertPerM3);
    if (trend.actionPerM3) addLine(QStringLiteral("Action limit"), kActionColour, Qt::DashDotLine, *trend.actionPerM3);
    // Five names and more do not fit in a row below the plot: they stand in a
    // column beside it.
    m_legendRight = m_series.size() > 4;

    m_full.fromMs = first;
    m_full.toMs = last;
    const double top = highest > 0.0 ? highest * 1.05 : 10.0;
    const double step = RoundStep(top, kValueSteps);
    m_full.high = std::ceil(top / step) * step;
    m_full.low = -kBelowZero * m_full.high;
    m_range = range.value_or(m_full);
    Layout();
}

const TrendChart::Series* TrendChart::Named(const QString& name) const {
    for (const Series& s : m_series)
        if (s.name.startsWith(name)) return &s;
    return nullptr;
}

void TrendChart::SetRange(const TrendRange& range) {
    // A range too small to draw (or upside down) is not taken.
    if (range.toMs <= range.fromMs || !(range.high > range.low) || !std::isfinite(range.high - range.low)) return;
    m_range = range;
    Layout();
}

void TrendChart::ZoomIn(const QRectF& area) {
    const QRectF a = area.normalized();
    if (!(a.width() > 0.0) || !(a.height() > 0.0)) return;
    const QPointF topLeft = MapToValue(a.topLeft());
    const QPointF bottomRight = MapToValue(a.bottomRight());
    SetRange({std::llround(topLeft.x()), std::llround(bottomRight.x()), bottomRight.y(), topLeft.y()});
}

void TrendChart::Scroll(qreal dx, qreal dy) {
    if (m_plot.width() <= 0 || m_plot.height() <= 0) return;
    const double msPerPixel = static_cast<double>(m_range.toMs - m_range.fromMs) / m_plot.width();
    const double valuePerPixel = (m_range.high - m_range.low) / m_plot.height();
    const auto shift = static_cast<qint64>(std::llround(dx * msPerPixel));
    SetRange({m_range.fromMs + shift, m_range.toMs + shift, m_range.low + dy * valuePerPixel,
              m_range.high + dy * valuePerPixel});
}

void TrendChart::Resize(const QSizeF& size) {
    m_size = size;
    Layout();
}

QPointF TrendChart::MapToPosition(const QPointF& value) const {
    const double span = static_cast<double>(m_range.toMs - m_range.fromMs);
    return {m_plot.left() + (value.x() - static_cast<double>(m_range.fromMs)) / span * m_plot.width(),
            m_plot.bottom() - (value.y() - m_range.low) / (m_range.high - m_range.low) * m_plot.height()};
}

QPointF TrendChart::MapToValue(const QPointF& position) const {
    const double span = static_cast<double>(m_range.toMs - m_range.fromMs);
    return {static_cast<double>(m_range.fromMs) + (position.x() - m_plot.left()) / m_plot.width() * span,
            m_range.low + (m_plot.bottom() - position.y()) / m_plot.height() * (m_range.high - m_range.low)};
}

void TrendChart::Layout() {
    const QFontMetricsF labels(m_labelFont);
    const QFontMetricsF title(m_titleFont);
    const qreal line = labels.height();
    // The legend beside the plot or in rows below it.
    qreal legendWidth = 0;
    int legendRows = 1;
    if (m_legendRight) {
        for (const Series& s : m_series)
            legendWidth = std::max(legendWidth, kLegendMark + labels.horizontalAdvance(s.name));
    } else {
        qreal row = 0;
        for (const Series& s : m_series) {
            const qreal entry = kLegendMark + labels.horizontalAdvance(s.name);
            if (row > 0 && row + kLegendGap + entry > m_size.width() - 2 * kMargin) {
                ++legendRows;
                row = 0;
            }
            row += (row > 0 ? kLegendGap : 0) + entry;
        }
    }
    const auto values = ValueTicks(m_range.low, m_range.high);
    qreal valueWidth = 0;
    for (const auto& [value, text] : values) valueWidth = std::max(valueWidth, labels.horizontalAdvance(text));

    const qreal left = kMargin + line + 8 + valueWidth + 6;
    const qreal top = kMargin + title.height() + 12;
    const qreal right = m_size.width() - kMargin - (m_legendRight ? legendWidth + 16 : 0) - 36;
    const qreal bottom =
        m_size.height() - kMargin - (m_legendRight ? 0 : legendRows * (line + 4) + 8) - line - 6 - line - 6;
    m_plot = QRectF(QPointF(left, top), QPointF(std::max(right, left + 10), std::max(bottom, top + 10)));

    TimeAxis(m_range, m_plot, m_size.width(), labels, m_timeLabels, m_timeTicks, m_timeTitle);
    m_valueLabels.clear();
    m_valueTicks.clear();
    for (const auto& [value, text] : values) {
        const qreal y = MapToPosition(QPointF(0, value)).y();
        m_valueTicks.push_back(value);
        const qreal width = labels.horizontalAdvance(text);
        m_valueLabels.push_back({QRectF(m_plot.left() - 6 - width, y - line / 2, width, line), text});
    }
}

void TrendChart::Paint(ChartCanvas& canvas) const {
    const QFontMetricsF labels(m_labelFont);
    const QFontMetricsF title(m_titleFont);
    canvas.Box(QRectF(QPointF(0, 0), m_size), Qt::white, QColor());
    const QString shownTitle = title.elidedText(m_title, Qt::ElideRight, m_size.width() - 2 * kMargin);
    canvas.Text(QPointF(m_size.width() / 2, kMargin + title.ascent()), ChartCanvas::Align::Centre, shownTitle,
                m_titleFont, kTextColour);

    // The grid at the ticks, the series within the plot, the axes.
    for (const double tick : m_timeTicks) {
        const qreal x = MapToPosition(QPointF(tick, 0)).x();
        canvas.Line(QPointF(x, m_plot.top()), QPointF(x, m_plot.bottom()), kGridColour, 1.0, Qt::SolidLine);
    }
    for (const double tick : m_valueTicks) {
        const qreal y = MapToPosition(QPointF(0, tick)).y();
        canvas.Line(QPointF(m_plot.left(), y), QPointF(m_plot.right(), y), kGridColour, 1.0, Qt::SolidLine);
    }
    canvas.Clip(m_plot);
    const double reach = 10.0 / m_plot.width() * static_cast<double>(m_range.toMs - m_range.fromMs);
    for (const Series& s : m_series) {
        if (s.kind == Kind::Limit) {
            const qreal y = MapToPosition(QPointF(0, s.level)).y();
            if (y < m_plot.top() || y > m_plot.bottom()) continue;  // a level out of the shown values
            canvas.Line(QPointF(m_plot.left(), y), QPointF(m_plot.right(), y), s.colour, 2.0, s.style);
            continue;
        }
        // The points lie in time order: only those shown are drawn, and of
        // several on one pixel only the first.
        auto it = std::lower_bound(s.points.begin(), s.points.end(), static_cast<double>(m_range.fromMs) - reach,
                                   [](const QPointF& p, double x) { return p.x() < x; });
        QPoint lastPixel(-1, -1);
        for (; it != s.points.end() && it->x() <= static_cast<double>(m_range.toMs) + reach; ++it) {
            const QPointF at = MapToPosition(*it);
            const QPoint pixel = at.toPoint();
            if (pixel == lastPixel) continue;
            lastPixel = pixel;
            canvas.Mark(at, s.markSize, s.kind == Kind::Means, s.colour, s.border);
        }
    }
    canvas.NoClip();
    canvas.Line(m_plot.bottomLeft(), m_plot.bottomRight(), kAxisColour, 1.0, Qt::SolidLine);
    canvas.Line(m_plot.bottomLeft(), m_plot.topLeft(), kAxisColour, 1.0, Qt::SolidLine);

    for (const Label& label : m_timeLabels)
        canvas.Text(QPointF(label.box.center().x(), label.box.top() + labels.ascent()), ChartCanvas::Align::Centre,
                    label.text, m_labelFont, kTextColour);
    for (const Label& label : m_valueLabels)
        canvas.Text(QPointF(label.box.right(), label.box.top() + labels.ascent()), ChartCanvas::Align::Right,
                    label.text, m_labelFont, kTextColour);
    const qreal timeTitleTop = m_plot.bottom() + 6 + labels.height() + 6;
    canvas.Text(QPointF(m_plot.center().x(), timeTitleTop + labels.ascent()), ChartCanvas::Align::Centre, m_timeTitle,
                m_labelFont, kTextColour);
    canvas.Text(QPointF(kMargin + labels.ascent(), m_plot.center().y()), ChartCanvas::Align::Centre, m_valueTitle,
                m_labelFont, kTextColour, true);

    // The legend: a column beside the plot, or rows centred below it.
    const qreal line = labels.height() + 4;
    if (m_legendRight) {
        qreal y = m_plot.top();
        for (const Series& s : m_series) {
            LegendMark(canvas, s, QPointF(m_plot.right() + 26 + kLegendMark / 2 - 6, y + line / 2));
            canvas.Text(QPointF(m_plot.right() + 26 + kLegendMark, y + 2 + labels.ascent()), ChartCanvas::Align::Left,
                        s.name, m_labelFont, kTextColour);
            y += line;
        }
        return;
    }
    std::vector<std::vector<const Series*>> rows(1);
    std::vector<qreal> widths(1, 0.0);
    for (const Series& s : m_series) {
        const qreal entry = kLegendMark + labels.horizontalAdvance(s.name);
        if (widths.back() > 0 && widths.back() + kLegendGap + entry > m_size.width() - 2 * kMargin) {
            rows.emplace_back();
            widths.push_back(0.0);
        }
        widths.back() += (widths.back() > 0 ? kLegendGap : 0) + entry;
        rows.back().push_back(&s);
    }
    qreal y = m_size.height() - kMargin - static_cast<qreal>(rows.size()) * line;
    for (std::size_t r = 0; r < rows.size(); ++r, y += line) {
        qreal x = (m_size.width() - widths[r]) / 2;
        for (const Series* s : rows[r]) {
            LegendMark(canvas, *s, QPointF(x + kLegendMark / 2 - 4, y + line / 2));
            canvas.Text(QPointF(x + kLegendMark, y + 2 + labels.ascent()), ChartCanvas::Align::Left, s->name,
                        m_labelFont, kTextColour);
            x += kLegendMark + labels.horizontalAdvance(s->name) + kLegendGap;
        }
    }
}

void TrendChart::Paint(QPainter& painter) const {
    PainterCanvas canvas(painter);
    Paint(canvas);
}

QByteArray TrendChart::Svg() const {
    SvgCanvas canvas;
    Paint(canvas);
    const QByteArray width = SvgNumber(m_size.width());
    const QByteArray height = SvgNumber(m_size.height());
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + width +
           "\" height=\"" + height + "\" viewBox=\"0 0 " + width + " " + height + "\">\n<title>" + SvgText(m_title) +
           "</title>\n" + canvas.body + "</svg>\n";
}

bool RenderTrendChart(const Trend& trend, const std::optional<TrendRange>& range, const QString& suffix,
                      QByteArray& bytes, QString& error) {
    bytes.clear();
    const QString kind = suffix.toLower();
    if (!IsChartSuffix(kind)) {
        error = QLatin1String(kSuffixError);
        return false;
    }
    const TrendChart chart(trend, range, QSizeF(kExportWidth, kExportHeight));
    if (kind == QLatin1String("svg")) {
        bytes = chart.Svg();
        return true;
    }
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (kind == QLatin1String("png")) {
        QImage image(kExportWidth, kExportHeight, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        chart.Paint(painter);
        painter.end();
        image.save(&buffer, "PNG");
    } else {
        QPdfWriter pdf(&buffer);
        pdf.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Landscape, QMarginsF(10, 10, 10, 10),
                                      QPageLayout::Millimeter));
        pdf.setResolution(300);
        pdf.setTitle(TrendTitle(trend));
        pdf.setCreator(QStringLiteral("Oront V208 Software"));
        QPainter painter(&pdf);
        const QRect page = painter.viewport();
        // The chart keeps its proportions, as large as the page allows.
        painter.scale(std::min(page.width() / double{kExportWidth}, page.height() / double{kExportHeight}),
                      std::min(page.width() / double{kExportWidth}, page.height() / double{kExportHeight}));
        chart.Paint(painter);
    }
    buffer.close();
    if (bytes.isEmpty()) {
        error = QStringLiteral("the chart could not be drawn");
        return false;
    }
    return true;
}

bool ExportTrendChart(const Trend& trend, const std::optional<TrendRange>& range, const std::string& path,
                      std::string& error) {
    const QString suffix = SuffixOf(path);
    if (!IsChartSuffix(suffix)) {
        error = kSuffixError;
        return false;
    }
    OutputFile file;
    if (!file.Open(path)) {
        error = file.Result().Describe();
        return false;
    }
    QByteArray bytes;
    QString why;
    if (!RenderTrendChart(trend, range, suffix, bytes, why)) {
        error = why.toStdString();
        return false;
    }
    if (!file.Write(bytes.constData(), static_cast<std::size_t>(bytes.size())) || !file.Commit()) {
        error = file.Result().Describe();
        return false;
    }
    return true;
}

}  // namespace oront::archive
