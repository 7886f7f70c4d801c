// The trend chart as the report program writes it.
#include <QGuiApplication>
#include <memory>

#include "ArchiveCommands.h"
#include "ReportCommand.h"
#include "archive/qt/TrendChart.h"

namespace oront::cli {

bool DrawTrend(const archive::Trend& trend, const std::string& path, std::string& error) {
    const std::unique_ptr<QGuiApplication> app = MakeHeadlessGuiApplication(true);
    // The name as the command line gave it: its bytes are the file's name.
    return archive::ExportTrendChart(trend, std::nullopt, path, error);
}

}  // namespace oront::cli
