// A report whose lines are given in advance, for printing a table that is not
// the record store's (and for exercising the layout with chosen texts).
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "records/RecordStore.h"

namespace oront {

class LineReport : public ReportSource {
public:
    LineReport() = default;
    LineReport(std::vector<ReportLine> lines, std::int32_t serialNumber)
        : m_lines(std::move(lines)), m_serialNumber(serialNumber) {}

    [[nodiscard]] int ReportLineCount() const override { return static_cast<int>(m_lines.size()); }
    [[nodiscard]] ReportLine ReportLineAt(int i) const override {
        return i >= 0 && i < ReportLineCount() ? m_lines[static_cast<std::size_t>(i)] : ReportLine{};
    }
    [[nodiscard]] std::int32_t ReportSerialNumber() const override { return m_serialNumber; }

private:
    std::vector<ReportLine> m_lines;
    std::int32_t m_serialNumber = 0;
};

}  // namespace oront
