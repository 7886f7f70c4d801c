// The Site view: the site register kept in the archive, edited and saved
// back. Its tabs hold the organisation (name, address), the rooms (left: the
// list of rooms; right: the selected room's settings, its sampling locations
// with a plan of the room, and its alert and action limits) and the
// instruments with their calibration.
//
// Every change is checked against the register's rules at once: the first
// rule broken shows below the tabs, with a link that shows the item, and the
// field and list row it concerns are tinted red; Save stays disabled until
// the register keeps every rule again. Save replaces the register in the
// archive (all or nothing) and says how it went. Close, Escape and the
// window's close button ask before unsaved edits are dropped.
//
// A missing archive starts an empty register (Save creates the archive); an
// archive that cannot be read is said so and nothing can be edited.
#pragma once

#include <QDialog>
#include <QMessageBox>
#include <functional>
#include <string>
#include <vector>

#include "site/Register.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTableWidget;

namespace oront::site {

// The plan of a room: its locations as dots at their x/y positions (metres,
// x to the right, y upwards) over a grid, each with its number; critical
// locations are red diamonds, the selected one is ringed. A click on a dot
// tells `locationClicked` its index.
class CSitePlan : public QWidget {
public:
    explicit CSitePlan(QWidget* parent = nullptr);

    void SetLocations(std::vector<Location> locations, int selected);
    void SetSelected(int index);
    [[nodiscard]] int Selected() const { return m_selected; }
    // The centre of location `index`'s dot, in the widget's coordinates.
    [[nodiscard]] QPointF DotCentre(int index) const;
    // The location whose dot is nearest to `point` within reach, else -1.
    [[nodiscard]] int LocationAt(const QPointF& point) const;

    std::function<void(int index)> locationClicked;

    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // How metres map to pixels for the current size.
    struct Scale {
        double minX = 0, maxX = 1, minY = 0, maxY = 1;
        double pixelsPerM = 1;
        QPointF topLeft;  // the pixel of (minX, maxY)
        [[nodiscard]] QPointF At(double xM, double yM) const;
    };
    [[nodiscard]] Scale Layout() const;

    std::vector<Location> m_locations;
    int m_selected = -1;
};

class CSiteDlg : public QDialog {
    Q_OBJECT
public:
    // Reads the register from the archive at `archivePath` at once.
    explicit CSiteDlg(std::string archivePath, QWidget* parent = nullptr);

    // The register as edited so far.
    [[nodiscard]] const Register& Edited() const { return m_reg; }
    // Whether it differs from the one last read or saved.
    [[nodiscard]] bool Modified() const;
    // False when the archive could not be read.
    [[nodiscard]] bool Editable() const { return m_editable; }
    // The first rule the edited register breaks, in words; empty when none.
    [[nodiscard]] QString ValidationText() const { return m_validation; }
    // Where the register came from, or how the last save went.
    [[nodiscard]] QString StatusText() const;

    // Save: stores the register in the archive; false (and the reason in the
    // status) when it could not.
    bool Save();
    // Whether Save stored a register while the dialog was open (the archive
    // then judged its records again), however the dialog was closed.
    [[nodiscard]] bool Saved() const { return m_saved; }

    // Close, Escape, the close button: asks first when there are unsaved
    // edits (Save, Discard or Cancel).
    void reject() override;

    // For tests: answers the question about unsaved edits, instead of a
    // message box.
    std::function<QMessageBox::StandardButton()> askUnsaved;

private:
    void BuildOrganisationTab(QWidget* page);
    void BuildRoomsTab(QWidget* page);
    QWidget* BuildRoomPage();
    QWidget* BuildLocationsPage();
    QWidget* BuildLimitsPage();
    void BuildInstrumentsTab(QWidget* page);
    void Connect();
    void Load();

    // The item being edited, or nullptr while the forms are being filled or
    // none is selected.
    Room* EditedRoom();
    Location* EditedLocation();
    Limit* EditedLimit();
    Instrument* EditedInstrument();

    void ShowRegister();
    void SelectRoom(int index);
    void SelectLocation(int index);
    void SelectLimit(int index);
    void SelectInstrument(int index);
    void ShowRoomForm();
    void ShowLocationForm();
    void ShowLimitForm();
    void ShowInstrumentForm();
    void ShowStandardControls();
    void FillLimitLocations();
    // Rewrites the texts of every list row and the plan, then checks.
    void Changed();
    void RefreshRows();
    void Revalidate();
    void ShowBrokenItem();

    std::string m_archivePath;
    Register m_reg;
    std::string m_savedJson;  // the register as last read or saved
    bool m_editable = true;
    bool m_saved = false;
    bool m_filling = false;
    int m_room = -1;
    int m_location = -1;
    int m_limit = -1;
    int m_instrument = -1;
    QString m_validation;
    QString m_brokenPath;  // the path of the broken rule's item

    QLabel* m_status = nullptr;
    QTabWidget* m_tabs = nullptr;
    QLabel* m_validationLabel = nullptr;
    QPushButton* m_save = nullptr;
    QLineEdit* m_reason = nullptr;  // why the register changes, for the audit trail
    std::vector<QWidget*> m_marked;

    QLineEdit* m_orgName = nullptr;
    QPlainTextEdit* m_orgAddress = nullptr;

    QListWidget* m_rooms = nullptr;
    QPushButton* m_removeRoom = nullptr;
    QTabWidget* m_roomTabs = nullptr;
    QLineEdit* m_roomId = nullptr;
    QLineEdit* m_roomName = nullptr;
    QDoubleSpinBox* m_roomArea = nullptr;
    QComboBox* m_roomStandard = nullptr;
    QLabel* m_roomClassLabel = nullptr;
    QDoubleSpinBox* m_roomClass = nullptr;
    QLabel* m_roomGradeLabel = nullptr;
    QComboBox* m_roomGrade = nullptr;
    QComboBox* m_roomState = nullptr;
    QSpinBox* m_roomAdverseRun = nullptr;
    QPlainTextEdit* m_roomNotes = nullptr;

    QTableWidget* m_locations = nullptr;
    QPushButton* m_removeLocation = nullptr;
    CSitePlan* m_plan = nullptr;
    QWidget* m_locationForm = nullptr;
    QSpinBox* m_locationNumber = nullptr;
    QLineEdit* m_locationName = nullptr;
    QDoubleSpinBox* m_locationX = nullptr;
    QDoubleSpinBox* m_locationY = nullptr;
    QCheckBox* m_locationCritical = nullptr;
    QCheckBox* m_locationFromSet = nullptr;
    QDateEdit* m_locationFrom = nullptr;
    QCheckBox* m_locationToSet = nullptr;
    QDateEdit* m_locationTo = nullptr;

    QTableWidget* m_limits = nullptr;
    QPushButton* m_removeLimit = nullptr;
    QWidget* m_limitForm = nullptr;
    QComboBox* m_limitSize = nullptr;
    QDoubleSpinBox* m_limitAlert = nullptr;
    QDoubleSpinBox* m_limitAction = nullptr;
    QComboBox* m_limitLocation = nullptr;

    QTableWidget* m_instruments = nullptr;
    QPushButton* m_removeInstrument = nullptr;
    QWidget* m_instrumentForm = nullptr;
    QDoubleSpinBox* m_instrumentSerial = nullptr;
    QLineEdit* m_instrumentModel = nullptr;
    QDateEdit* m_instrumentCalibrated = nullptr;
    QDateEdit* m_instrumentDue = nullptr;
    QLineEdit* m_instrumentCertificate = nullptr;
    QDoubleSpinBox* m_instrumentFlow = nullptr;
};

}  // namespace oront::site
