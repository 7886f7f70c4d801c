#include "controls/qt/LimitEdit.h"

#include <QKeyEvent>

namespace oront {

CLimitEdit::CLimitEdit(QWidget* parent) : QLineEdit(parent) {}

void CLimitEdit::keyPressEvent(QKeyEvent* event) {
    const QString typed = event->text();
    // Only single printable characters are filtered; control characters
    // (backspace, Enter, Ctrl+letter) belong to the plain edit behaviour.
    if (typed.size() == 1 && typed.at(0).unicode() >= 0x20 && typed.at(0).unicode() != 0x7F) {
        const char16_t c = typed.at(0).unicode();
        if (c < u'0' || c > u'9') {
            event->accept();  // discarded silently
            return;
        }
        if (m_nLimit > 0) {
            const auto remaining = text().size() - selectedText().size();
            if (remaining + 1 > m_nLimit) {
                event->accept();  // the text limit is reached
                return;
            }
        }
    }
    QLineEdit::keyPressEvent(event);
}

}  // namespace oront
