// The Trend view over an archive of the full demo memory: the chart shows
// the trend of the chosen location, size and limit; wheel, keys and a
// right-drag zoom and pan it, a dragged rectangle zooms into what it covers; its axes show round times and values at
// every zoom; the value under the pointer shows below it while the pointer is on it; the export writes what is shown;
// the choices are kept for the next view; a missing archive is said, not drawn. With a site register, the room's alert
// and action limits are lines of their own, the cycles above them are drawn in their colours and the location has its
// name, in the window and from the command line. All under a decimal-comma locale, which changes nothing shown.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineF>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTest>
#include <QXmlStreamReader>
#include <cmath>
#include <filesystem>
#include <map>

#include "archive/qt/TrendDlg.h"
#include "device/MemoryImage.h"
#include "support/TestEnvironment.h"
#include "support/gtest/SkipOrFail.h"

namespace oront::archive {
namespace {

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

using Series = TrendChart::Series;

// The labels an axis shows, in order, each whole within the chart.
QStringList AxisLabels(const TrendChart& chart, Qt::Orientation orientation) {
    QStringList labels;
    const auto& shown = orientation == Qt::Horizontal ? chart.TimeLabels() : chart.ValueLabels();
    for (const TrendChart::Label& label : shown) {
        EXPECT_TRUE(QRectF(QPointF(), chart.Size()).contains(label.box)) << label.text.toStdString() << " is cut";
        labels << label.text;
    }
    // The value axis from the bottom up, as it is read.
    return labels;
}

// Zooms into the times `fromMs` to `toMs` (all values), as a rectangle
// dragged over them does.
void ZoomToTimes(CTrendDlg& dlg, qint64 fromMs, qint64 toMs) {
    TrendChart& chart = *dlg.Chart();
    const QRectF plot = chart.PlotArea();
    const qreal left = chart.MapToPosition(QPointF(static_cast<qreal>(fromMs), 0)).x();
    const qreal right = chart.MapToPosition(QPointF(static_cast<qreal>(toMs), 0)).x();
    chart.ZoomIn(QRectF(left, plot.top(), right - left, plot.height()));
    dlg.View()->update();
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

// Whether a pixel shows `pen`'s colour (more of it than of the white below).
bool Shows(const QColor& c, const QColor& pen) {
    return std::abs(c.red() - pen.red()) + std::abs(c.green() - pen.green()) + std::abs(c.blue() - pen.blue()) < 100;
}

// A limit line across the plot: 'r' where it is drawn, '.' where not.
QString LimitLinePixels(CTrendDlg& dlg, const Series& line) {
    const TrendChart& chart = *dlg.Chart();
    const QImage image = dlg.View()->grab().toImage();
    const qreal ratio = image.devicePixelRatio();
    const QRectF plot = chart.PlotArea();
    const int y = static_cast<int>(std::lround(chart.MapToPosition(QPointF(0, line.level)).y() * ratio));
    QString pixels;
    for (qreal x = plot.left() + 2; x < plot.right() - 2; x += 1.0) {
        bool drawn = false;
        for (int dy = -1; dy <= 1; ++dy)
            drawn = drawn || Shows(image.pixelColor(static_cast<int>(x * ratio), y + dy), line.colour);
        pixels += drawn ? QLatin1Char('r') : QLatin1Char('.');
    }
    return pixels;
}

// Saves the widget as the screenshot "NAME@Nx.png" (N: its pixel ratio).
void Screenshot(QWidget& widget, const char* name) {
    const QString file = QStringLiteral("%1@%2x.png").arg(QLatin1String(name)).arg(widget.devicePixelRatioF());
    EXPECT_TRUE(widget.grab().save(
        QString::fromStdString((test::TestOutputFolder("screenshots") / file.toStdString()).string())));
}

// A fresh folder of the test output for this scale: the tests run at once
// at 1x and 2x.
std::filesystem::path ScaledFolder(const char* name) {
    return test::FreshTestFolder(
        QStringLiteral("%1@%2x").arg(QLatin1String(name)).arg(qApp->devicePixelRatio()).toStdString());
}

struct GermanQtLocale {
    GermanQtLocale() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~GermanQtLocale() { QLocale::setDefault(saved); }
    QLocale saved;
};

TEST(TrendDialog, DrawsZoomsPansAndExportsTheTrend) {
    const test::DecimalCommaLocale comma;
    const GermanQtLocale german;
    const auto folder = ScaledFolder("trend-dialog");
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
    const Series* cycles = dlg.Chart()->Named(QStringLiteral("Cycles"));
    const Series* means = dlg.Chart()->Named(QStringLiteral("Location means"));
    const Series* line = dlg.Chart()->Named(QStringLiteral("Limit of ISO 7"));
    ASSERT_TRUE(cycles && means && line);
    EXPECT_EQ(cycles->points.size(), static_cast<qsizetype>(trend.points.size()));
    EXPECT_EQ(means->points.size(), static_cast<qsizetype>(trend.means.size()));
    EXPECT_EQ(line->level, 352000.0);
    const QPointF firstCycle = cycles->points.at(0);

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
    const QStringList values = AxisLabels(*dlg.Chart(), Qt::Vertical);
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
    EXPECT_LE(dlg.Chart()->MapToPosition(QPointF(firstCycle.x(), 0.0)).y(),
              dlg.Chart()->PlotArea().bottom() - means->markSize / 2);

    // The value under the pointer: the first cycle, grouped as everywhere;
    // gone when the pointer leaves the point, and when it leaves the chart.
    const QString idle = dlg.StatusText();
    const auto pointAtFirstCycle = [&] {
        QTest::mouseMove(dlg.View(), dlg.Chart()->MapToPosition(firstCycle).toPoint());
    };
    pointAtFirstCycle();
    // The pointer stands on a whole pixel: the cycle nearest to it shows
    // (of a dense cluster, not always the first).
    const QPoint pointer = dlg.Chart()->MapToPosition(firstCycle).toPoint();
    QPointF nearest = firstCycle;
    for (const QPointF& p : cycles->points)
        if (QLineF(dlg.Chart()->MapToPosition(p), pointer).length() <
            QLineF(dlg.Chart()->MapToPosition(nearest), pointer).length())
            nearest = p;
    const QString when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(nearest.x()), Qt::UTC)
                             .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    EXPECT_TRUE(dlg.StatusText().startsWith(when)) << dlg.StatusText().toStdString();
    EXPECT_TRUE(QRegularExpression(QStringLiteral(": \\d{1,3}(,\\d{3})+ per m³$")).match(dlg.StatusText()).hasMatch())
        << dlg.StatusText().toStdString();
    QTest::mouseMove(dlg.View(), QPoint(2, 2));
    EXPECT_EQ(dlg.StatusText().toStdString(), idle.toStdString());
    pointAtFirstCycle();
    EXPECT_NE(dlg.StatusText(), idle);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(dlg.View(), &leave);
    EXPECT_EQ(dlg.StatusText().toStdString(), idle.toStdString());

    // Zoomed to a day (over midnight): dates and hours; to an hour: hours and
    // minutes, the date in the axis title. The limit line stays dashed.
    const QDate day = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(firstCycle.x()), Qt::UTC).date();
    const qint64 midnight = QDateTime(day, QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
    ZoomToTimes(dlg, midnight - 6 * 3600000, midnight + 18 * 3600000);
    const QStringList dayLabels = AxisLabels(*dlg.Chart(), Qt::Horizontal);
    const std::vector<qint64> dayTimes = ExpectRoundTimes(dayLabels, QStringLiteral("yyyy-MM-dd hh:mm"));
    EXPECT_TRUE(std::find(dayTimes.begin(), dayTimes.end(), midnight) != dayTimes.end())
        << dayLabels.join(' ').toStdString();
    Screenshot(dlg, "trend-day");
    QTest::keyClick(dlg.View(), Qt::Key_Home);
    const qint64 hour = static_cast<qint64>(firstCycle.x()) / 3600000 * 3600000;
    ZoomToTimes(dlg, hour, hour + 3600000);
    const QStringList hourLabels = AxisLabels(*dlg.Chart(), Qt::Horizontal);
    ExpectRoundTimes(hourLabels, QStringLiteral("hh:mm"), day);
    EXPECT_TRUE(hourLabels.size() >= 4) << hourLabels.join(' ').toStdString();
    EXPECT_EQ(dlg.Chart()->TimeTitle().toStdString(),
              "Time of the cycle on " + day.toString(Qt::ISODate).toStdString());
    const QString dashes = LimitLinePixels(dlg, *line);
    EXPECT_GE(dashes.count(QStringLiteral("r.")), 20) << dashes.toStdString();
    Screenshot(dlg, "trend-hour");
    QTest::keyClick(dlg.View(), Qt::Key_Home);

    // A rectangle dragged over the middle half of the plot shows that half;
    // a click zooms nowhere.
    const TrendRange all = dlg.ShownRange();
    const QRectF plot = dlg.Chart()->PlotArea();
    const QPoint quarter = (plot.topLeft() + QPointF(plot.width() / 4, plot.height() / 4)).toPoint();
    const QPoint threeQuarters = (plot.topLeft() + QPointF(plot.width() * 3 / 4, plot.height() * 3 / 4)).toPoint();
    QTest::mouseClick(dlg.View(), Qt::LeftButton, {}, quarter);
    EXPECT_EQ(dlg.ShownRange().toMs - dlg.ShownRange().fromMs, all.toMs - all.fromMs);
    QTest::mousePress(dlg.View(), Qt::LeftButton, {}, quarter);
    QTest::mouseMove(dlg.View(), threeQuarters);
    QTest::mouseRelease(dlg.View(), Qt::LeftButton, {}, threeQuarters);
    const TrendRange dragged = dlg.ShownRange();
    EXPECT_NEAR(static_cast<double>(dragged.toMs - dragged.fromMs), (all.toMs - all.fromMs) / 2.0,
                (all.toMs - all.fromMs) / 100.0);
    EXPECT_NEAR(dragged.high - dragged.low, (all.high - all.low) / 2.0, (all.high - all.low) / 100.0);
    QTest::keyClick(dlg.View(), Qt::Key_Home);

    // Zoom in at the middle, pan right, then Home shows everything again.
    const QPoint middle = dlg.View()->rect().center();
    QWheelEvent wheel(middle, dlg.View()->mapToGlobal(middle), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(dlg.View(), &wheel);
    const TrendRange zoomed = dlg.ShownRange();
    EXPECT_NEAR(static_cast<double>(zoomed.toMs - zoomed.fromMs), (all.toMs - all.fromMs) / 1.25,
                (all.toMs - all.fromMs) / 100.0);
    QTest::mousePress(dlg.View(), Qt::RightButton, {}, middle);
    QTest::mouseMove(dlg.View(), middle - QPoint(100, 0));
    QTest::mouseRelease(dlg.View(), Qt::RightButton, {}, middle - QPoint(100, 0));
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
    QXmlStreamReader xml(zoomedSvg);  // well-formed: every name of the chart escaped
    while (!xml.atEnd()) xml.readNext();
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
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

// Location 3 of the demo stands beside the filling needle of Filling room 2,
// whose limits at 0.5 µm (alert 250,000, action 450,000 per m³) lie about
// the ISO 7 limit (352,000): the demo's cycles cross both.
TEST(TrendDialog, DrawsTheRoomsAlertAndActionLimitsAndNamesTheLocation) {
    const test::DecimalCommaLocale comma;
    const GermanQtLocale german;
    const auto folder = ScaledFolder("trend-limits");
    const std::string path = (folder / "archive.sqlite").string();
    {
        site::Room room;
        room.id = "FR2";
        room.name = "Filling room 2";
        room.areaM2 = 24;
        room.classTenths = 70;
        room.locations = {{3, "beside the filling needle", 1, 1, true, {}, {}}};
        room.limits = {{5, 250000, 450000, {}}};
        site::Register reg;
        reg.rooms = {room};
        Archive a;
        std::string error;
        ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
        ASSERT_TRUE(a.AddDownload(MakeFullDemoImage(), 1000, nullptr, error)) << error;
        ASSERT_TRUE(a.StoreRegister(reg, error)) << error;
    }
    CTrendDlg dlg(path);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* location = dlg.findChild<QComboBox*>(QStringLiteral("location"));
    location->setCurrentIndex(location->findData(3));
    auto* size = dlg.findChild<QComboBox*>(QStringLiteral("size"));
    size->setCurrentIndex(size->findData(5));
    dlg.findChild<QComboBox*>(QStringLiteral("limit"))->setCurrentText(QStringLiteral("ISO 7"));
    EXPECT_EQ(location->currentText().toStdString(), "3 – beside the filling needle");
    const QString title = QStringLiteral("Location 3 – beside the filling needle (Filling room 2), 0.5 µm (87 cycles)");
    EXPECT_EQ(dlg.Chart()->Title().toStdString(), title.toStdString());

    const TrendChart& chart = *dlg.Chart();
    const Series* alert = chart.Named(QStringLiteral("Alert limit (250,000 per m³)"));
    const Series* action = chart.Named(QStringLiteral("Action limit (450,000 per m³)"));
    const Series* limit = chart.Named(QStringLiteral("Limit of ISO 7"));
    ASSERT_TRUE(alert && action && limit);
    EXPECT_EQ(alert->level, 250000.0);
    EXPECT_EQ(action->level, 450000.0);

    // Every cycle in the series of its level, drawn in its colour.
    const QColor amber(0xe6, 0x9f, 0x00);
    const QColor red(0xd5, 0x5e, 0x00);
    const Series* cycles = chart.Named(QStringLiteral("Cycles"));
    const Series* aboveAlert = chart.Named(QStringLiteral("Above the alert limit"));
    const Series* aboveAction = chart.Named(QStringLiteral("Above the action limit"));
    ASSERT_TRUE(cycles && aboveAlert && aboveAction);
    EXPECT_EQ(cycles->points.size() + aboveAlert->points.size() + aboveAction->points.size(),
              static_cast<qsizetype>(dlg.CurrentTrend().points.size()));
    const QImage image = dlg.View()->grab().toImage();
    const auto expectLevel = [&](const Series* series, double low, double high, const QColor& colour) {
        ASSERT_GT(series->points.size(), 0) << series->name.toStdString();
        QPointF top = series->points.at(0);
        for (const QPointF& p : series->points) {
            EXPECT_TRUE(p.y() > low && p.y() <= high) << series->name.toStdString() << ": " << p.y();
            if (p.y() > top.y()) top = p;
        }
        // The marker of its highest cycle, which no other covers.
        const QPoint at = chart.MapToPosition(top).toPoint();
        const QColor shown = image.pixelColor(at * image.devicePixelRatio());
        EXPECT_TRUE(Shows(shown, colour)) << series->name.toStdString() << ": " << shown.name().toStdString();
    };
    expectLevel(cycles, -1.0, 250000.0, QColor(0x4a, 0x7e, 0xbb));
    expectLevel(aboveAlert, 250000.0, 450000.0, amber);
    expectLevel(aboveAction, 450000.0, 1e9, red);
    Screenshot(dlg, "trend-limits");

    // Zoomed to an hour, the alert, action and class lines stay dashed.
    const qint64 hour = static_cast<qint64>(cycles->points.at(0).x()) / 3600000 * 3600000;
    ZoomToTimes(dlg, hour, hour + 3600000);
    for (const Series* line : {alert, action, limit}) {
        const QString dashes = LimitLinePixels(dlg, *line);
        EXPECT_GE(dashes.count(QStringLiteral("r.")), 20) << line->name.toStdString() << " " << dashes.toStdString();
    }

    // The command line draws the same lines and title, the same bytes under
    // a German locale.
    if (qEnvironmentVariableIsEmpty("ORONT_CLI")) ORONT_SKIP_OR_FAIL("ORONT_CLI does not name the command-line tool");
    const auto cliSvg = [&](const char* locale, const char* name) {
        const QString out = QString::fromStdString((folder / name).string());
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), QLatin1String(locale));
        cli.setProcessEnvironment(env);
        cli.start(qEnvironmentVariable("ORONT_CLI"), {"--archive", QString::fromStdString(path), "trend", "--location",
                                                      "3", "--size", "0.5", "--class", "7", out});
        EXPECT_TRUE(cli.waitForFinished(60000));
        EXPECT_EQ(cli.exitCode(), 0) << cli.readAllStandardError().toStdString();
        return Bytes(out);
    };
    const QByteArray svg = cliSvg("C.UTF-8", "cli.svg");
    EXPECT_TRUE(svg.contains("Alert limit (250,000 per m³)"));
    EXPECT_TRUE(svg.contains("Action limit (450,000 per m³)"));
    EXPECT_TRUE(svg.contains(title.toUtf8()));
    EXPECT_TRUE(svg == cliSvg("de_DE.UTF-8", "cli-de.svg"));
}

}  // namespace
}  // namespace oront::archive
