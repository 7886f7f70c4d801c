// The "Classify" dialog of the main window: the room (when the site
// register has rooms: every run by the room it maps to, or one room with
// its register settings) and the classification settings (standard, class
// or grade, occupancy state, considered sizes, count mode, room area and
// the certificate's paper), kept in the settings between runs; the result
// table per run, location and size with the means, limits, UCL and the
// verdicts in colour and in words (pass, fail, not-valid, not-classified);
// the achieved class of each run; the requirements of the standard a run
// breaks, with their clauses; the warnings; and the certificate to print,
// preview or export as PDF, numbered and kept by the issuer (the archive).
//
// Tests replace the file, print, preview and message dialogs (SetSeams).
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "classify/CertificateLayout.h"
#include "classify/Classify.h"
#include "classify/Rooms.h"
#include "records/RecordStore.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSettings;
class QTableWidget;

namespace oront::classify {

class CClassifyDlg : public QDialog {
    Q_OBJECT
public:
    // The store must outlive the dialog; the settings are read at once and
    // written whenever a setting changes.
    CClassifyDlg(const RecordStore& store, QSettings& settings, QWidget* parent = nullptr, ClassifySite site = {},
                 CertificateIssuer issuer = {});

    struct Seams {
        std::function<bool(std::string& path)> saveFile;  // true and the path on OK
        std::function<void(const Certificate&)> print;
        std::function<void(const Certificate&)> preview;
        std::function<void(const QString&)> message;
    };
    void SetSeams(Seams seams) { m_seams = std::move(seams); }

    [[nodiscard]] Settings CurrentSettings() const;
    [[nodiscard]] const RoomClassification& Result() const { return m_result; }
    [[nodiscard]] CertificatePaper Paper() const;
    // The columns of the result table.
    enum Column { kRun, kLocation, kSize, kMean, kLimit, kUcl, kVerdict, kColumns };
    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    [[nodiscard]] QString SummaryText() const;
    [[nodiscard]] QString WarningsText() const;
    [[nodiscard]] QString RequirementsText() const;
    // The certificate of what is shown, with the issuer's data.
    [[nodiscard]] Certificate MakeCertificate(const CertificateData& data) const;

    void Reclassify();
    void OnPrint();
    void OnPreview();
    void OnExportPdf();

private:
    void LoadSettings();
    void SaveSettings();
    void ShowStandardControls();
    void TakeRoomSettings();
    void Message(const QString& text);
    // Numbers the certificate (when the issuer can), then the data's text
    // and its SHA-256; false after the message.
    bool Issue(CertificateData& data, std::int64_t& id, std::string& text);

    const RecordStore& m_store;
    QSettings& m_settings;
    Seams m_seams;
    ClassifySite m_site;
    CertificateIssuer m_issuer;
    RoomClassification m_result;
    bool m_loading = false;

    QComboBox* m_room = nullptr;
    QLabel* m_roomLabel = nullptr;
    QComboBox* m_standard = nullptr;
    QComboBox* m_class = nullptr;
    QComboBox* m_grade = nullptr;
    QComboBox* m_state = nullptr;
    std::vector<QCheckBox*> m_sizes;
    QComboBox* m_counts = nullptr;
    QDoubleSpinBox* m_area = nullptr;
    QComboBox* m_paper = nullptr;
    QLabel* m_classLabel = nullptr;
    QLabel* m_gradeLabel = nullptr;
    QTableWidget* m_table = nullptr;
    QPlainTextEdit* m_summary = nullptr;
    QPlainTextEdit* m_requirements = nullptr;
    QPlainTextEdit* m_warnings = nullptr;
};

// Whether the store has a complete ISO run to classify.
bool HasCompleteRun(const RecordStore& store);

}  // namespace oront::classify
