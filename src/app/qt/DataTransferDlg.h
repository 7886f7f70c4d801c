// CDataTransferDlg: the main window (dialog template 102).
//
// The window owns the device backend chosen at start-up, the window logic
// (button states, the unsaved-data flag, the Read and Delete flows, the quit
// decision), the record list 1007 and the six skinned action buttons of the
// template, with "Classify", "History" and "Trend" in the free room of the button area. Every
// control carries its number as objectName ("1000", "1007"); the unnamed
// group box under the list is "-1".
//
// The window is sizable down to the template's size, where every control
// has its template place; the list takes the extra room, the labels and
// buttons keep their distances from the bottom and from the left side, the
// right side or the middle. Its size and place are kept between runs
// (OpenSettings()).
//
// A memory image written by "oront-v208-cli dump" opens without the
// instrument (Ctrl+O, dropping the file on the window, or the program's
// argument): the window reads it as "Read Records" reads the instrument,
// through a simulated instrument playing it, and its title names the file
// while the list shows its records.
//
// While records download, the progress display over the list has a Cancel
// button (Escape does the same); other input waits until the download ends.
// The About box opens from F1, from the context menu of the window's own
// surface, and on Windows from the system menu.
//
// Leaving the window: "Quit" asks with its own wording, the close box (and
// Alt+F4) with the other, while records are unsaved. Escape does nothing on
// an empty window and asks whenever records are listed; Enter never leaves:
// on the record list it opens or closes the ISO group at the row.
//
// A read never replaces listed records that are neither saved nor in the
// archive without asking first; when they are in the archive, the title
// says so instead.
//
// Every successful download (from the instrument, the demo instrument or an
// opened memory image, but not an archived download opened again) is kept
// in the download archive unless archiving is off (the History view's
// setting, or --no-archive); a download that cannot be archived says why in
// the window's title and is listed all the same. "History" (Ctrl+H) lists
// the archived downloads and opens one as after a Read Records, its title
// naming it; "Trend" (Ctrl+T) draws a location's counts over time.
//
// Tests replace the modal dialogs through SetDialogSeams().
#pragma once

#include <QDialog>
#include <QPixmap>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/MainWindowLogic.h"
#include "audit/Audit.h"
#include "controls/qt/Resources.h"
#include "device/MemoryImage.h"
#include "export/SaveFlows.h"
#include "site/Register.h"
#include "table/RecordTable.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QSettings;

namespace oront {

class CShadeButtonST;
class CRecordTableCtrl;

class CDataTransferDlg : public QDialog, private MainWindowView, private ISaveFlowView, private IRecordLabels {
    Q_OBJECT
public:
    explicit CDataTransferDlg(std::unique_ptr<DeviceBackend> backend, QWidget* parent = nullptr);
    ~CDataTransferDlg() override;

    MainWindowLogic& Logic() { return *m_pLogic; }
    // The control with the given number (nullptr when there is none).
    QWidget* Control(int id) const;

    // Replacements for the modal dialogs. `message` shows g_strMessage with
    // OK; `ask` shows it with OK and Cancel and returns 1 or 2; `about`
    // stands for the About box. An empty function restores the real dialog.
    struct DialogSeams {
        std::function<void()> message;
        std::function<int()> ask;
        std::function<void()> about;
        // The save-file dialog: true and the path on OK.
        std::function<bool(std::string& path)> saveFile;
        // The open-file dialog of a memory image: true and the path on OK.
        std::function<bool(std::string& path)> openFile;
        // The record range dialog of Save Selected: true on OK.
        std::function<bool()> range;
        // The print preview.
        std::function<void()> printPreview;
        // The classification dialog.
        std::function<void()> classify;
        // The Trend view of the archive at the path.
        std::function<void(const std::string& archivePath)> trend;
        // The Site view of the archive at the path: true when it saved.
        std::function<bool(const std::string& archivePath)> site;
    };
    void SetDialogSeams(DialogSeams seams) { m_seams = std::move(seams); }

    // Button handlers.
    void OnReadRecords();
    void OnDeleteRecords();
    void OnSaveAll();
    void OnSaveSelected();
    void OnDataPrint();
    // "Classify" (F7): the classification dialog over the download's
    // complete ISO runs; a message when there is none.
    void OnClassify();
    // "History" (Ctrl+H): the archived downloads; the one chosen is read as
    // after a Read Records and is not archived again.
    void OnHistory();
    // "Trend" (Ctrl+T): the Trend view of the archive.
    void OnTrend();
    // "Site" (Ctrl+E): the site register's view; a register saved there
    // judges the listed download again.
    void OnSite();
    void OnQuit();
    void OnAbout();
    // Ctrl+O: asks for a memory image file, then opens it.
    void OnOpenImage();

    // Reads the memory image in the file `path` as "Read Records" reads the
    // instrument; a file that cannot be read is reported with its name and
    // the reason. OpenImageLater does it once the event loop runs (after a
    // drop, or for the program's argument once the window shows).
    void OpenImage(const QString& path);
    void OpenImageLater(const QString& path);
    // The message for an image file that cannot be played: its name and why.
    static QString ImageFailureText(const QString& path, const std::string& reason);

