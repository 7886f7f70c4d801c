// The trend chart as the report program writes it, with Qt Charts.
#include <QFile>
#include <QGuiApplication>
#include <memory>

#include "ArchiveCommands.h"
#include "ReportCommand.h"
#include "archive/qt/TrendChart.h"

namespace oront::cli {

bool DrawTrend(const archive::Trend& trend, const std::string& path, std::string& error) {
    const std::unique_ptr<QGuiApplication> app = MakeHeadlessGuiApplication(true);
    QString why;
    if (archive::ExportTrendChart(trend, std::nullopt, QFile::decodeName(QByteArray::fromStdString(path)), why))
        return true;
    error = why.toStdString();
    return false;
}

}  // namespace oront::cli
