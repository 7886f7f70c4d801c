// The trend chart as the report program writes it, with Qt Charts.
#include <QGuiApplication>
#include <memory>

#include "ArchiveCommands.h"
#include "ReportCommand.h"
#ifndef ORONT_NO_CHARTS
#include "archive/qt/TrendChart.h"
#endif

namespace oront::cli {

#ifdef ORONT_NO_CHARTS
bool DrawTrend(const archive::Trend&, const std::string&, std::string& error) {
    error = "this build has no chart support";
    return false;
}
#else
bool DrawTrend(const archive::Trend& trend, const std::string& path, std::string& error) {
    const std::unique_ptr<QGuiApplication> app = MakeHeadlessGuiApplication(true);
    // The name as the command line gave it: its bytes are the file's name.
    return archive::ExportTrendChart(trend, std::nullopt, path, error);
}
#endif

}  // namespace oront::cli
