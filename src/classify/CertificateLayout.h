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
#include <functional>
#include <string>
#include <vector>

#include "classify/Classify.h"
#include "classify/Rooms.h"
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

// The instrument as the site register knows it.
struct CertificateInstrument {
    std::string model = "V208";
    std::uint32_t serial = 0;
    bool registered = false;   // false: the register has no such instrument (the dates are empty)
    std::string calibratedOn;  // "YYYY-MM-DD"
    std::string calibrationDue;
    std::string certificate;
    double flowLPerMin = kLitresPerMinute;
};

// What a certificate states beyond the classification: who tested for whom,
// its number and dates, the instrument, who operated it, and the program.
struct CertificateData {
    std::string organisation;  // the testing organisation's name and address
    std::string address;
    std::string client;
    std::string reportNumber;
    std::string testDate;   // "2015-03-02", or "2015-03-02 to 2015-03-04"
    std::string issueDate;  // "YYYY-MM-DD"
    std::string operatorName;
    std::string program;     // "Oront V208 Software 1.2.0"
    std::string dataSha256;  // hex SHA-256 of CertificateDataText (filled in by who keeps the record)
    CertificateInstrument instrument;
};

// Who numbers and keeps the certificates a window issues (the archive): the
// data every certificate starts from (organisation, instrument, program),
// a number reserved before a certificate is drawn (`id` names it for keep),
// the certified data and the file kept once written (the file empty for a
// print), and the SHA-256 of the data. Without `number` certificates are
// not numbered.
struct CertificateIssuer {
    CertificateData data;
    std::function<bool(CertificateData& data, std::int64_t& id, std::string& error)> number;
    std::function<bool(std::int64_t id, const std::string& dataText, const std::string& file, std::string& error)> keep;
    std::function<std::string(const std::string& bytes)> sha256;
};

// The certified data as one canonical text (JSON; the data's SHA-256 field
// left out): what the SHA-256 printed on the certificate is taken of, and
// what the archive keeps.
std::string CertificateDataText(const RoomClassification& rooms, const CertificateData& data);

// The first and the last day of the classified records, "YYYY-MM-DD" or
// "YYYY-MM-DD to YYYY-MM-DD"; empty for none.
std::string TestDates(const RoomClassification& rooms);

class Certificate {
public:
    Certificate(const RoomClassification& rooms, const CertificateData& data, CertificatePaper paper);
    // One section that is no room, with nothing but the instrument's serial
    // number known.
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
    void Build(const RoomClassification& rooms, const CertificateData& data);
    void Add(Style style, std::vector<std::string> cells, bool keepWithNext = false, int tableHeader = -1);
    void Paginate();

    PaperSize m_paper;
    std::int32_t m_serial = 0;
    std::vector<Line> m_lines;
    std::vector<std::vector<int>> m_pages;  // line indices of each page
};

}  // namespace oront::classify
