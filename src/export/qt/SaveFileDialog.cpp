#include "export/qt/SaveFileDialog.h"

#include <QFileDialog>

namespace oront {

namespace {
QString Latin1(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

QStringList QtNameFilters(std::string_view filter) {
    QStringList filters;
    const QStringList parts = Latin1(filter).split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& label = parts[i];
        const QString& pattern = parts[i + 1];
        if (label.isEmpty() && pattern.isEmpty()) break;
        if (label.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')')))
            filters << label;
        else
            filters << label + QStringLiteral(" (") + QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' ')) +
                           QLatin1Char(')');
    }
    return filters;
}

void SetupSaveFileDialog(QFileDialog& dialog, std::string_view initialName, std::string_view filter,
                         std::string_view defaultExtension) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setNameFilters(QtNameFilters(filter));
    QString suffix = Latin1(defaultExtension);
    while (suffix.startsWith(QLatin1Char('*')) || suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    dialog.selectFile(Latin1(initialName));
}

}  // namespace oront
