// The save dialog of "Save All" and "Save Selected" on Qt's file dialog.
//
// The save flows describe their filter as label and pattern pairs, each
// followed by '|' ("DATA FILE(*.csv)|*.csv|"). Qt's dialog takes one text a
// filter and shows it as given, so a label that already names its pattern
// is handed over alone: "DATA FILE(*.csv)", not "DATA FILE(*.csv) (*.csv)".
#pragma once

#include <QStringList>
#include <string_view>

class QFileDialog;

namespace oront {

// Qt's name filters for "label|pattern|..." pairs: the label when it ends
// with its pattern in parentheses, otherwise "label (pattern)" (patterns
// separated by ';' become separated by blanks).
QStringList QtNameFilters(std::string_view filter);

// Makes `dialog` the flows' save dialog: save mode, asking before it
// overwrites a file, the filters, the extension added to a name typed
// without one (".csv" or "*.csv"), and the initial name.
void SetupSaveFileDialog(QFileDialog& dialog, std::string_view initialName, std::string_view filter,
                         std::string_view defaultExtension);

}  // namespace oront
