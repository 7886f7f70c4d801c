// The Site view over a new archive: a register entered through the dialog's
// fields is refused while it breaks a rule (the rule said, its field tinted,
// Save disabled) and, once mended, saved and read back from the archive as
// entered. Opened again, the dialog shows it; a click on a location's dot
// selects that location; unsaved edits are dropped only when the user says
// so; an archive that cannot be read is said so and not edited. Under a
// decimal-comma locale, which changes nothing typed or shown.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <fstream>
#include <stdexcept>

#include "archive/Archive.h"
#include "site/RegisterJson.h"
#include "site/qt/SiteDlg.h"
#include "support/TestEnvironment.h"

namespace oront::site {
namespace {

template <class Widget>
Widget* Find(QWidget& dlg, const char* name) {
    auto* widget = dlg.findChild<Widget*>(QLatin1String(name));
    if (widget == nullptr) throw std::runtime_error(std::string("no widget ") + name);
    return widget;
}

// Replaces the text of a line edit or spin box as typed keys do.
void Type(QWidget* field, const QString& text) {
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(field)) spin->selectAll();
    if (auto* edit = qobject_cast<QLineEdit*>(field)) edit->selectAll();
    QTest::keyClicks(field, text);
}

void Click(QWidget& dlg, const char* button) {
    QTest::mouseClick(Find<QPushButton>(dlg, button), Qt::LeftButton);
}

struct GermanQtLocale {
    GermanQtLocale() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }
    ~GermanQtLocale() { QLocale::setDefault(saved); }
    QLocale saved;
};

// What the test enters, as the archive should keep it.
Register Expected() {
    Register reg;
    reg.organisation = {"Acme Pharma", "1 Clean Street\nBasel"};
    Room room;
    room.id = "CR-1";
    room.name = "Filling";
    room.areaM2 = 12.5;
    room.standard = classify::Standard::Gmp2022;
    room.grade = 'B';
    room.state = classify::Occupancy::AtRest;
    room.adverseRun = 4;
    // Location 1 was moved at the turn of the year: two periods of one number.
    room.locations.push_back({1, "Filler", 1.5, 2.0, true, std::nullopt, 20231231});
    room.locations.push_back({1, "Weighing", 4.0, 1.0, false, 20240101, std::nullopt});
    room.limits.push_back({5, 3520.0, 35200.0, 1});
    reg.rooms.push_back(room);
    reg.instruments.push_back({4294967295u, "V208", 20240301, 20250301, "CAL-7", 28.3});
    return reg;
}

