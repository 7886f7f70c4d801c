#include "support/RecordingWindow.h"

#include <algorithm>

#include "base/Messages.h"

namespace oront::test {

RecordingWindow::RecordingWindow() {
    for (int id :
         {ctl::kReadRecords, ctl::kDeleteRecords, ctl::kSaveSelected, ctl::kSaveAll, ctl::kQuit, ctl::kDataPrint})
        enabled[id] = true;
    for (int id : {ctl::kCh1Value, ctl::kCh2Value, ctl::kCh3Value, ctl::kUnitValue}) visible[id] = true;
}

void RecordingWindow::ShowMessage() {
    messages.push_back(g_strMessage);
    extras.push_back(g_messageExtras);
    g_messageExtras = MessageExtras{};
    log.push_back("message:" + g_strMessage);
}

int RecordingWindow::Ask() {
    questions.push_back(g_strMessage);
    extras.push_back(g_messageExtras);
    g_messageExtras = MessageExtras{};
    log.push_back("ask:" + g_strMessage);
    if (answers.empty()) return kEndOk;
    const int a = answers.front();
    answers.erase(answers.begin());
    return a;
}

void RecordingWindow::SetLabelText(int id, const std::string& text) {
    labels[id] = text;
    log.push_back("label:" + std::to_string(id));
}

void RecordingWindow::SetFocus(int id) {
    focus = id;
    log.push_back("focus:" + std::to_string(id));
}

void RecordingWindow::SetWaitCursor(bool on) {
    waitCursor = on;
    log.push_back(on ? "wait:on" : "wait:off");
}

void RecordingWindow::ClearTable() {
    ++clears;
    log.push_back("clear");
}

void RecordingWindow::FillTable() {
    ++fills;
    log.push_back("fill");
}

void RecordingWindow::Progress(int received, int count) {
    lastProgress = {received, count};
    ++progressCalls;
    if (onProgress) onProgress();
}

bool RecordingWindow::Has(const std::string& entry) const {
    return std::find(log.begin(), log.end(), entry) != log.end();
}

std::size_t RecordingWindow::Index(const std::string& entry) const {
    return static_cast<std::size_t>(std::find(log.begin(), log.end(), entry) - log.begin());
}

}  // namespace oront::test
