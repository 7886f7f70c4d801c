// CLimitEdit: a line edit that takes only digits and backspace as typed
// characters.
//
// Every other printable character is dropped without a sound. Keys that are
// not character input (arrows, Delete, Home/End, Tab, Enter, shortcuts such
// as Ctrl+C) pass through unchanged, and pasting is not filtered.
//
// SetLimitText limits what the user can type, like an edit control's text
// limit: a program may still put a longer text into the field with setText
// (the preview's End Page field shows "1667" while typing stops at three
// characters). A limit of 0 means no limit.
#pragma once

#include <QLineEdit>

namespace oront {

class CLimitEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit CLimitEdit(QWidget* parent = nullptr);

    void SetLimitText(int maxChars) { m_nLimit = maxChars; }
    [[nodiscard]] int GetLimitText() const { return m_nLimit; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    int m_nLimit = 0;
};

}  // namespace oront
