// The Trend view over an archive of the full demo memory: the chart shows
// the trend of the chosen location, size and limit; wheel, keys and a
// right-drag zoom and pan it; the value under the pointer shows below it;
// the export writes what is shown; a missing archive is said, not drawn.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDateTimeAxis>
#include <QFile>
#include <QLabel>
#include <QLineSeries>
#include <QPushButton>
#include <QScatterSeries>
#include <QTest>
#include <QValueAxis>

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

TEST(TrendDialog, DrawsZoomsPansAndExportsTheTrend) {
    const auto folder = test::FreshTestFolder("trend-dialog");
    const std::string path = (folder / "archive.sqlite").string();
    {
        Archive a;
        std::string error;
        ASSERT_TRUE(a.Open(path, OpenMode::ReadWrite, error)) << error;
        ASSERT_TRUE(a.AddDownload(MakeFullDemoImage(), 1000, nullptr, error)) << error;
    }
    CTrendDlg dlg(path);
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

    // The value under the pointer: the first cycle.
    const QPointF first = dlg.Chart()->mapToPosition(cycles->at(0), cycles);
    QTest::mouseMove(dlg.View()->viewport(), dlg.View()->mapFromScene(dlg.Chart()->mapToScene(first)));
    const QString when = QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(cycles->at(0).x()))
                             .toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    EXPECT_TRUE(dlg.StatusText().startsWith(when)) << dlg.StatusText().toStdString();
    EXPECT_TRUE(dlg.StatusText().contains(QStringLiteral("per m³"))) << dlg.StatusText().toStdString();

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

    // No archive: said below the chart, nothing to export.
    CTrendDlg missing((folder / "none.sqlite").string());
    EXPECT_TRUE(missing.StatusText().contains(QStringLiteral("none.sqlite"))) << missing.StatusText().toStdString();
    EXPECT_FALSE(missing.findChild<QPushButton*>(QStringLiteral("export"))->isEnabled());
    EXPECT_FALSE(std::filesystem::exists(folder / "none.sqlite"));
}

}  // namespace
}  // namespace oront::archive
