// The classification dialog on the demo instrument's download: the verdicts
// the command-line tool gives for the same settings, the result table filled
// after every change, the room area typed under a decimal-comma locale, the
// settings kept between runs, and the certificate exported as PDF.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTableWidget>
#include <QTest>
#include <filesystem>

#include "classify/qt/CertificatePrinter.h"
#include "classify/qt/ClassifyDlg.h"
#include "device/MemoryImage.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"

namespace oront::classify {
namespace {

struct DemoDownload {
    DemoDownload() { EXPECT_TRUE(test::ReadRecordsFromImage(MakeDemoImage(), store)); }
    RecordStore store;
};

QString SettingsFile() {
    return QString::fromStdString((test::FreshTestFolder("classify-settings") / "classify.ini").string());
}

// The CLI's JSON for the settings.
QJsonObject CliJson(const QStringList& settings) {
    QProcess cli;
    cli.start(qEnvironmentVariable("ORONT_CLI"),
              QStringList{"--demo", "classify"} + settings + QStringList{"--format", "json"});
    EXPECT_TRUE(cli.waitForFinished(30000));
    return QJsonDocument::fromJson(cli.readAllStandardOutput()).object();
}

// The "run" rows of the table: the verdict of each size, run by run.
QStringList SizeVerdicts(const CClassifyDlg& dlg) {
    QStringList out;
    const QTableWidget* t = dlg.Table();
    for (int r = 0; r < t->rowCount(); ++r)
        if (t->item(r, CClassifyDlg::kLocation)->text() == "run") out << t->item(r, CClassifyDlg::kVerdict)->text();
    return out;
}

struct GermanQtLocale {
    GermanQtLocale() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~GermanQtLocale() { QLocale::setDefault(saved); }
    QLocale saved;
};

TEST(ClassifyDialog, VerdictsOfTheCommandLineSettingsKeptAndPdfExport) {
    const test::DecimalCommaLocale comma;
    const GermanQtLocale german;
    DemoDownload demo;
    const QString ini = SettingsFile();
    {
        QSettings settings(ini, QSettings::IniFormat);
        CClassifyDlg dlg(demo.store, settings);
        dlg.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
        // As it opens, for the eye; QT_SCALE_FACTOR=2 gives classify-dialog@2x.png.
        const QString shot = QStringLiteral("classify-dialog@%1x.png").arg(dlg.devicePixelRatioF());
        EXPECT_TRUE(dlg.grab().save(
            QString::fromStdString((test::TestOutputFolder("screenshots") / shot.toStdString()).string())));
        for (const auto& [standard, targetIndex, args] :
             {std::tuple{0, 41, QStringList{"--class", "5", "--state", "at-rest"}},
              std::tuple{1, 51, QStringList{"--standard", "iso-1999", "--class", "6", "--state", "at-rest"}},
              std::tuple{2, 2, QStringList{"--standard", "gmp-2022", "--grade", "B", "--state", "at-rest"}}}) {
            dlg.findChild<QComboBox*>("standard")->setCurrentIndex(standard);
            dlg.findChild<QComboBox*>(standard == 2 ? "grade" : "class")->setCurrentIndex(targetIndex);
            const QJsonObject json = CliJson(args);
            QJsonArray runs;
            for (const QJsonValue room : json["rooms"].toArray())
                for (const QJsonValue run : room["classification"]["runs"].toArray()) runs.append(run);
            ASSERT_FALSE(runs.isEmpty()) << args.join(' ').toStdString();
            QStringList want;
            for (const QJsonValue run : runs)
                for (const QJsonValue v : run["size_verdicts"].toArray()) want << v.toString();
            EXPECT_EQ(SizeVerdicts(dlg).join(" ").toStdString(), want.join(" ").toStdString())
                << args.join(' ').toStdString();
            for (const QJsonValue run : runs) {
                const QString line = QStringLiteral("Run %1, location %2: %3;")
                                         .arg(run["run"].toInt())
                                         .arg(run["location"].toString(), run["verdict"].toString());
                EXPECT_TRUE(dlg.SummaryText().contains(line)) << line.toStdString();
            }
            EXPECT_TRUE(dlg.SummaryText().endsWith("Overall verdict: " + json["verdict"].toString()));
        }
        // A fail is red, a pass green.
        bool red = false;
        for (int r = 0; r < dlg.Table()->rowCount(); ++r)
            if (dlg.Table()->item(r, CClassifyDlg::kVerdict)->text() == "fail")
                red = red || dlg.Table()->item(r, CClassifyDlg::kVerdict)->background().color().red() > 200;
        EXPECT_TRUE(red);
        dlg.findChild<QCheckBox*>("size5")->setChecked(true);

        // After the changes the columns still fill the table, the verdicts
        // in full.
        const QTableWidget* table = dlg.Table();
        const auto widths = [table] {
            int sum = 0;
            for (int c = 0; c < CClassifyDlg::kColumns; ++c) sum += table->columnWidth(c);
            return sum;
        };
        EXPECT_TRUE(QTest::qWaitFor([&] { return widths() == table->viewport()->width(); }, 1000))
            << widths() << " of " << table->viewport()->width();
        const QAbstractItemView* view = table;
        EXPECT_GE(table->columnWidth(CClassifyDlg::kVerdict), view->sizeHintForColumn(CClassifyDlg::kVerdict));

        // The room area reads a decimal point, and a comma, as the point
        // and shows the point, whatever the locale.
        auto* area = dlg.findChild<QDoubleSpinBox*>("area");
        for (const char* typed : {"12.5", "12,5"}) {
            area->selectAll();
            QTest::keyClicks(area, typed);
            EXPECT_EQ(area->value(), 12.5) << typed;
            EXPECT_EQ(area->text().toStdString(), "12.5 m²") << typed;
        }
    }
    {
        // Reopened: the last settings (grade B, 0.5 µm only).
        QSettings settings(ini, QSettings::IniFormat);
        CClassifyDlg dlg(demo.store, settings);
        const Settings s = dlg.CurrentSettings();
        EXPECT_EQ(s.standard, Standard::Gmp2022);
        EXPECT_EQ(s.target.grade, 'B');
        EXPECT_EQ(s.sizes, std::vector<int>{5});
        EXPECT_EQ(s.areaM2, 12.5);

        // Export PDF through the file dialog's seam.
        const std::filesystem::path pdf = test::FreshTestFolder("classify-pdf") / "certificate.pdf";
        std::vector<QString> messages;
        CClassifyDlg::Seams seams;
        seams.saveFile = [&](std::string& path) {
            path = pdf.string();
            return true;
        };
        seams.message = [&](const QString& m) { messages.push_back(m); };
        dlg.SetSeams(seams);
        QTest::mouseClick(dlg.findChild<QPushButton*>("exportPdf"), Qt::LeftButton);
        EXPECT_TRUE(messages.empty());
        QFile file(QString::fromStdString(pdf.string()));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(file.read(5) == "%PDF-");
        EXPECT_GT(file.size(), 1000);

        // The preview shows the pages drawn: the title at the top of the first.
        int previewPages = 0;
        QImage first;
        seams.preview = [&](const Certificate& c) {
            previewPages = c.PageCount();
            first = RenderCertificatePage(c, 1, 80);  // 3 dots a millimetre
        };
        dlg.SetSeams(seams);
        QTest::mouseClick(dlg.findChild<QPushButton*>("preview"), Qt::LeftButton);
        EXPECT_GE(previewPages, 1);
        ASSERT_EQ(first.size(), QSize(210 * 3, 297 * 3));
        int dark = 0;
        for (int y = 18 * 3; y < 30 * 3; ++y)
            for (int x = 0; x < first.width(); ++x) dark += first.pixelColor(x, y).lightness() < 128;
        EXPECT_GT(dark, 100) << "no title at the top";
    }
}

// With rooms in the register: a room chosen takes its settings and
// classifies its runs only; a requirement it breaks is listed with its
// clause and its run shows amber; the certificate exported is numbered and
// kept by the issuer with the file's bytes.
TEST(ClassifyDialog, RoomChoiceRequirementsAndTheIssuedCertificate) {
    DemoDownload demo;
    QSettings settings(SettingsFile(), QSettings::IniFormat);
    settings.clear();
    ClassifySite site;
    Settings room;
    room.standard = Standard::Iso2015;
    room.target = {70, 0, Occupancy::Operational, true};
    room.areaM2 = 30;  // Table A.1: 8 locations
    site.rooms = {{"R1", "Filling room", room}};
    site.finder = [room](const Settings& user, bool roomSettings) {
        RoomFinder finder;
        finder.room = [=](int location, int) -> std::optional<RoomOfRun> {
            if (location != 3) return std::nullopt;
            return RoomOfRun{"R1", "Filling room", roomSettings ? room : user};
        };
        finder.place = [](int location, int) {
            return location == 3 ? SamplingPlace{"door", 1, 2, true} : SamplingPlace{};
        };
        return finder;
    };
    CertificateIssuer issuer;
    issuer.number = [](CertificateData& data, std::int64_t& id, std::string&) {
        data.reportNumber = "T-1";
        id = 7;
        return true;
    };
    std::int64_t keptId = 0;
    std::string keptText, keptFile;
    issuer.keep = [&](std::int64_t id, const std::string& text, const std::string& file, std::string&) {
        keptId = id;
        keptText = text;
        keptFile = file;
        return true;
    };
    CClassifyDlg dlg(demo.store, settings, nullptr, site, issuer);
    auto* rooms = dlg.findChild<QComboBox*>("room");
    ASSERT_EQ(rooms->count(), 2);
    rooms->setCurrentIndex(1);
    EXPECT_EQ(dlg.CurrentSettings().target.classTenths, 70);
    EXPECT_EQ(dlg.CurrentSettings().target.state, Occupancy::Operational);
    EXPECT_EQ(dlg.CurrentSettings().areaM2, 30);
    ASSERT_EQ(dlg.Result().sections.size(), 1u);
    EXPECT_EQ(dlg.Result().sections[0].roomId, "R1");
    EXPECT_TRUE(dlg.SummaryText().startsWith("Run 1, location 003, R1: not-valid;")) << dlg.SummaryText().toStdString();
    EXPECT_TRUE(dlg.RequirementsText().contains(
        QString::fromUtf8("Run 1: number of locations (ISO 14644-1:2015 A.4.1, Table A.1): 2 locations for a room "
                          "of 30 m²")))
        << dlg.RequirementsText().toStdString();
    bool amber = false;
    for (int r = 0; r < dlg.Table()->rowCount(); ++r)
        amber = amber || dlg.Table()->item(r, CClassifyDlg::kVerdict)->background().color() == QColor(250, 215, 140);
    EXPECT_TRUE(amber) << "the run's not-valid verdict";
    // Every run: the runs of other locations, with the settings shown.
    rooms->setCurrentIndex(0);
    EXPECT_GT(dlg.Result().sections.size(), 1u);

    rooms->setCurrentIndex(1);
    const std::filesystem::path pdf = test::FreshTestFolder("classify-issued") / "certificate.pdf";
    CClassifyDlg::Seams seams;
    seams.saveFile = [&](std::string& path) {
        path = pdf.string();
        return true;
    };
    std::vector<QString> messages;
    seams.message = [&](const QString& m) { messages.push_back(m); };
    dlg.SetSeams(seams);
    QTest::mouseClick(dlg.findChild<QPushButton*>("exportPdf"), Qt::LeftButton);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(keptId, 7);
    EXPECT_NE(keptText.find("\"report_number\": \"T-1\""), std::string::npos);
    EXPECT_EQ(keptFile.rfind("%PDF-", 0), 0u);
    EXPECT_EQ(keptFile, test::ReadFileBytes(pdf.string()));
}

}  // namespace
}  // namespace oront::classify
