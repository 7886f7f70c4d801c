#include "archive/qt/TrendChart.h"

#include <QBuffer>
#include <QCategoryAxis>
#include <QChart>
#include <QDateTime>
#include <QFontMetricsF>
#include <QGraphicsScene>
#include <QImage>
#include <QLineSeries>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <memory>
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

// Where the labels of the time axis may reach: the chart's room left and
// right of the plot and the pixels a millisecond takes; none (0) before the
// chart is laid out.
struct LabelRoom {
    qreal left = 0.0;
    qreal right = 0.0;
    qreal pixelsPerMs = 0.0;
};

LabelRoom RoomOf(const QChart* chart) {
    LabelRoom room;
    const QRectF plot = chart->plotArea();
    const auto* time = qobject_cast<const QValueAxis*>(chart->axes(Qt::Horizontal).value(0));
    if (plot.width() <= 0.0 || time == nullptr || time->max() <= time->min()) return room;
    room.left = plot.left();
    room.right = chart->size().width() - plot.right();
    room.pixelsPerMs = plot.width() / (time->max() - time->min());
    return room;
}

// Ticks of the time axis at round times for the span shown. Dates for steps
// of days and more; the times of day for shorter steps, with the date in the
// axis title when the whole span lies within one day, in each label when not.
// A tick so near an end of the axis that its label would be cut is left out.
void FillTimeAxis(QCategoryAxis* axis, qreal min, qreal max, const LabelRoom& room) {
    for (const QString& label : axis->categoriesLabels()) axis->remove(label);
    axis->setStartValue(min);
    const auto from = static_cast<qint64>(std::ceil(min));
    const auto to = static_cast<qint64>(std::floor(max));
    QString title = QStringLiteral("Date and time of the cycle");
    if (to > from) {
        const bool oneDay = AxisTime(from).date() == AxisTime(to).date();
        const TimeStep step = ChooseStep(to - from, oneDay);
        QString format = QStringLiteral("yyyy-MM-dd");
        if (step.months == 0 && step.ms < kDay) {
            format = step.ms < kMinute ? QStringLiteral("hh:mm:ss") : QStringLiteral("hh:mm");
            if (oneDay)
                title = QStringLiteral("Time of the cycle on %1")
                            .arg(AxisTime(from).toString(QStringLiteral("yyyy-MM-dd")));
            else
                format.prepend(QStringLiteral("yyyy-MM-dd "));
        }
        const QFontMetricsF metrics(axis->labelsFont());
        for (const qint64 tick : TimeTicks(step, from, to)) {
            const QString label = AxisTime(tick).toString(format);
            const qreal half = metrics.horizontalAdvance(label) / 2.0 + 2.0;
            if (room.pixelsPerMs > 0.0 && (half > (static_cast<qreal>(tick) - min) * room.pixelsPerMs + room.left ||
                                           half > (max - static_cast<qreal>(tick)) * room.pixelsPerMs + room.right))
                continue;
            axis->append(label, static_cast<qreal>(tick));
        }
    }
    axis->setTitleText(title);
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

// Ticks of the value axis at round values, labelled with thousands
// separated by commas.
void FillValueAxis(QCategoryAxis* axis, qreal min, qreal max) {
    for (const QString& label : axis->categoriesLabels()) axis->remove(label);
    axis->setStartValue(min);
    if (!(max > min) || !std::isfinite(max - min)) return;
    const double step = RoundStep(max - min, kValueSteps);
    const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
    for (auto k = static_cast<long long>(std::ceil(min / step)); static_cast<double>(k) * step <= max; ++k) {
        const double tick = static_cast<double>(k) * step;
        axis->append(GroupedNumber(tick, decimals), tick);
    }
}

// The decimals a limit needs (up to 2): none for whole particles.
int DecimalsOf(double value) {
    for (int decimals = 0; decimals < 2; ++decimals) {
        const double scale = std::pow(10.0, decimals);
        if (std::abs(std::round(value * scale) - value * scale) < 1e-6) return decimals;
    }
    return 2;
}

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

QChart* MakeTrendChart(const Trend& trend, const std::optional<TrendRange>& range) {
    auto chart = std::make_unique<QChart>();
    chart->setTitle(TrendTitle(trend));
    chart->setLocalizeNumbers(false);
    chart->legend()->setAlignment(Qt::AlignBottom);

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
    const auto addCycles = [&chart](const QString& name, const QColor& colour, qreal size, const QList<QPointF>& at) {
        auto* series = new QScatterSeries(chart.get());
        series->setName(name);
        series->setMarkerSize(size);
        series->setColor(colour);
        series->setBorderColor(colour);
        series->replace(at);
        chart->addSeries(series);
    };
    addCycles(QStringLiteral("Cycles"), QColor(0x4a, 0x7e, 0xbb), 5, points[0]);
    if (!points[1].isEmpty()) addCycles(QStringLiteral("Above the alert limit"), kAlertColour, 7, points[1]);
    if (!points[2].isEmpty()) addCycles(QStringLiteral("Above the action limit"), kActionColour, 7, points[2]);

    auto* means = new QScatterSeries(chart.get());
    means->setName(QStringLiteral("Location means"));
    means->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    means->setMarkerSize(9);
    // Orange squares; bluish green where amber and red points are above the
    // room's limits, so that no mean reads as one of them.
    const bool judged = trend.alertPerM3 || trend.actionPerM3 || !points[1].isEmpty() || !points[2].isEmpty();
    means->setColor(judged ? QColor(0x00, 0x9e, 0x73) : QColor(0xe0, 0x8a, 0x1e));
    means->setBorderColor(judged ? QColor(0x00, 0x50, 0x3a) : QColor(0x80, 0x4a, 0x00));
    QList<QPointF> meanPoints;
    meanPoints.reserve(static_cast<qsizetype>(trend.means.size()));
    for (const TrendMean& m : trend.means)
        meanPoints.append(QPointF(static_cast<qreal>(TrendAxisMs(m.seconds)), m.perM3));
    means->replace(meanPoints);
    chart->addSeries(means);

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
    std::vector<std::pair<QLineSeries*, double>> lines;
    const auto addLine = [&](const QString& name, const QColor& colour, Qt::PenStyle style, double level) {
        auto* line = new QLineSeries(chart.get());
        line->setName(QStringLiteral("%1 (%2 per m³)").arg(name, GroupedNumber(level, DecimalsOf(level))));
        QPen pen(colour);
        pen.setWidthF(2.0);
        pen.setStyle(style);
        line->setPen(pen);
        chart->addSeries(line);
        lines.emplace_back(line, level);
        highest = std::max(highest, level);
    };
    if (trend.limit)
        addLine(QStringLiteral("Limit of %1").arg(Utf8(trend.limitName)), QColor(0xc0, 0x20, 0x20), Qt::DashLine,
                static_cast<double>(*trend.limit));
    if (trend.alertPerM3) addLine(QStringLiteral("Alert limit"), kAlertColour, Qt::DotLine, *trend.alertPerM3);
    if (trend.actionPerM3) addLine(QStringLiteral("Action limit"), kActionColour, Qt::DashDotLine, *trend.actionPerM3);

    // Five names and more do not fit in a row below the plot: they stand in a
    // column beside it.
    if (chart->series().size() > 4) chart->legend()->setAlignment(Qt::AlignRight);

    auto* time = new QCategoryAxis(chart.get());
    time->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    auto* value = new QCategoryAxis(chart.get());
    value->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    value->setTitleText(QStringLiteral("Particles per m³ ≥ %1").arg(Utf8(classify::SizeText(trend.sizeTenths))));
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(value, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(time);
        s->attachAxis(value);
    }
    // The limit lines span the shown times only: a line many times longer
    // than the plot (a deep zoom) is drawn solid by Qt's dash stroker, which
    // gives up on too many dashes.
    // Made again as the plot changes its size too, which changes the labels
    // that fit.
    const auto timesShown = [chart = chart.get(), time, lines](qreal min, qreal max) {
        FillTimeAxis(time, min, max, RoomOf(chart));
        for (const auto& [line, level] : lines)
            line->replace(
                QList<QPointF>{QPointF(min, static_cast<qreal>(level)), QPointF(max, static_cast<qreal>(level))});
    };
    QObject::connect(time, &QValueAxis::rangeChanged, time, timesShown);
    QObject::connect(chart.get(), &QChart::plotAreaChanged, time,
                     [time, timesShown] { timesShown(time->min(), time->max()); });
    QObject::connect(value, &QValueAxis::rangeChanged, value,
                     [value](qreal min, qreal max) { FillValueAxis(value, min, max); });
    if (range) {
        time->setRange(static_cast<qreal>(range->fromMs), static_cast<qreal>(range->toMs));
        value->setRange(range->low, range->high);
    } else {
        time->setRange(static_cast<qreal>(first), static_cast<qreal>(last));
        const double top = highest > 0.0 ? highest * 1.05 : 10.0;
        const double step = RoundStep(top, kValueSteps);
        const double high = std::ceil(top / step) * step;
        value->setRange(-kBelowZero * high, high);
    }
    timesShown(time->min(), time->max());
    FillValueAxis(value, value->min(), value->max());
    return chart.release();
}

bool RenderTrendChart(const Trend& trend, const std::optional<TrendRange>& range, const QString& suffix,
                      QByteArray& bytes, QString& error) {
    bytes.clear();
    const QString kind = suffix.toLower();
    if (!IsChartSuffix(kind)) {
        error = QLatin1String(kSuffixError);
        return false;
    }
    QGraphicsScene scene;
    QChart* chart = MakeTrendChart(trend, range);
    scene.addItem(chart);  // the scene owns the chart
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->resize(kExportWidth, kExportHeight);
    const QRectF source(0, 0, kExportWidth, kExportHeight);

    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (kind == QLatin1String("png")) {
        QImage image(kExportWidth, kExportHeight, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        scene.render(&painter, source, source);
        painter.end();
        image.save(&buffer, "PNG");
    } else if (kind == QLatin1String("svg")) {
        QSvgGenerator svg;
        svg.setOutputDevice(&buffer);
        svg.setSize(QSize(kExportWidth, kExportHeight));
        svg.setViewBox(source);
        svg.setTitle(TrendTitle(trend));
        QPainter painter(&svg);
        scene.render(&painter, source, source);
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
        const double scale = std::min(page.width() / source.width(), page.height() / source.height());
        const QRectF target(0, 0, source.width() * scale, source.height() * scale);
        scene.render(&painter, target, source);
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
