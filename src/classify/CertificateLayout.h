// The classification certificate on the report surface: a portrait page of
// A4 or Letter with the instrument, the standard and the settings, then per
// run its location, records and time span, the table of location means
// against the limits (and the confidence limit), the verdicts, the achieved
// class and the warnings, and at the end the lines to sign. Runs that do not
// fit one page continue on the next, a table's header repeated above its
// continued rows; every page carries "Page i of n".
//
// The layout is made once (Certificate) and drawn page by page, on a screen
// surface for a preview or on a printer surface for a print run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "classify/Classify.h"
#include "print/ReportLayout.h"

namespace oront::classify {

enum class CertificatePaper { A4, Letter };
struct PaperSize {
    int widthMM = 0;
    int heightMM = 0;
};
// Portrait: 210 x 297 mm (A4), 216 x 279 mm (Letter).
PaperSize CertificatePaperSize(CertificatePaper paper);

inline constexpr const char* kCertificateTitle = "Cleanroom Classification Certificate";

class Certificate {
public:
    Certificate(const Classification& result, std::int32_t serialNumber, CertificatePaper paper);

    [[nodiscard]] int PageCount() const { return static_cast<int>(m_pages.size()); }
    [[nodiscard]] PaperSize Paper() const { return m_paper; }
    // Draws page `page` (1-based) on the surface, the paper's top left
    // corner at the surface's origin.
    void DrawPage(ReportSurface& dc, int page) const;
    // Every page as one document. False when the device refuses a step: the
    // document is then aborted.
    bool Print(ReportSurface& dc) const;

    enum class Style { Title, Text, Heading, TableHeader, TableRow, Gap, Signature };
    struct Line {
        Style style = Style::Text;
        std::vector<std::string> cells;  // UTF-8
        int tableHeader = -1;            // a table row: the index of its header line
        bool keepWithNext = false;
    };
    // The lines of page `page` (1-based), a repeated table header included.
    [[nodiscard]] std::vector<const Line*> LinesOfPage(int page) const;

private:
    void Add(Style style, std::vector<std::string> cells, bool keepWithNext = false, int tableHeader = -1);
    void Paginate();

    PaperSize m_paper;
    std::int32_t m_serial = 0;
    std::vector<Line> m_lines;
    std::vector<std::vector<int>> m_pages;  // line indices of each page
};

}  // namespace oront::classify
