// The "History" view of the main window: the downloads kept in the archive
// in the order of archiving (id, time, serial number, records, new records
// and wrap position, as the command-line tool's history lists them), one of
// which opens as after a Read Records; and the setting that archives every
// download. An archive that holds nothing, is missing or cannot be read is
// said so in the dialog.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/Archive.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSettings;
class QTableWidget;

namespace oront::archive {

class CHistoryDlg : public QDialog {
    Q_OBJECT
public:
    // Reads the archive at `archivePath` at once. The settings keep
    // "Archive every download"; a change of the box is written at once.
    CHistoryDlg(std::string archivePath, QSettings& settings, QWidget* parent = nullptr);

    // The setting "Archive every download": on unless it was turned off.
    static bool ArchiveEveryDownload(QSettings& settings);
    // The setting "Archive": where the archive is, a file or a PostgreSQL
    // server's URI; empty for the default. A location that carries a
    // password is never kept.
    static std::string ArchiveLocation(QSettings& settings);
    // Whether the setting decides where the archive is (neither the command
    // line nor ORONT_ARCHIVE named one): a change then shows the new
    // location's history at once and Location() is where it is.
    void UseLocationSetting(bool inEffect) { m_locationInEffect = inEffect; }
    [[nodiscard]] bool LocationChanged() const { return m_locationChanged; }
    [[nodiscard]] const std::string& Location() const { return m_archivePath; }
    // How the main window's title names an opened download:
    // "Download 3 of 2026-12-08 17:40:03" (the local time of archiving).
    static QString DownloadName(const Download& download);

    enum Column { kId, kTime, kSerial, kRecords, kNewRecords, kWrapPosition, kColumns };
    [[nodiscard]] QTableWidget* Table() const { return m_table; }
    // Where the archive is and how many downloads it holds, that it holds
    // none, or why it cannot be read.
    [[nodiscard]] QString StatusText() const;

    // Open, a double click or Enter on a row: reads the chosen download's
    // memory image and ends the dialog with Accepted. A download that cannot
    // be read is reported in the dialog, which stays open.
    void OnOpen();
    [[nodiscard]] const Download& Chosen() const { return m_chosen; }

    // Verify: SQLite's integrity check and every download and record checked
    // against what was stored; the status says the result, the damage first.
    void OnVerify();
    [[nodiscard]] const std::vector<std::uint8_t>& ChosenImage() const { return m_image; }

    // Sign...: signs the chosen download electronically with the meaning
    // and the signing password asked for; the status says the signature or
    // why it was refused.
    void OnSign();
    // For tests: answers the signing question instead of a dialog (false:
    // cancelled).
    std::function<bool(audit::Meaning& meaning, QString& password)> askSignature;

private:
    void Fill();

    std::string m_archivePath;
    QSettings& m_settings;
    std::vector<Download> m_downloads;
    Download m_chosen;
    std::vector<std::uint8_t> m_image;
    QLabel* m_status = nullptr;
    QTableWidget* m_table = nullptr;
    QCheckBox* m_archiveEvery = nullptr;
    QLineEdit* m_location = nullptr;
    bool m_locationInEffect = false;
    bool m_locationChanged = false;
    QPushButton* m_open = nullptr;
    QPushButton* m_verify = nullptr;
    QPushButton* m_sign = nullptr;
};

}  // namespace oront::archive
