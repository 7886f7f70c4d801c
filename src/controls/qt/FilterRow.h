// The fields of a row of filters above a list or chart: a day field that
// reads and shows the same in any locale, and a field with its label.
#pragma once

#include <QDateEdit>
#include <QHBoxLayout>

namespace oront {

// A day, "yyyy-MM-dd", with a calendar, from 2000 to 2099.
QDateEdit* NewDayEdit(QWidget* parent, const char* objectName);

// Adds the label `text` (its mnemonic gives the field the focus) and the
// field to the row, with a little room after them.
void AddLabelled(QHBoxLayout* row, QWidget* parent, const char* text, QWidget* field);

}  // namespace oront
