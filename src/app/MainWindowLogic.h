// The main window's logic without a window system: which buttons are enabled
// when, the unsaved-data flag, the channel-size labels, the Read and Delete
// flows and the decision to quit. The window (or a test) supplies a
// MainWindowView that performs the visible effects.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Messages.h"
#include "device/DeviceLink.h"
#include "device/MemoryImage.h"
#include "device/Protocol.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"

namespace oront {

// Control ids of the main window (dialog template 102).
namespace ctl {
inline constexpr int kReadRecords = 1000;
inline constexpr int kDeleteRecords = 1002;
inline constexpr int kSaveSelected = 1003;
inline constexpr int kSaveAll = 1005;
inline constexpr int kQuit = 1006;
inline constexpr int kRecordList = 1007;
inline constexpr int kCh1Caption = 1009;
inline constexpr int kCh1Value = 1010;
inline constexpr int kCh2Caption = 1011;
inline constexpr int kCh2Value = 1012;
inline constexpr int kCh3Caption = 1013;
inline constexpr int kCh3Value = 1014;
inline constexpr int kUnitCaption = 1015;
inline constexpr int kUnitValue = 1016;
inline constexpr int kDataPrint = 1028;
// Not in the template: the archive's History and Trend views.
inline constexpr int kHistory = 1101;
inline constexpr int kTrend = 1102;
// The site register's view.
inline constexpr int kSite = 1103;
}  // namespace ctl

// The platform's virtual-key code of Ctrl.
inline constexpr int kCtrlKeyCode = 17;

// End codes of the main window.
inline constexpr int kEndOk = 1;
inline constexpr int kEndCancel = 2;

enum ButtonState { NoData = 0, Busy = 1, Failed = 2, Ready = 3 };

// The channel-size label texts for a size code (Ch2 is empty for an unknown code).
struct ChannelLabels {
    const char* ch1;
    const char* ch2;
    const char* ch3;
};
ChannelLabels ChannelLabelsForCode(int sizeCode);

// What the logic needs of the window.
class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    // Shows g_strMessage in the one-button message dialog.
    virtual void ShowMessage() = 0;
    // Shows g_strMessage in the OK/Cancel dialog; 1 for OK, 2 for Cancel.
    virtual int Ask() = 0;
    virtual void EnableButton(int id, bool enable) = 0;
    virtual void SetLabelText(int id, const std::string& text) = 0;
    virtual void ShowLabel(int id, bool show) = 0;
    virtual void SetFocus(int id) = 0;
    virtual void SetWaitCursor(bool on) = 0;
    // Empties the record list (redrawing suspended, then repainted at once).
    virtual void ClearTable() = 0;
    // Fills the record list from the result table (called by the download).
    virtual void FillTable() = 0;
    // Gives the first row of the record list the selected and focused state.
    virtual void SelectFirstRow() = 0;
    // Records received so far of the count, during a download.
    virtual void Progress(int received, int count) = 0;
    // Ends the main window with the end code.
    virtual void EndDialog(int code) = 0;
    // A note for the user that asks for no answer (the window shows it in
    // its title): what became of the records a read replaced.
    virtual void ShowStatus(const std::string& /*text*/) {}
    // The instrument confirmed the erase (the audit trail keeps it).
    virtual void RecordsErased() {}
};

// Where a request to leave the window came from; each has its own wording
// and end code. Enter never ends the window.
enum class ExitSource {
    QuitButton,    // "Quit" (1006): end code 1
    CloseCommand,  // close box, Alt+F4, system menu Close: end code 2
    EscapeKey,     // Escape: nothing while nothing is listed, else a question; end code 2
};

class MainWindowLogic {
public:
    // The logic uses the backend for every device action; it does not own it.
    MainWindowLogic(MainWindowView& view, DeviceBackend* backend);
    MainWindowLogic(const MainWindowLogic&) = delete;
    MainWindowLogic& operator=(const MainWindowLogic&) = delete;