    // How a control follows the window's size beyond the template's: the
    // list takes the extra room (Fill), the progress display stays in its
    // middle (Middle), the labels, buttons and group box keep their distance
    // from the bottom and from the left side, the middle or the right side,
    // or stretch with the width (BottomStretch).
    enum class Anchor { Fill, Middle, BottomLeft, BottomCentre, BottomRight, BottomStretch };
    // A control's template place `rect` in a window `extra` pixels larger
    // than the template.
    static QRect Placed(QRect rect, Anchor anchor, QSize extra);
    // The number of the "Classify" button, which the template does not have.
    static constexpr int kClassifyButton = 1100;

    // The download archive: `path` (empty for the default: $ORONT_ARCHIVE,
    // else $XDG_DATA_HOME/oront-v208/archive.sqlite), and whether this run
    // keeps its downloads out of it whatever the setting says.
    void SetArchive(const std::string& path, bool off);
    // Whether History's setting chooses the archive (no --archive, no
    // ORONT_ARCHIVE).
    [[nodiscard]] bool LocationFromSettings() const;
    [[nodiscard]] const std::string& ArchivePath() const { return m_archivePath; }
    // The message when the download has no complete ISO run.
    static constexpr const char* kNoRunToClassify = "There is no complete ISO run to classify.";

    // The settings in which the window keeps its size and place.
    static std::unique_ptr<QSettings> OpenSettings();

    // Text of the progress display during a download ("" while none runs).
    QString ProgressText() const;

    // Dialog OK (Enter) and Cancel (Escape) take the close path.
    void accept() override;
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void CreateControls();
    void ShowImageFailure(const QString& text);
    // Reads `image` as "Read Records" reads the instrument, through a
    // simulated instrument playing it; the title names it `name`.
    void ReadImage(MemoryImage image, const QString& name, bool archive);
    void ArchiveDownload(const MemoryImage& image);
    // The controls the archive's user list refuses this account (each with
    // the reason as its tooltip), and an event for the audit trail (a
    // failure to record it is said in the title).
    void ApplyRoles();
    CsvWriteFunction AuditedWriter();
    void AuditEvent(audit::Action action, const std::string& event, const std::string& data);
    // After a read: the monitoring line under the list, and the warning of an
    // instrument past its calibration.
    void ShowMonitoring();
    // Judges the listed download against the register kept in the archive;
    // the calibration warnings, joined (and kept for ShowMonitoring when
    // `warn`).
    std::string JudgeListed(bool warn);
    void SetupButtons();
    void LayOut();
    void RestoreWindowPlace();
    void SaveWindowPlace();

    // MainWindowView
    void ShowMessage() override;
    int Ask() override;
    void EnableButton(int id, bool enable) override;
    void SetLabelText(int id, const std::string& text) override;
    void ShowLabel(int id, bool show) override;
    void SetFocus(int id) override;
    void SetWaitCursor(bool on) override;
    void ClearTable() override;
    void FillTable() override;
    void SelectFirstRow() override;
    void Progress(int received, int count) override;
    void EndDialog(int code) override;
    void ShowStatus(const std::string& text) override;
    void RecordsErased() override;

    // ISaveFlowView
    bool RunSaveFileDialog(const std::string& initialName, const std::string& filter,
                           const std::string& defaultExtension, std::string& path) override;
    bool RunRangeDialog() override;
    void FocusRecordTable() override;
    void ClearDataNotSaved() override;

    std::unique_ptr<DeviceBackend> m_pBackend;
    std::unique_ptr<MainWindowLogic> m_pLogic;
    StretchedBitmap m_background{res::kBitmapBackground};
    // Every control with its template place and how it follows the size.
    struct Place {
        QWidget* widget;
        QRect rect;
        Anchor anchor;
    };
    std::vector<Place> m_places;
    QSize m_templateSize;
    CRecordTableCtrl* m_pList = nullptr;
    QProgressBar* m_pProgress = nullptr;
    QPushButton* m_pCancel = nullptr;
    DialogSeams m_seams;
    // What the read in progress shows, a file or an archived download ("" for
    // the instrument): the title names it once the list is emptied for them.
    QString m_readingName;
    // The read in progress is archived when it succeeds (not an archived
    // download opened again).
    bool m_bArchiveRead = true;
    std::string m_archivePath;
    std::string m_archiveGiven;        // by the command line
    std::map<int, QString> m_refused;  // control -> why the role refuses it
    std::map<int, QString> m_tips;     // control -> its own tooltip
    std::map<int, bool> m_wanted;      // control -> enabled as the window's state wants it
    bool m_bArchiveOff = false;
#ifdef Q_OS_WIN
    bool m_bSystemMenuReady = false;
#endif
    qint64 m_nLastProgressPaint = 0;
    QString m_status;  // the last note shown in the title
    // What the site register made of the listed download: each slot's level,
    // the line under the list and its worst level, the calibration warnings.
    std::vector<site::Level> m_levels;
    MemoryImage m_listedImage;
    QString m_monitoringText;
    site::Level m_monitoringLevel = site::Level::None;
    std::vector<std::string> m_calibrationWarnings;
    QLabel* m_pMonitoring = nullptr;
};

}  // namespace oront
