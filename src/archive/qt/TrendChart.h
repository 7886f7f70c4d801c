// A trend drawn with Qt Charts: each cycle a point, each
// location mean a square, the class or grade limit a dashed red line, the
// room's alert limit a dotted amber line and its action limit a dash-dotted
// red one, the cycles above them amber and red points; and the same chart
// written as a PNG, SVG or PDF file. Both axes carry ticks of their own at
// round values, made again whenever the shown range changes (a zoom or a
// pan): times at round seconds, minutes, hours, days, months or years,
// labelled with what the span needs; values in steps of 1, 2 or 5 times a
// power of ten, with thousands separated by commas.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

#include "archive/Trend.h"

QT_BEGIN_NAMESPACE
class QChart;
QT_END_NAMESPACE

namespace oront::archive {

// A part of the time and value axes (the view zoomed or panned); none: all.
struct TrendRange {
    qint64 fromMs = 0;  // the axis' milliseconds (local time)
    qint64 toMs = 0;
    double low = 0.0;
    double high = 0.0;
};

// The chart's milliseconds of a trend time: the instrument's clock counted
// as UTC, as the trend counts it, and shown as UTC, so that the axis and the
// pointer's readout show the figures the instrument stored (no time zone and
// no daylight-saving shift in between).
qint64 TrendAxisMs(std::int64_t seconds);

// A value rounded to `decimals` places with thousands separated by commas
// and a decimal point ("2,950,000", "0.5"), the same in any locale.
QString GroupedNumber(double value, int decimals = 0);

// "Location 3, 0.5 µm (1,234 cycles)" ("Location 3 – beside the filling
// needle (Filling room 2), 0.5 µm (87 cycles)" where the register names it)
// and the limit's note, if any.
QString TrendTitle(const Trend& trend);

// A new chart of the trend (the caller owns it), showing `range` if given.
QChart* MakeTrendChart(const Trend& trend, const std::optional<TrendRange>& range = std::nullopt);

// Draws the trend as `suffix` says ("png", "svg" or "pdf", in any case;
// 1600x900 pixels, or an A4 landscape page) into `bytes`. false with the
// reason in `error`.
bool RenderTrendChart(const Trend& trend, const std::optional<TrendRange>& range, const QString& suffix,
                      QByteArray& bytes, QString& error);

// Writes the trend into the file `path` (the name's own bytes, as the system
// takes them) as its suffix says, through OutputFile: a device or FIFO is
// written, never replaced, and a failure leaves no partial file. The file is
// opened before the chart is drawn, so that a name that cannot be written
// fails first. false with the reason in `error` ("No such file or directory:
// /path" where the file cannot be written).
bool ExportTrendChart(const Trend& trend, const std::optional<TrendRange>& range, const std::string& path,
                      std::string& error);

}  // namespace oront::archive
