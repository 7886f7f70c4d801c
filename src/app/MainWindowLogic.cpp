#include "app/MainWindowLogic.h"

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

MainWindowLogic::MainWindowLogic(MainWindowView& view, DeviceBackend* backend) : m_view(view), m_usb(backend) {}

void MainWindowLogic::Message(const char* text) {
    g_strMessage = text;
    m_view.ShowMessage();
}

int MainWindowLogic::Question(const char* text) {
    g_strMessage = text;
    return m_view.Ask();
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
    static constexpr int kArchiveButtons[] = {ctl::kHistory, ctl::kTrend};
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
    ButtonState reached = Failed;
    if (!OpenDeviceLink(m_usb)) {
        Message(msg::kConnectFailed);
    } else if (!QueryRecordCount(m_usb, m_io, m_store)) {
        Message(msg::kReadFailed);
    } else if (m_store.m_nRecordCount == 0) {
        Message(msg::kNoData);
    } else {
        m_view.ClearTable();
        m_bTableHasRows = false;
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
            hooks.packetReceived = [&image](const std::uint8_t* packet) {
                image.insert(image.end(), packet, packet + kPacketSize);
            };
        }
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
        } else if (!cancelled) {
            Message(msg::kReadFailed);
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

void MainWindowLogic::ReadRecordsFrom(DeviceBackend& instrument) {
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
    OnReadRecords();
}

void MainWindowLogic::OnDeleteRecords() {
    if (m_bBusy) return;
    if (!OpenDeviceLink(m_usb)) {
        Message(msg::kConnectFailed);
        return;
    }
    if (Question(msg::kDeleteAsk1) != kEndOk) return;
    if (Question(msg::kDeleteAsk2) != kEndOk) return;
    if (Question(msg::kDeleteAsk3) != kEndOk) return;
    if (!EraseRecords(m_usb, m_io)) {
        Message(msg::kDeleteFailed);
        return;
    }
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
    if (HasUnsavedRows()) {
        const char* text = source == ExitSource::QuitButton ? msg::kQuitUnsaved : msg::kCloseUnsaved;
        if (Question(text) == kEndCancel) return false;
    }
    return true;
}

void MainWindowLogic::RequestExit(ExitSource source) {
    if (!ConfirmExit(source)) return;
    const bool okCode = source == ExitSource::QuitButton || source == ExitSource::EnterKey;
    m_view.EndDialog(okCode ? kEndOk : kEndCancel);
}

void MainWindowLogic::OnKeyDown(int keyCode) {
    if (keyCode == kCtrlKeyCode) g_bCtrlKeyDown = 1;
}

void MainWindowLogic::OnKeyUp(int keyCode) {
    if (keyCode == kCtrlKeyCode) g_bCtrlKeyDown = 0;
}

}  // namespace oront
