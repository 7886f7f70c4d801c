// The Trend view over an archive of the full demo memory: the chart shows
// the trend of the chosen location, size and limit; wheel, keys and a
// right-drag zoom and pan it; its axes show round times and values at every
// zoom; the value under the pointer shows below it while the pointer is on
// it; the export writes what is shown; the choices are kept for the next
// view; a missing archive is said, not drawn. All under a decimal-comma
// locale, which changes nothing shown.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsTextItem>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QSettings>
#include <QTest>
#include <cmath>
#include <map>

#include "archive/qt/TrendDlg.h"
#include "device/MemoryImage.h"
#include "support/TestEnvironment.h"

namespace oront::archive {
namespace {

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

template <class Series>
Series* Named(QChart* chart, const QString& name) {
    for (QAbstractSeries* s : chart->series())
        if (s->name().startsWith(name)) return qobject_cast<Series*>(s);
    return nullptr;
}

// The labels an axis shows, in order: those in the row right below the plot
// (the time axis, each whole within the chart) or in the column left of it
// (the value axis).
QStringList AxisLabels(QChart* chart, Qt::Orientation orientation) {
    const QRectF plot = chart->plotArea();
    std::map<qreal, QString> row;
    qreal nearest = 1e9;
    std::vector<std::pair<QRectF, QString>> texts;
    for (QGraphicsItem* item : chart->scene()->items()) {
        auto* text = dynamic_cast<QGraphicsTextItem*>(item);
        if (text == nullptr || !text->isVisible() || text->toPlainText().isEmpty()) continue;
        const QRectF box = chart->mapFromScene(text->sceneBoundingRect()).boundingRect();
        texts.emplace_back(box, text->toPlainText());
        if (orientation == Qt::Horizontal && box.top() >= plot.bottom() && box.center().x() >= plot.left() - 2)
            nearest = std::min(nearest, box.top());
        if (orientation == Qt::Vertical && box.right() <= plot.left())
            nearest = std::min(nearest, plot.left() - box.right());
    }
    for (const auto& [box, text] : texts) {
        if (orientation == Qt::Horizontal && std::abs(box.top() - nearest) < 2 && box.center().x() >= plot.left() - 2) {
            EXPECT_TRUE(QRectF(QPointF(), chart->size()).contains(box)) << text.toStdString() << " is cut";
            row[box.center().x()] = text;
        }
        if (orientation == Qt::Vertical && box.right() <= plot.left() && plot.left() - box.right() < nearest + 2)
            row[-box.center().y()] = text;
    }
    QStringList labels;
    for (const auto& entry : row) labels << entry.second;
    return labels;
}

// Zooms into the times `fromMs` to `toMs` (all values), as a rectangle
// dragged over them does.
void ZoomToTimes(QChart* chart, QAbstractSeries* series, qint64 fromMs, qint64 toMs) {
    const QRectF plot = chart->plotArea();
    const qreal left = chart->mapToPosition(QPointF(static_cast<qreal>(fromMs), 0), series).x();
    const qreal right = chart->mapToPosition(QPointF(static_cast<qreal>(toMs), 0), series).x();
    chart->zoomIn(QRectF(left, plot.top(), right - left, plot.height()));
    QCoreApplication::processEvents();  // the chart lays its axes out anew
}

// Expects time labels of `format` at round, evenly stepped times, each its
// own; gives their times.
std::vector<qint64> ExpectRoundTimes(const QStringList& labels, const QString& format, const QDate& day = {}) {
    std::vector<qint64> times;
    for (const QString& label : labels) {
        QDateTime t = day.isValid() ? QDateTime(day, QTime::fromString(label, format), Qt::UTC)
                                    : QDateTime::fromString(label, format);
        t.setTimeSpec(Qt::UTC);
        EXPECT_TRUE(t.isValid()) << label.toStdString() << " is no " << format.toStdString();
        times.push_back(t.toMSecsSinceEpoch());
    }
    EXPECT_GE(times.size(), 3u) << labels.join(' ').toStdString();
    for (std::size_t i = 1; i < times.size(); ++i) {
        const qint64 step = times[1] - times[0];
        EXPECT_EQ(times[i] - times[i - 1], step) << labels.join(' ').toStdString();
        EXPECT_TRUE(step > 0 && step % 60000 == 0 && times[i] % step == 0) << labels.join(' ').toStdString();
    }
    return times;
}

// The limit line across the plot: 'r' where it is drawn, '.' where not.
QString LimitLinePixels(CTrendDlg& dlg, QLineSeries* line) {
    QChart* chart = dlg.Chart();
    const QImage image = dlg.View()->viewport()->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const QRectF plot = chart->plotArea();
    const QPointF at = chart->mapToPosition(QPointF(line->at(0).x(), line->at(0).y()), line);
    const int y = static_cast<int>(std::lround(dlg.View()->mapFromScene(chart->mapToScene(at)).y() * ratio));
    QString pixels;
    for (qreal x = plot.left() + 2; x < plot.right() - 2; x += 1.0) {
        const QPoint p = dlg.View()->mapFromScene(chart->mapToScene(QPointF(x, at.y())));
        bool red = false;
        for (int dy = -1; dy <= 1; ++dy) {
            const QColor c = image.pixelColor(static_cast<int>(p.x() * ratio), y + dy);
            red = red || (c.red() > 150 && c.green() < 110);
        }
        pixels += red ? QLatin1Char('r') : QLatin1Char('.');
    }
    return pixels;
}

// Saves the widget as the screenshot "NAME@Nx.png" (N: its pixel ratio).
void Screenshot(QWidget& widget, const char* name) {
    const QString file = QStringLiteral("%1@%2x.png").arg(QLatin1String(name)).arg(widget.devicePixelRatioF());
    EXPECT_TRUE(widget.grab().save(
        QString::fromStdString((test::TestOutputFolder("screenshots") / file.toStdString()).string())));
}

struct GermanQtLocale {
    GermanQtLocale() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~GermanQtLocale() { QLocale::setDefault(saved); }
    QLocale saved;
};

TEST(TrendDialog, DrawsZoomsPansAndExportsTheTrend) {
    const test::DecimalCommaLocale comma;
    const GermanQtLocale german;
    const auto folder = test::FreshTestFolder("trend-dialog");
    const std::string path = (folder / "archive.sqlite").string();
    {
        Archive a;
        std::string error;
        ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
        ASSERT_TRUE(a.AddDownload(MakeFullDemoImage(), 1000, nullptr, error)) << error;
    }
    const QString ini = QString::fromStdString((folder / "trend.ini").string());
    QSettings settings(ini, QSettings::IniFormat);
    CTrendDlg dlg(path, settings);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* location = dlg.findChild<QComboBox*>(QStringLiteral("location"));
    auto* size = dlg.findChild<QComboBox*>(QStringLiteral("size"));
    auto* limit = dlg.findChild<QComboBox*>(QStringLiteral("limit"));
    ASSERT_TRUE(location && size && limit);
    location->setCurrentIndex(location->findData(3));
    size->setCurrentIndex(size->findData(5));
    limit->setCurrentText(QStringLiteral("ISO 7"));

    const Trend& trend = dlg.CurrentTrend();
    EXPECT_EQ(trend.location, 3);
    EXPECT_EQ(trend.sizeTenths, 5);
    ASSERT_GT(trend.points.size(), 10u);
    auto* cycles = Named<QScatterSeries>(dlg.Chart(), QStringLiteral("Cycles"));
    auto* means = Named<QScatterSeries>(dlg.Chart(), QStringLiteral("Location means"));
    auto* line = Named<QLineSeries>(dlg.Chart(), QStringLiteral("Limit of ISO 7"));
    ASSERT_TRUE(cycles && means && line);
    EXPECT_EQ(cycles->count(), static_cast<int>(trend.points.size()));
    EXPECT_EQ(means->count(), static_cast<int>(trend.means.size()));
    EXPECT_EQ(line->at(0).y(), 352000.0);

    // No label of the controls is cut: drawn with room to spare, the text
    // ends within the label ("To" had lost its "o").
    for (QLabel* label : dlg.findChildren<QLabel*>()) {
        if (label->buddy() == nullptr) continue;
        const QSize shown = label->size();
        label->resize(shown.width() + 20, shown.height());
        QImage image(label->size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        label->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        label->resize(shown);
        int right = -1;
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y).lightness() < 160) right = std::max(right, x);
        EXPECT_LT(right, shown.width()) << label->text().toStdString();
    }

