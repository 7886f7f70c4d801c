// The cleanroom classification certificate on the report surface: a
// portrait page of A4 or Letter. The first page names the testing
// organisation, the client, the report's number and dates, the operator, the
// instrument with its calibration, the program and the SHA-256 of the
// certified data, then sums up every run of every section with the overall
// verdict. Each section (a room, or an instrument location that maps to no
// room) starts a page with its designation, the edition of the standard, the
// method (flow, sample time and volume, the minimum sample volume, the area
// and the number of locations it asks for) and its sampling locations with a
// plan; per run follow the location means of the considered sizes against
// the limits (and the confidence limit), failing values in bold and marked,
// the verdicts, the achieved class, every deviation from a requirement with
// its clause and the warnings. The lines to sign close the results; an
// appendix lists every sample. A run continued on the next page repeats its
// heading and its table's header there; every page carries "Page i of n".
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
    // The electronic signatures that hold for the data, drawn in the lines
    // to sign (not part of the certified data: they sign it).
    struct Signed {
        std::string caption;  // "Performed by", "Reviewed by", "Approved by"
        std::string name;     // "Otto Operator (otto)"
        std::string when;     // "2026-12-09 14:03:07 +01:00"
    };
    std::vector<Signed> signatures;
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

    // Title, Text, Heading: a line of text (a Text line longer than the
    // page is broken at spaces). TableHeader, TableRow: a table's cells.
    // Gap: space, dropped at a page's top. Signature: a line to sign.
    // PageBreak: what follows starts a new page. Continued: a heading that
    // stands only at the top of a page where its part goes on. Plan: the
    // sampling locations drawn to scale.
    enum class Style { Title, Text, Heading, TableHeader, TableRow, Gap, Signature, PageBreak, Continued, Plan };
    struct Line {
        Style style = Style::Text;
        std::vector<std::string> cells;  // UTF-8; a plan: each point's label
        int tableHeader = -1;            // a table row: the index of its header line
        bool keepWithNext = false;
        std::uint32_t bold = 0;  // bit k: cell k in bold
        int continued = -1;      // the Continued line put above this one when it starts a page
        // A table header: each column's width in 0.1 mm (the last one takes
        // what is left to the margin); the first leftColumns are aligned to
        // the left, the others to the right; compact: in the smaller type.
        std::vector<int> columns;
        int leftColumns = 1;
        bool compact = false;
        std::vector<double> plan;  // a plan: x, y (m) of each point
    };
    // The lines of page `page` (1-based), a repeated heading and table header
    // included.
    [[nodiscard]] std::vector<const Line*> LinesOfPage(int page) const;

private:
    void Build(const RoomClassification& rooms, const CertificateData& data);
    void BuildSection(const RoomSection& section, double flowLPerMin);
    void BuildRun(const RoomSection& section, const RunResult& run);
    void BuildSamples(const RoomSection& section, const RunResult& run);
    // Adds a line (a long Text line as several) and returns the index of
    // the last one; every line added while m_continued is set continues it.
    int Add(Line line);
    int Add(Style style, std::vector<std::string> cells, bool keepWithNext = false);
    int AddContinued(const std::string& heading);
    // Keeps the lines from `from` to the last one together, when they fit a
    // page.
    void KeepTogether(int from);
    void Paginate();
    [[nodiscard]] int ContentWidth() const;  // 0.1 mm

    PaperSize m_paper;
    std::int32_t m_serial = 0;
    std::string m_reportNumber;
    std::string m_dataSha256;
    std::string m_program;
    std::vector<Line> m_lines;
    int m_continued = -1;
    std::vector<std::vector<int>> m_pages;  // line indices of each page
};

}  // namespace oront::classify
