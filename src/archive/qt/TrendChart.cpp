#include "archive/qt/TrendChart.h"

#include <QBuffer>
#include <QChart>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsScene>
#include <QImage>
#include <QLineSeries>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QValueAxis>
#include <algorithm>
#include <cmath>
#include <memory>

#include "base/OutputFile.h"
#include "classify/ClassifyText.h"

namespace oront::archive {
namespace {

constexpr int kExportWidth = 1600;
constexpr int kExportHeight = 900;

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

}  // namespace

QString GroupedNumber(double value) {
    const long long whole = std::llround(value);
    QString digits = QString::number(whole < 0 ? -whole : whole);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3) digits.insert(at, QLatin1Char(','));
    return whole < 0 ? QLatin1Char('-') + digits : digits;
}

qint64 TrendAxisMs(std::int64_t seconds) {
    const QDateTime utc = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    return QDateTime(utc.date(), utc.time()).toMSecsSinceEpoch();
}

QString TrendTitle(const Trend& trend) {
    QString title =
        QStringLiteral("Location %1, %2").arg(trend.location).arg(Utf8(classify::SizeText(trend.sizeTenths)));
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

    auto* cycles = new QScatterSeries(chart.get());
    cycles->setName(QStringLiteral("Cycles"));
    cycles->setMarkerSize(5);
    cycles->setColor(QColor(0x4a, 0x7e, 0xbb));
    cycles->setBorderColor(QColor(0x4a, 0x7e, 0xbb));
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(trend.points.size()));
    double highest = 0.0;
    qint64 first = 0;
    qint64 last = 0;
    for (const TrendPoint& p : trend.points) {
        const qint64 ms = TrendAxisMs(p.seconds);
        if (points.isEmpty()) first = ms;
        last = std::max(last, ms);
        first = std::min(first, ms);
        points.append(QPointF(static_cast<qreal>(ms), p.perM3));
        highest = std::max(highest, p.perM3);
    }
    cycles->replace(points);
    chart->addSeries(cycles);

    auto* means = new QScatterSeries(chart.get());
    means->setName(QStringLiteral("Location means"));
    means->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    means->setMarkerSize(9);
    means->setColor(QColor(0xe0, 0x8a, 0x1e));
    means->setBorderColor(QColor(0x80, 0x4a, 0x00));
    QList<QPointF> meanPoints;
    meanPoints.reserve(static_cast<qsizetype>(trend.means.size()));
    for (const TrendMean& m : trend.means)
        meanPoints.append(QPointF(static_cast<qreal>(TrendAxisMs(m.seconds)), m.perM3));
    means->replace(meanPoints);
    chart->addSeries(means);

    if (points.isEmpty()) {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        first = now - 3600000;
        last = now;
    } else if (first == last) {
        first -= 3600000;
        last += 3600000;
    } else {
        // A margin, so that the first and the last marks are not cut in half.
        const qint64 margin = (last - first) / 50;
        first -= margin;
        last += margin;
    }
    QLineSeries* limit = nullptr;
    if (trend.limit) {
        limit = new QLineSeries(chart.get());
        limit->setName(QStringLiteral("Limit of %1 (%2 per m³)")
                           .arg(Utf8(trend.limitName))
                           .arg(GroupedNumber(static_cast<double>(*trend.limit))));
        QPen pen(QColor(0xc0, 0x20, 0x20));
        pen.setWidthF(2.0);
        pen.setStyle(Qt::DashLine);
        limit->setPen(pen);
        limit->append(static_cast<qreal>(first), static_cast<qreal>(*trend.limit));
        limit->append(static_cast<qreal>(last), static_cast<qreal>(*trend.limit));
        chart->addSeries(limit);
        highest = std::max(highest, static_cast<double>(*trend.limit));
    }

    auto* time = new QDateTimeAxis(chart.get());
    const bool days = last - first > 2LL * 24 * 3600 * 1000;
    time->setFormat(days ? QStringLiteral("yyyy-MM-dd") : QStringLiteral("yyyy-MM-dd hh:mm"));
    time->setTitleText(QStringLiteral("Date and time of the cycle"));
    time->setTickCount(6);
    auto* value = new QValueAxis(chart.get());
    value->setTitleText(QStringLiteral("Particles per m³ ≥ %1").arg(Utf8(classify::SizeText(trend.sizeTenths))));
    value->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(time, Qt::AlignBottom);
    chart->addAxis(value, Qt::AlignLeft);
    for (QAbstractSeries* s : chart->series()) {
        s->attachAxis(time);
        s->attachAxis(value);
    }
    if (range) {
        time->setRange(QDateTime::fromMSecsSinceEpoch(range->fromMs), QDateTime::fromMSecsSinceEpoch(range->toMs));
        value->setRange(range->low, range->high);
    } else {
        time->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
        value->setRange(0.0, highest > 0.0 ? highest * 1.05 : 1.0);
        value->applyNiceNumbers();
    }
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