    // The whole trend: round values with grouped thousands, and a margin
    // below 0 that shows the marks of points at 0 whole.
    const QStringList values = AxisLabels(dlg.Chart(), Qt::Vertical);
    ASSERT_GE(values.size(), 3) << values.join(' ').toStdString();
    for (qsizetype i = 0; i < values.size(); ++i) {
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{1,3}(,\\d{3})*$")).match(values[i]).hasMatch())
            << values[i].toStdString();
        const double step = QString(values[1]).remove(',').toDouble() - QString(values[0]).remove(',').toDouble();
        const double leading = step / std::pow(10.0, std::floor(std::log10(step)));
        EXPECT_TRUE(leading == 1.0 || leading == 2.0 || leading == 5.0) << values.join(' ').toStdString();
        EXPECT_EQ(QString(values[i]).remove(',').toDouble(), QString(values[0]).remove(',').toDouble() + i * step);
    }
    EXPECT_TRUE(values.contains(QStringLiteral("0"))) << values.join(' ').toStdString();
    EXPECT_LE(dlg.Chart()->mapToPosition(QPointF(cycles->at(0).x(), 0.0), cycles).y(),
              dlg.Chart()->plotArea().bottom() - means->markerSize() / 2);

    // The value under the pointer: the first cycle, grouped as everywhere;
    // gone when the pointer leaves the point, and when it leaves the chart.
    const QString idle = dlg.StatusText();
    const auto pointAtFirstCycle = [&] {
        const QPointF first = dlg.Chart()->mapToPosition(cycles->at(0), cycles);
        QTest::mouseMove(dlg.View()->viewport(), dlg.View()->mapFromScene(dlg.Chart()->mapToScene(first)));
    };
    pointAtFirstCycle();
    const QString when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(cycles->at(0).x()), Qt::UTC)
                             .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    EXPECT_TRUE(dlg.StatusText().startsWith(when)) << dlg.StatusText().toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral(": \\d{1,3}(,\\d{3})+ per m³$")).match(dlg.StatusText()).hasMatch())
        << dlg.StatusText().toStdString();
    QTest::mouseMove(dlg.View()->viewport(), QPoint(2, 2));
    EXPECT_EQ(dlg.StatusText().toStdString(), idle.toStdString());
    pointAtFirstCycle();
    EXPECT_NE(dlg.StatusText(), idle);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(dlg.View()->viewport(), &leave);
    EXPECT_EQ(dlg.StatusText().toStdString(), idle.toStdString());

    // Zoomed to a day (over midnight): dates and hours; to an hour: hours and
    // minutes, the date in the axis title. The limit line stays dashed.
    const QDate day = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(cycles->at(0).x()), Qt::UTC).date();
    const qint64 midnight = QDateTime(day, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    ZoomToTimes(dlg.Chart(), cycles, midnight - 6 * 3600000, midnight + 18 * 3600000);
    const QStringList dayLabels = AxisLabels(dlg.Chart(), Qt::Horizontal);
    const std::vector<qint64> dayTimes = ExpectRoundTimes(dayLabels, QStringLiteral("yyyy-MM-dd hh:mm"));
    EXPECT_TRUE(std::find(dayTimes.begin(), dayTimes.end(), midnight) != dayTimes.end())
        << dayLabels.join(' ').toStdString();
    Screenshot(dlg, "trend-day");
    QTest::keyClick(dlg.View(), Qt::Key_Home);
    const qint64 hour = static_cast<qint64>(cycles->at(0).x()) / 3600000 * 3600000;
    ZoomToTimes(dlg.Chart(), cycles, hour, hour + 3600000);
    const QStringList hourLabels = AxisLabels(dlg.Chart(), Qt::Horizontal);
    ExpectRoundTimes(hourLabels, QStringLiteral("hh:mm"), day);
    EXPECT_TRUE(AxisLabels(dlg.Chart(), Qt::Horizontal).size() >= 4) << hourLabels.join(' ').toStdString();
    const QString dashes = LimitLinePixels(dlg, line);
    EXPECT_GE(dashes.count(QStringLiteral("r.")), 20) << dashes.toStdString();
    Screenshot(dlg, "trend-hour");
    QTest::keyClick(dlg.View(), Qt::Key_Home);

    // Zoom in at the middle, pan right, then Home shows everything again.
    const TrendRange all = dlg.ShownRange();
    const QPoint middle = dlg.View()->viewport()->rect().center();
    QWheelEvent wheel(middle, dlg.View()->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(dlg.View()->viewport(), &wheel);
    const TrendRange zoomed = dlg.ShownRange();
    EXPECT_NEAR(static_cast<double>(zoomed.toMs - zoomed.fromMs), (all.toMs - all.fromMs) / 1.25,
                (all.toMs - all.fromMs) / 100.0);
    QTest::mousePress(dlg.View()->viewport(), Qt::RightButton, {}, middle);
    QTest::mouseMove(dlg.View()->viewport(), middle - QPoint(100, 0));
    QTest::mouseRelease(dlg.View()->viewport(), Qt::RightButton, {}, middle - QPoint(100, 0));
    const TrendRange panned = dlg.ShownRange();
    EXPECT_GT(panned.fromMs, zoomed.fromMs);
    EXPECT_NEAR(static_cast<double>(panned.toMs - panned.fromMs), static_cast<double>(zoomed.toMs - zoomed.fromMs),
                1000.0);

    // The export writes what is shown: the zoomed chart differs from the whole.
    QString target;
    dlg.chooseExportFile = [&target] { return target; };
    auto* exportButton = dlg.findChild<QPushButton*>(QStringLiteral("export"));
    for (const char* name : {"zoomed.svg", "zoomed.png", "zoomed.pdf"}) {
        target = QString::fromStdString((folder / name).string());
        exportButton->click();
    }
    QTest::keyClick(dlg.View(), Qt::Key_Home);
    EXPECT_EQ(dlg.ShownRange().fromMs, all.fromMs);
    target = QString::fromStdString((folder / "all.svg").string());
    exportButton->click();
    const QByteArray zoomedSvg = Bytes(QString::fromStdString((folder / "zoomed.svg").string()));
    EXPECT_TRUE(zoomedSvg.contains("<svg"));
    EXPECT_NE(zoomedSvg, Bytes(target));
    EXPECT_TRUE(Bytes(QString::fromStdString((folder / "zoomed.png").string())).startsWith("\x89PNG\r\n"));
    EXPECT_TRUE(Bytes(QString::fromStdString((folder / "zoomed.pdf").string())).startsWith("%PDF-"));
    EXPECT_TRUE(dlg.StatusText().startsWith(QStringLiteral("Exported to"))) << dlg.StatusText().toStdString();

    // The choices come back in the next view.
    size->setCurrentIndex(size->findData(10));
    dlg.findChild<QDateEdit*>(QStringLiteral("from"))->setDate(QDate(2014, 2, 1));
    dlg.findChild<QDateEdit*>(QStringLiteral("to"))->setDate(QDate(2014, 12, 31));
    {
        QSettings again(ini, QSettings::IniFormat);
        CTrendDlg next(path, again);
        EXPECT_EQ(next.findChild<QComboBox*>(QStringLiteral("location"))->currentData().toInt(), 3);
        EXPECT_EQ(next.findChild<QComboBox*>(QStringLiteral("size"))->currentData().toInt(), 10);
        EXPECT_EQ(next.findChild<QComboBox*>(QStringLiteral("limit"))->currentText(), QStringLiteral("ISO 7"));
        EXPECT_EQ(next.findChild<QDateEdit*>(QStringLiteral("from"))->date(), QDate(2014, 2, 1));
        EXPECT_EQ(next.findChild<QDateEdit*>(QStringLiteral("to"))->date(), QDate(2014, 12, 31));
    }

    // No archive: said below the chart, nothing to export.
    CTrendDlg missing((folder / "none.sqlite").string());
    EXPECT_TRUE(missing.StatusText().contains(QStringLiteral("none.sqlite"))) << missing.StatusText().toStdString();
    EXPECT_FALSE(missing.findChild<QPushButton*>(QStringLiteral("export"))->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(folder / "none.sqlite"));
}

}  // namespace
}  // namespace oront::archive
