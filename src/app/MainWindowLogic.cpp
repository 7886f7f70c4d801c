#include "app/MainWindowLogic.h"

#include <cctype>
#include <cstring>

#include "app/DownloadTables.h"
#include "base/Messages.h"
#include "records/CFormat.h"
#include "table/DragSelect.h"

namespace oront {

ChannelLabels ChannelLabelsForCode(int sizeCode) {
    switch (sizeCode) {
        case 0:
            return {"0.3um", "0.5um", "5.0um"};
        case 1:
            return {"0.3um", "1.0um", "5.0um"};
        case 2:
            return {"0.3um", "2.0um", "5.0um"};
        case 3:
            return {"0.3um", "2.5um", "5.0um"};
        case 10:
            return {"0.5um", "1.0um", "5.0um"};
        case 11:
            return {"0.5um", "2.0um", "5.0um"};
        case 12:
            return {"0.5um", "2.5um", "5.0um"};
        default:
            return {"0.3um", "", "5.0um"};
    }
}

MainWindowLogic::MainWindowLogic(MainWindowView& view, DeviceBackend* backend)
    : m_view(view), m_usb(backend), m_pOwnBackend(backend) {}

void MainWindowLogic::Message(const char* text, std::string detail, MessageIcon icon) {
    SetMessage(text, std::move(detail), icon);
    m_view.ShowMessage();
}

int MainWindowLogic::Question(const char* text, std::string detail, MessageIcon icon, bool cancelIsDefault) {
    SetMessage(text, std::move(detail), icon, cancelIsDefault);
    return m_view.Ask();
}

std::string MainWindowLogic::ConnectFailure() const {
    const DeviceBackend* backend = m_usb.Backend();
    std::string why = backend != nullptr ? backend->FailureText() : std::string();
    if (why.empty()) why = "the instrument was not found, or its pipes could not be opened";
    why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    return why + ".";
}

std::string MainWindowLogic::CountFailure() const {
    const std::uint8_t* reply = m_io.m_reply;
    if (IsErrorReply(reply)) return "The instrument refused the count command (its reply begins with @ER).";
    bool silent = true;
    for (std::size_t i = 0; i < kPacketSize; ++i) silent = silent && reply[i] == 0;
    if (silent) return "The instrument did not answer the count command.";
    return "The instrument's count reply announces no record count it can hold (" +
           std::to_string((unsigned{reply[0]} << 8) | reply[1]) + ").";
}

void MainWindowLogic::OnInitDialog() {
    m_tFactor = TFactorTable{};
    m_bDataNotSaved = false;
    m_store.m_nLastRow = 0;
    std::memset(m_io.m_reply, 0, sizeof m_io.m_reply);
    UpdateChannelLabels();
    SetButtonState(NoData);
    m_view.SetFocus(ctl::kReadRecords);
}

void MainWindowLogic::SetButtonState(ButtonState state) {
    m_state = state;
    static constexpr int kDataButtons[] = {ctl::kSaveSelected, ctl::kSaveAll, ctl::kDeleteRecords, ctl::kDataPrint};
    // The archive's views need no download, only no download running.
    static constexpr int kArchiveButtons[] = {ctl::kHistory, ctl::kTrend, ctl::kSite};
    switch (state) {
        case NoData:
            for (int id : kDataButtons) m_view.EnableButton(id, false);
            break;
        case Busy:
            for (int id : kDataButtons) m_view.EnableButton(id, false);
            m_view.EnableButton(ctl::kQuit, false);
            break;
        case Failed:
            m_view.EnableButton(ctl::kQuit, true);
            break;
        case Ready:
            for (int id : kDataButtons) m_view.EnableButton(id, true);
            m_view.EnableButton(ctl::kQuit, true);
            break;
    }
    for (int id : kArchiveButtons) m_view.EnableButton(id, state != Busy);
}

void MainWindowLogic::ShowValueLabels(bool show) {
    for (int id : {ctl::kCh1Value, ctl::kCh2Value, ctl::kCh3Value, ctl::kUnitValue}) m_view.ShowLabel(id, show);
}

void MainWindowLogic::UpdateChannelLabels() {
    if (m_store.m_nRecordCount <= 0) {
        ShowValueLabels(false);
        return;
    }
    const MeasurementRecord& first = m_store.RecordOf(0);
    const ChannelLabels labels = ChannelLabelsForCode(CAtoi(first.m_strSizeCode));
    m_view.SetLabelText(ctl::kCh2Value, labels.ch2);
    m_view.SetLabelText(ctl::kCh1Value, labels.ch1);
    m_view.SetLabelText(ctl::kCh3Value, labels.ch3);
    m_view.SetLabelText(ctl::kUnitValue, first.m_strUnit.str());
    ShowValueLabels(true);
    m_view.SelectFirstRow();
}

void MainWindowLogic::OnReadRecords() {
    if (m_bBusy) return;  // the download lets the window paint; never start a second one
    // Listed records that are neither saved nor kept in the archive are not
    // replaced without a question, as quitting would not drop them.
    if (HasUnsavedRows() && m_listedArchiveId == 0 &&
        Question(msg::kReplaceUnsaved, {}, MessageIcon::Warning) == kEndCancel) {
        m_view.SetFocus(ctl::kRecordList);
        return;
    }
    ButtonState reached = Failed;
    const std::int64_t replacedArchiveId = HasUnsavedRows() ? m_listedArchiveId : 0;
    if (!OpenDeviceLink(m_usb)) {
        Message(msg::kConnectFailed, ConnectFailure(), MessageIcon::Error);
    } else if (!QueryRecordCount(m_usb, m_io, m_store)) {
        Message(msg::kReadFailed, CountFailure(), MessageIcon::Error);
    } else if (m_store.m_nRecordCount == 0) {
        Message(msg::kNoData, "The instrument holds no records.", MessageIcon::Warning);
    } else {
        m_view.ClearTable();
        if (replacedArchiveId != 0)
            m_view.ShowStatus("the records listed before are in the archive as download " +
                              std::to_string(replacedArchiveId));
        m_bTableHasRows = false;
        m_listedArchiveId = 0;
        m_listedSource = m_readingSource;
        m_bDataNotSaved = false;
        m_store.m_nLastRow = 0;
        SetButtonState(Busy);

        DownloadHooks hooks;
        hooks.progress = [this](int received, int count) { m_view.Progress(received, count); };
        hooks.cancelled = [this] { return m_bCancelRequested; };
        // The image as received: the count reply, then every record packet.
        MemoryImage image;
        if (m_downloaded) {
            image.reserve(kPacketSize * (1 + 2 * static_cast<std::size_t>(m_store.m_nRecordCount)));
            image.assign(m_io.m_reply, m_io.m_reply + kPacketSize);
        }
        // How far the download came, and whether it ended on an error reply,
        // for the message of a failure.
        int packets = 0;
        bool refused = false;
        hooks.packetReceived = [&](const std::uint8_t* packet) {
            ++packets;
            refused = IsErrorReply(packet);
            if (m_downloaded) image.insert(image.end(), packet, packet + kPacketSize);
        };
        m_bCancelRequested = false;
        m_bBusy = true;
        m_view.SetWaitCursor(true);
        bool ok = false;
        try {
            ok = DownloadRecords(m_usb, m_io, m_store, hooks);
            if (ok) {
                BuildDownloadTables(m_store, m_tFactor, [this] {
                    m_view.FillTable();
                    m_bTableHasRows = m_store.m_nLastRow >= 0;
                });
                if (m_downloaded) m_downloaded(image);
            }
        } catch (...) {
            m_view.SetWaitCursor(false);
            m_bBusy = false;
            m_bCancelRequested = false;
            throw;
        }
        m_view.SetWaitCursor(false);
        m_bBusy = false;
        const bool cancelled = m_bCancelRequested;
        m_bCancelRequested = false;
        if (ok) {
            reached = Ready;
            if (m_usb.Backend() == m_pOwnBackend) m_nOwnSerial = static_cast<std::uint32_t>(m_store.m_nSerialNumber);
        } else if (!cancelled) {
            const int count = m_store.m_nRecordCount;
            const int record = refused ? (packets + 1) / 2 : packets / 2 + 1;
            Message(msg::kReadFailed,
                    refused ? "The instrument sent an error reply in place of record " + std::to_string(record) +
                                  " of " + std::to_string(count) + "."
                            : "The instrument stopped sending after " + std::to_string(packets / 2) + " of " +
                                  std::to_string(count) + " records (no packet of record " + std::to_string(record) +
                                  " arrived in time).",
                    MessageIcon::Error);
        }
    }
    SetButtonState(reached);
    UpdateChannelLabels();
    if (m_store.m_nRecordCount > 0) m_bDataNotSaved = true;
    m_view.SetFocus(ctl::kRecordList);
}

void MainWindowLogic::RequestCancel() {
    if (m_bBusy) m_bCancelRequested = true;
}

void MainWindowLogic::ReadRecordsFrom(DeviceBackend& instrument, const std::string& source) {
    if (m_bBusy) return;
    DeviceBackend* own = m_usb.Backend();
    // Pipes a failed read leaves open belong to the other instrument: they
    // are closed there before the own instrument takes over again.
    struct Restore {
        CUsbIF& usb;
        DeviceBackend* own;
        ~Restore() {
            usb.ClosePipes();
            usb.SetBackend(own);
        }
    } restore{m_usb, own};
    m_usb.ClosePipes();
    m_usb.SetBackend(&instrument);
    m_readingSource = source.empty() ? "another instrument" : source;
    OnReadRecords();
    m_readingSource.clear();
}

void MainWindowLogic::OnDeleteRecords() {
    if (m_bBusy) return;
    if (!OpenDeviceLink(m_usb)) {
        Message(msg::kConnectFailed, ConnectFailure(), MessageIcon::Error);
        return;
    }
    // Each question has Cancel as its default: Enter alone never erases.
    // While the list shows records from elsewhere (a file, the archive), the
    // first one says which instrument is erased.
    std::string which;
    if (m_bTableHasRows && !m_listedSource.empty()) {
        which = "This erases every record on the instrument attached over USB";
        if (m_nOwnSerial >= 0) which += " (serial number " + std::to_string(m_nOwnSerial) + ")";
        which += ", not the records listed from " + m_listedSource + ".";
    }
    if (Question(msg::kDeleteAsk1, which, MessageIcon::Warning, true) != kEndOk) return;
    if (Question(msg::kDeleteAsk2, {}, MessageIcon::Warning, true) != kEndOk) return;
    if (Question(msg::kDeleteAsk3, {}, MessageIcon::Warning, true) != kEndOk) return;
    if (!EraseRecords(m_usb, m_io)) {
        Message(msg::kDeleteFailed, "The instrument did not confirm the erase command.", MessageIcon::Error);
        return;
    }
    m_view.RecordsErased();
    Message(msg::kDeleted);
    m_usb.ClosePipes();
    if (!HasUnsavedRows()) {
        m_view.ClearTable();
        m_bTableHasRows = false;
        m_bDataNotSaved = false;
        m_store.m_nLastRow = 0;
        ShowValueLabels(false);
        SetButtonState(NoData);
    }
    // Otherwise the listed records are now their only copy: the table, its
    // labels, the buttons and the unsaved flag stay, so that they can still
    // be saved and quitting still asks.
    m_view.SetFocus(ctl::kReadRecords);
}

void MainWindowLogic::OnSaveFinished(bool written) {
    if (written) m_bDataNotSaved = false;
    m_view.SetFocus(ctl::kRecordList);
}

bool MainWindowLogic::ConfirmExit(ExitSource source) {
    // Never leave in the middle of a download: its handler is still running.
    if (m_bBusy) return false;
    if (source == ExitSource::EscapeKey) {
        // Escape on an empty window does nothing; with records listed it
        // asks as Quit does, also when they are saved.
        if (!m_bTableHasRows) return false;
        return Question(HasUnsavedRows() ? msg::kQuitUnsaved : msg::kExitListed) != kEndCancel;
    }
    if (HasUnsavedRows()) {
        const char* text = source == ExitSource::QuitButton ? msg::kQuitUnsaved : msg::kCloseUnsaved;
        if (Question(text) == kEndCancel) return false;
    }
    return true;
}

void MainWindowLogic::RequestExit(ExitSource source) {
    if (!ConfirmExit(source)) return;
    m_view.EndDialog(source == ExitSource::QuitButton ? kEndOk : kEndCancel);
}

void MainWindowLogic::OnKeyDown(int keyCode) {
    if (keyCode == kCtrlKeyCode) g_bCtrlKeyDown = 1;
}

void MainWindowLogic::OnKeyUp(int keyCode) {
    if (keyCode == kCtrlKeyCode) g_bCtrlKeyDown = 0;
}

}  // namespace oront