TEST(SiteDialog, EntersRefusesMendsAndSavesTheRegister) {
    const test::DecimalCommaLocale comma;
    const GermanQtLocale german;
    const std::string path = (test::FreshTestFolder("site-dialog") / "archive.sqlite").string();
    CSiteDlg dlg(path);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    auto* save = Find<QPushButton>(dlg, "save");
    auto* validation = Find<QLabel>(dlg, "validation");
    auto* tabs = Find<QTabWidget>(dlg, "tabs");
    auto* roomTabs = Find<QTabWidget>(dlg, "roomTabs");
    EXPECT_TRUE(dlg.StatusText().contains(QStringLiteral("No site register"))) << dlg.StatusText().toStdString();
    EXPECT_FALSE(save->isEnabled());

    tabs->setCurrentIndex(0);
    Type(Find<QLineEdit>(dlg, "organisationName"), QStringLiteral("Acme Pharma"));
    QTest::keyClicks(Find<QPlainTextEdit>(dlg, "organisationAddress"), QStringLiteral("1 Clean Street"));
    QTest::keyClick(Find<QPlainTextEdit>(dlg, "organisationAddress"), Qt::Key_Return);
    QTest::keyClicks(Find<QPlainTextEdit>(dlg, "organisationAddress"), QStringLiteral("Basel"));

    // A new room breaks a rule until it has an area.
    tabs->setCurrentIndex(1);
    Click(dlg, "addRoom");
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(validation->text().contains(QStringLiteral("area_m2 must be above 0")))
        << validation->text().toStdString();
    auto* area = Find<QDoubleSpinBox>(dlg, "roomArea");
    EXPECT_TRUE(area->property("invalid").toBool());
    Type(Find<QLineEdit>(dlg, "roomId"), QStringLiteral("CR-1"));
    Type(Find<QLineEdit>(dlg, "roomName"), QStringLiteral("Filling"));
    Type(area, QStringLiteral("12,5"));
    EXPECT_FALSE(area->property("invalid").toBool());
    Find<QComboBox>(dlg, "roomStandard")->setCurrentIndex(2);
    Find<QComboBox>(dlg, "roomGrade")->setCurrentIndex(1);
    Find<QComboBox>(dlg, "roomState")->setCurrentIndex(1);
    Find<QSpinBox>(dlg, "roomAdverseRun")->setValue(4);
    EXPECT_TRUE(save->isEnabled());

    // Two locations of one number in the same period are refused, until the
    // first one's period ends before the second one's begins.
    roomTabs->setCurrentIndex(1);
    auto* number = Find<QSpinBox>(dlg, "locationNumber");
    Click(dlg, "addLocation");
    Type(number, QStringLiteral("1"));
    Type(Find<QLineEdit>(dlg, "locationName"), QStringLiteral("Filler"));
    Type(Find<QDoubleSpinBox>(dlg, "locationX"), QStringLiteral("1.5"));
    Type(Find<QDoubleSpinBox>(dlg, "locationY"), QStringLiteral("2"));
    Find<QCheckBox>(dlg, "locationCritical")->setChecked(true);
    Click(dlg, "addLocation");
    Type(number, QStringLiteral("1"));
    Type(Find<QLineEdit>(dlg, "locationName"), QStringLiteral("Weighing"));
    Type(Find<QDoubleSpinBox>(dlg, "locationX"), QStringLiteral("4"));
    Type(Find<QDoubleSpinBox>(dlg, "locationY"), QStringLiteral("1"));
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(dlg.ValidationText().contains(QStringLiteral("location number 1 is already mapped")))
        << dlg.ValidationText().toStdString();
    EXPECT_TRUE(validation->text().contains(dlg.ValidationText()));
    EXPECT_TRUE(number->property("invalid").toBool());
    Find<QCheckBox>(dlg, "locationFromSet")->setChecked(true);
    Find<QDateEdit>(dlg, "locationFrom")->setDate(QDate(2024, 1, 1));
    Find<QTableWidget>(dlg, "locations")->selectRow(0);
    EXPECT_EQ(Find<QLineEdit>(dlg, "locationName")->text(), QStringLiteral("Filler"));
    Find<QCheckBox>(dlg, "locationToSet")->setChecked(true);
    Find<QDateEdit>(dlg, "locationTo")->setDate(QDate(2023, 12, 31));
    EXPECT_TRUE(dlg.ValidationText().isEmpty()) << dlg.ValidationText().toStdString();
    EXPECT_FALSE(number->property("invalid").toBool());

    // An alert limit above the action limit is refused.
    roomTabs->setCurrentIndex(2);
    Click(dlg, "addLimit");
    auto* size = Find<QComboBox>(dlg, "limitSize");
    size->setCurrentIndex(size->findText(QString::fromUtf8("0.5 µm")));
    auto* limitLocation = Find<QComboBox>(dlg, "limitLocation");
    limitLocation->setCurrentIndex(limitLocation->findData(1));
    auto* alert = Find<QDoubleSpinBox>(dlg, "limitAlert");
    Type(alert, QStringLiteral("3520"));
    Type(Find<QDoubleSpinBox>(dlg, "limitAction"), QStringLiteral("2000"));
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(dlg.ValidationText().contains(QStringLiteral("the alert limit is above the action limit")))
        << dlg.ValidationText().toStdString();
    EXPECT_TRUE(alert->property("invalid").toBool());
    Type(Find<QDoubleSpinBox>(dlg, "limitAction"), QStringLiteral("35200"));
    EXPECT_TRUE(save->isEnabled());

    // A calibration due before it was made is refused.
    tabs->setCurrentIndex(2);
    Click(dlg, "addInstrument");
    Type(Find<QDoubleSpinBox>(dlg, "instrumentSerial"), QStringLiteral("4294967295"));
    Type(Find<QLineEdit>(dlg, "instrumentModel"), QStringLiteral("V208"));
    Find<QDateEdit>(dlg, "instrumentCalibrated")->setDate(QDate(2024, 3, 1));
    auto* due = Find<QDateEdit>(dlg, "instrumentDue");
    due->setDate(QDate(2024, 2, 1));
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(due->property("invalid").toBool());
    due->setDate(QDate(2025, 3, 1));
    Type(Find<QLineEdit>(dlg, "instrumentCertificate"), QStringLiteral("CAL-7"));
    Type(Find<QDoubleSpinBox>(dlg, "instrumentFlow"), QStringLiteral("28,3"));
    ASSERT_TRUE(save->isEnabled()) << dlg.ValidationText().toStdString();

    // Saved only with the reason for the change, which the audit trail keeps.
    Click(dlg, "save");
    EXPECT_TRUE(dlg.StatusText().startsWith(QStringLiteral("Give the reason"))) << dlg.StatusText().toStdString();
    EXPECT_FALSE(dlg.Saved());
    Type(Find<QLineEdit>(dlg, "reason"), QStringLiteral("new filling room"));
    Click(dlg, "save");
    EXPECT_TRUE(dlg.StatusText().startsWith(QStringLiteral("Saved"))) << dlg.StatusText().toStdString();
    EXPECT_TRUE(dlg.Saved());
    EXPECT_FALSE(dlg.Modified());
    EXPECT_FALSE(save->isEnabled());
    archive::Archive archive;
    std::string error;
    Register stored;
    ASSERT_TRUE(archive.Open(path, archive::OpenMode::ReadOnly, error) && archive.LoadRegister(stored, error)) << error;
    EXPECT_EQ(RegisterJson(stored), RegisterJson(Expected()));
    std::vector<audit::Entry> changes;
    archive::AuditFilter filter;
    filter.event = "register changed";
    ASSERT_TRUE(archive.AuditTrail(filter, changes, error)) << error;
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].reason, "new filling room");

    // The account the dialog acts as, demoted to an operator, sees the
    // register and cannot save it.
    archive::Archive admin;
    admin.SetActor({"deputy", "Deputy"});
    const audit::Identity me = audit::CurrentIdentity();
    ASSERT_TRUE(archive.Open(path, archive::OpenMode::ReadWrite, error) &&
                archive.AddUser("deputy", "", audit::Role::Administrator, "", error))
        << error;
    ASSERT_TRUE(admin.Open(path, archive::OpenMode::ReadWrite, error) &&
                admin.SetRole(me.user, audit::Role::Operator, "", error))
        << error;
    CSiteDlg refused(path);
    EXPECT_FALSE(Find<QLineEdit>(refused, "reason")->isEnabled());
    EXPECT_NE(Find<QPushButton>(refused, "save")->toolTip().indexOf(QStringLiteral("administrator role")), -1)
        << Find<QPushButton>(refused, "save")->toolTip().toStdString();
    EXPECT_TRUE(refused.StatusText().contains(QStringLiteral("cannot be changed")))
        << refused.StatusText().toStdString();
}