    // The window's initialisation steps that carry state: t factors, the
    // flag, the counters, the labels, the buttons and the first focus.
    void OnInitDialog();

    void SetButtonState(ButtonState state);
    void UpdateChannelLabels();

    void OnReadRecords();
    void OnDeleteRecords();
    // "Read Records" from another instrument than the window's own (a memory
    // image played by a simulated instrument, named `source` for the user:
    // the file, the archived download): the same flow, messages and states;
    // the own instrument serves every later action.
    void ReadRecordsFrom(DeviceBackend& instrument, const std::string& source = {});

    // The listed records are kept in the archive as download `id` (0: they
    // are not): a read that replaces them unsaved then only says so, instead
    // of asking. A new read starts at 0 again.
    void SetListedArchiveId(std::int64_t id) { m_listedArchiveId = id; }
    [[nodiscard]] std::int64_t ListedArchiveId() const { return m_listedArchiveId; }
    // Asks the download in progress to stop before its next packet; it then
    // ends as a failed download does (pipes closed, no tables, state
    // Failed), without the failure message. Nothing happens while no
    // download runs.
    void RequestCancel();

    // Called with the memory image of every successful download, exactly
    // as received (the count packet, then the record packets), once the
    // tables are built and while the window is still busy: the download
    // archive keeps it. No image is collected while no handler is set.
    void SetDownloadHandler(std::function<void(const MemoryImage&)> handler) { m_downloaded = std::move(handler); }

    // After a save flow: a successful write clears the flag; the focus goes
    // to the record list in every case.
    void OnSaveFinished(bool written);

    // Asks when records are unsaved; true when the window may end. The
    // caller ends it (or RequestExit does).
    bool ConfirmExit(ExitSource source);
    // ConfirmExit, then ends the window with the source's end code.
    void RequestExit(ExitSource source);

    // Ctrl-key tracking: key code 17 sets or clears g_bCtrlKeyDown.
    static void OnKeyDown(int keyCode);
    static void OnKeyUp(int keyCode);

    // Downloaded records are listed in the table and have not been saved:
    // quitting asks, and an erase keeps them.
    bool HasUnsavedRows() const { return m_bDataNotSaved && m_bTableHasRows; }

    bool IsBusy() const { return m_bBusy; }
    ButtonState State() const { return m_state; }
    bool DataNotSaved() const { return m_bDataNotSaved; }

    RecordStore& Store() { return m_store; }
    const RecordStore& Store() const { return m_store; }
    CUsbIF& Usb() { return m_usb; }
    CommandBuffers& Buffers() { return m_io; }
    const TFactorTable& TFactor() const { return m_tFactor; }

private:
    void Message(const char* text, std::string detail = {}, MessageIcon icon = MessageIcon::Information);
    int Question(const char* text, std::string detail = {}, MessageIcon icon = MessageIcon::Information,
                 bool cancelIsDefault = false);
    // The cause of a failed read, from what the instrument answered.
    std::string ConnectFailure() const;
    std::string CountFailure() const;
    void ShowValueLabels(bool show);

    MainWindowView& m_view;
    CommandBuffers m_io;
    TFactorTable m_tFactor;
    RecordStore m_store;
    bool m_bDataNotSaved = false;
    bool m_bTableHasRows = false;  // the record table lists a download
    CUsbIF m_usb;
    ButtonState m_state = NoData;
    bool m_bBusy = false;
    bool m_bCancelRequested = false;
    std::function<void(const MemoryImage&)> m_downloaded;
    DeviceBackend* m_pOwnBackend;    // the instrument attached to the window
    std::string m_listedSource;      // where the listed records came from ("" the own instrument)
    std::int64_t m_nOwnSerial = -1;  // the serial number the own instrument's records carry; -1 unknown
    std::int64_t m_listedArchiveId = 0;
    std::string m_readingSource;  // the source of the read in progress
};

}  // namespace oront
