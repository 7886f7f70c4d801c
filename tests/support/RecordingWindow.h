// A main window for the window's logic that records what the window would
// show: messages, questions (answered from `answers`, OK when none is left),
// button and label states, the focus and the order of it all.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/MainWindowLogic.h"
#include "base/Messages.h"

namespace oront::test {

class RecordingWindow : public MainWindowView {
public:
    // The buttons start enabled and the value labels shown, as the dialog
    // template has them.
    RecordingWindow();

    void ShowMessage() override;
    int Ask() override;
    void EnableButton(int id, bool enable) override { enabled[id] = enable; }
    void SetLabelText(int id, const std::string& text) override;
    void ShowLabel(int id, bool show) override { visible[id] = show; }
    void SetFocus(int id) override;
    void SetWaitCursor(bool on) override;
    void ClearTable() override;
    void FillTable() override;
    void SelectFirstRow() override { ++selects; }
    void Progress(int received, int count) override;
    void EndDialog(int code) override { endCodes.push_back(code); }
    void ShowStatus(const std::string& text) override { statuses.push_back(text); }

    // Whether `entry` ("message:...", "ask:...", "label:ID", "focus:ID",
    // "wait:on", "wait:off", "clear", "fill") was logged, and where first.
    bool Has(const std::string& entry) const;
    std::size_t Index(const std::string& entry) const;

    std::map<int, bool> enabled;
    std::map<int, bool> visible;
    std::map<int, std::string> labels;
    std::vector<std::string> messages, questions, log, statuses;
    // What went with each message and question, in the order shown.
    std::vector<MessageExtras> extras;
    std::vector<int> answers, endCodes;
    int focus = 0, clears = 0, fills = 0, selects = 0, progressCalls = 0;
    bool waitCursor = false;
    std::pair<int, int> lastProgress{0, 0};
    std::function<void()> onProgress;  // called at every progress report
};

}  // namespace oront::test