TEST(SiteDialog, ShowsTheStoredRegisterAndAsksBeforeDroppingEdits) {
    const std::string path = (test::FreshTestFolder("site-dialog-reopen") / "archive.sqlite").string();
    {
        archive::Archive archive;
        std::string error;
        ASSERT_TRUE(archive.Open(path, archive::OpenMode::ReadWrite, error) && archive.StoreRegister(Expected(), error))
            << error;
    }
    CSiteDlg dlg(path);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(Find<QLineEdit>(dlg, "organisationName")->text(), QStringLiteral("Acme Pharma"));
    EXPECT_EQ(Find<QListWidget>(dlg, "rooms")->item(0)->text(), QString::fromUtf8("CR-1 – Filling"));
    EXPECT_TRUE(Find<QComboBox>(dlg, "roomGrade")->isVisibleTo(&dlg));
    EXPECT_FALSE(Find<QDoubleSpinBox>(dlg, "roomClass")->isVisibleTo(&dlg));
    EXPECT_EQ(Find<QTableWidget>(dlg, "instruments")->item(0, 0)->text(), QStringLiteral("4294967295"));
    EXPECT_FALSE(Find<QPushButton>(dlg, "save")->isEnabled());

    // A click on the second location's dot selects it in the list and form.
    Find<QTabWidget>(dlg, "roomTabs")->setCurrentIndex(1);
    auto* plan = Find<CSitePlan>(dlg, "plan");
    auto* locations = Find<QTableWidget>(dlg, "locations");
    ASSERT_EQ(locations->rowCount(), 2);
    EXPECT_EQ(locations->item(1, 5)->text(), QStringLiteral("2024-01-01"));
    EXPECT_EQ(Find<QLineEdit>(dlg, "locationName")->text(), QStringLiteral("Filler"));
    QTest::mouseClick(plan, Qt::LeftButton, {}, plan->DotCentre(1).toPoint());
    EXPECT_EQ(locations->selectedItems().value(0)->row(), 1);
    EXPECT_EQ(Find<QLineEdit>(dlg, "locationName")->text(), QStringLiteral("Weighing"));
    EXPECT_EQ(Find<QDoubleSpinBox>(dlg, "locationX")->text(), QStringLiteral("4 m"));
    const QString file = QStringLiteral("site-view@%1x.png").arg(dlg.devicePixelRatioF());
    EXPECT_TRUE(
        dlg.grab().save(QString::fromStdString((test::TestOutputFolder("screenshots") / file.toStdString()).string())));

    // Close asks about an unsaved edit: Cancel keeps the dialog open,
    // Discard closes it and leaves the archive as it was.
    Type(Find<QLineEdit>(dlg, "locationName"), QStringLiteral("Scales"));
    int asked = 0;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    dlg.askUnsaved = [&] {
        ++asked;
        return answer;
    };
    Click(dlg, "close");
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(dlg.isVisible());
    answer = QMessageBox::Discard;
    Click(dlg, "close");
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(dlg.isVisible());
    {
        archive::Archive archive;
        std::string error;
        Register stored;
        ASSERT_TRUE(archive.Open(path, archive::OpenMode::ReadOnly, error) && archive.LoadRegister(stored, error))
            << error;
        EXPECT_EQ(RegisterJson(stored), RegisterJson(Expected()));
    }

    // A file that is no archive: said so, nothing to edit.
    const std::string foreign = (test::FreshTestFolder("site-dialog-foreign") / "archive.sqlite").string();
    std::ofstream(foreign) << "no archive\n";
    CSiteDlg unreadable(foreign);
    EXPECT_TRUE(unreadable.StatusText().contains(QStringLiteral("cannot be read")))
        << unreadable.StatusText().toStdString();
    EXPECT_FALSE(Find<QTabWidget>(unreadable, "tabs")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(unreadable, "save")->isEnabled());
}

}  // namespace
}  // namespace oront::site
