#include "controls/qt/FilterRow.h"

#include <QLabel>

namespace oront {

QDateEdit* NewDayEdit(QWidget* parent, const char* objectName) {
    auto* day = new QDateEdit(parent);
    day->setObjectName(QLatin1String(objectName));
    day->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    day->setCalendarPopup(true);
    day->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
    return day;
}

void AddLabelled(QHBoxLayout* row, QWidget* parent, const char* text, QWidget* field) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    // The mnemonic's underline splits the text where it is drawn, which
    // loses the kerning its width was measured with ("To" lost its "o"):
    // without kerning both agree.
    QFont font = label->font();
    font.setKerning(false);
    label->setFont(font);
    label->setBuddy(field);
    row->addWidget(label);
    row->addWidget(field);
    row->addSpacing(8);
}

}  // namespace oront
