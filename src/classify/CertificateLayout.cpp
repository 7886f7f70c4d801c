#include "classify/CertificateLayout.h"

#include <algorithm>
#include <cstdio>

#include "classify/ClassifyText.h"

namespace oront::classify {

namespace {

// Positions in tenths of a millimetre.
constexpr int kMarginLeft = 200;
constexpr int kMarginRight = 200;
constexpr int kMarginTop = 180;
constexpr int kContentBottomGap = 250;  // from the content's end to the paper's bottom
constexpr int kFooterGap = 180;         // from the footer's top to the paper's bottom
constexpr int kLabelColumn = 300;
constexpr int kSamplesColumn = 180;
constexpr int kBold = 700;

int LineHeight(Certificate::Style style) {
    switch (style) {
        case Certificate::Style::Title:
            return 120;
        case Certificate::Style::Heading:
            return 75;
        case Certificate::Style::TableHeader:
            return 55;
        case Certificate::Style::TableRow:
            return 50;
        case Certificate::Style::Gap:
            return 40;
        case Certificate::Style::Signature:
            return 120;
        case Certificate::Style::Text:
            break;
    }
    return 55;
}

// The surface draws single-byte (Latin-1) text: "µm" and "m³" keep their
// characters, anything outside Latin-1 becomes "?".
std::string ToLatin1(const std::string& utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            const auto next = static_cast<unsigned char>(utf8[++i]);
            out += static_cast<char>(((c & 0x03) << 6) | (next & 0x3F));
        } else if (c >= 0xC0) {
            out += '?';
            while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) ++i;
        }
    }
    return out;
}

std::string Record(int number) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d", number);
    return buf;
}

std::string TargetLine(const Settings& s) {
    if (s.target.classTenths != 0) return ClassText(s.target.classTenths);
    if (s.target.grade != 0) return std::string("grade ") + s.target.grade;
    return "none (the achieved class only)";
}

std::string SizesLine(const Settings& s) {
    if (s.sizes.empty()) return s.standard == Standard::Gmp2022 ? "0.5 µm, 5.0 µm" : "every size the runs measure";
    std::string out;
    for (const int size : s.sizes) out += (out.empty() ? "" : ", ") + SizeText(size);
    return out;
}

std::string SizeHeader(const SizeResult& size, int channel) {
    if (size.sizeTenths == 0) return "Ch" + std::to_string(channel + 1) + " (no size)";
    return ">= " + SizeText(size.sizeTenths) + " /m³";
}

}  // namespace

PaperSize CertificatePaperSize(CertificatePaper paper) {
    return paper == CertificatePaper::Letter ? PaperSize{216, 279} : PaperSize{210, 297};
}

void Certificate::Add(Style style, std::vector<std::string> cells, bool keepWithNext, int tableHeader) {
    // A text longer than the line is broken at spaces, its further lines
    // indented. The surface measures no text: a 10-point character is taken
    // as 1.6 mm, wider than the average of the report font.
    const std::size_t perLine = static_cast<std::size_t>((m_paper.widthMM * 10 - kMarginLeft - kMarginRight) / 16);
    if (style == Style::Text && cells.size() == 1 && cells[0].size() > perLine) {
        std::string rest = cells[0];
        bool first = true;
        while (!rest.empty()) {
            std::string piece = first ? rest : "    " + rest;
            std::size_t cut = piece.size();
            if (cut > perLine) {
                cut = piece.rfind(' ', perLine);
                if (cut == std::string::npos || cut < 8) cut = perLine;
            }
            const std::size_t taken = cut - (first ? 0 : 4);
            rest = taken < rest.size() ? rest.substr(rest[taken] == ' ' ? taken + 1 : taken) : std::string();
            m_lines.push_back(Line{style, {piece.substr(0, cut)}, -1, keepWithNext || !rest.empty()});
            first = false;
        }
        return;
    }
    m_lines.push_back(Line{style, std::move(cells), tableHeader, keepWithNext});
}

std::string TestDates(const RoomClassification& rooms) {
    std::string first, last;
    for (const RoomSection& section : rooms.sections)
        for (const RunResult& run : section.result.runs) {
            const std::string start = run.start.str().substr(0, 10);
            const std::string end = (run.end.empty() ? run.start : run.end).str().substr(0, 10);
            if (first.empty() || start < first) first = start;
            if (last.empty() || end > last) last = end;
        }
    return first == last ? first : first + " to " + last;
}

std::string CertificateDataText(const RoomClassification& rooms, const CertificateData& data) {
    std::string out = "{";
    const auto field = [&out](const char* key, const std::string& value) {
        out += '"';
        out += key;
        out += "\": \"";
        for (char c : value) {
            if (c == '"' || c == '\\') out += '\\';
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                out += buf;
                continue;
            }
            out += c;
        }
        out += "\", ";
    };
    field("report_number", data.reportNumber);
    field("organisation", data.organisation);
    field("address", data.address);
    field("client", data.client);
    field("test_date", data.testDate);
    field("issue_date", data.issueDate);
    field("operator", data.operatorName);
    field("program", data.program);
    field("instrument_model", data.instrument.model);
    field("instrument_serial", std::to_string(data.instrument.serial));
    field("calibrated_on", data.instrument.calibratedOn);
    field("calibration_due", data.instrument.calibrationDue);
    field("calibration_certificate", data.instrument.certificate);
    field("flow_l_per_min", FormatDecimal(data.instrument.flowLPerMin, -1));
    out += "\"classification\": " + RoomsJson(rooms);
    if (!out.empty() && out.back() == '\n') out.pop_back();
    out += "}\n";
    return out;
}

Certificate::Certificate(const Classification& result, std::int32_t serialNumber, CertificatePaper paper)
    : m_paper(CertificatePaperSize(paper)), m_serial(serialNumber) {
    RoomClassification rooms;
    RoomSection& section = rooms.sections.emplace_back();
    section.result = result;
    rooms.verdict = result.verdict;
    CertificateData data;
    data.instrument.serial = static_cast<std::uint32_t>(serialNumber);
    Build(rooms, data);
}

Certificate::Certificate(const RoomClassification& rooms, const CertificateData& data, CertificatePaper paper)
    : m_paper(CertificatePaperSize(paper)), m_serial(static_cast<std::int32_t>(data.instrument.serial)) {
    Build(rooms, data);
}

void Certificate::Build(const RoomClassification& rooms, const CertificateData&) {
    const Classification& result = rooms.sections.front().result;
    const Settings& s = result.settings;
    Add(Style::Title, {kCertificateTitle});
    Add(Style::Text, {"Instrument: " + report::ModelLine(m_serial)});
    Add(Style::Text, {std::string("Standard: ") + StandardName(s.standard)});
    Add(Style::Text, {"Target: " + TargetLine(s)});
    Add(Style::Text, {std::string("Occupancy state: ") + StateName(s.target.state)});
    Add(Style::Text, {"Considered sizes: " + SizesLine(s)});
    Add(Style::Text, {std::string("Counts: ") + (s.counts == CountMode::Differential ? "differential" : "cumulative")});
    Add(Style::Text, {"Volume constant: count x " + FormatDecimal(kPerM3Constant, 4) +
                      " / T seconds per m³ (0.1 ft³/min = " + FormatDecimal(kLitresPerMinute, 7) + " L/min)"});
    Add(Style::Text, {std::string("Overall verdict: ") + VerdictName(result.verdict)});

    for (const RunResult& run : result.runs) {
        Add(Style::Gap, {}, true);
        Add(Style::Heading, {"Run " + std::to_string(run.run) + ", location " + std::string(run.location.view())},
            true);
        Add(Style::Text,
            {"Records " + Record(run.firstRecord) + " to " + Record(run.lastRecord) + ", " +
             std::string(run.start.view()) + " to " + std::string(run.end.view())},
            true);
        const int header = static_cast<int>(m_lines.size());
        std::vector<std::string> head{"Location", "Samples"};
        for (int k = 0; k < 3; ++k) head.push_back(SizeHeader(run.sizes[k], k));
        Add(Style::TableHeader, std::move(head), true);
        const auto locations = result.Locations(run);
        for (std::size_t i = 0; i < locations.size(); ++i) {
            const Location& loc = locations[i];
            std::vector<std::string> row{"Point " + std::to_string(loc.point), std::to_string(loc.cycles)};
            for (int k = 0; k < 3; ++k) row.push_back(FormatDecimal(loc.meanPerM3[k], 1));
            Add(Style::TableRow, std::move(row), i == 0, header);
        }
        if (run.uclPerM3) {
            std::vector<std::string> row{"UCL 95 %", ""};
            for (int k = 0; k < 3; ++k) row.push_back(FormatDecimal((*run.uclPerM3)[k], 1));
            Add(Style::TableRow, std::move(row), false, header);
        }
        std::vector<std::string> limits{"Limit", ""};
        std::vector<std::string> verdicts{"Verdict", ""};
        for (const SizeResult& size : run.sizes) {
            limits.push_back(size.limit ? std::to_string(*size.limit) : "-");
            verdicts.push_back(VerdictName(size.verdict));
        }
        Add(Style::TableRow, std::move(limits), true, header);
        Add(Style::TableRow, std::move(verdicts), false, header);
        Add(Style::Text, {std::string("Run verdict: ") + VerdictName(run.verdict)});
        Add(Style::Text, {"Achieved class: " + AchievedText(run)});
        const auto warnings = result.Warnings(run);
        Add(Style::Text, {warnings.empty() ? "Warnings: none" : "Warnings:"}, !warnings.empty());
        for (const Warning& w : warnings) Add(Style::Text, {"- " + WarningText(w, s)});
    }

    Add(Style::Gap, {}, true);
    Add(Style::Signature, {"Performed by:", "Date:"}, true);
    Add(Style::Signature, {"Reviewed by:", "Date:"});
    Paginate();
}

void Certificate::Paginate() {
    const int first = kMarginTop;
    const int bottom = m_paper.heightMM * 10 - kContentBottomGap;
    m_pages.assign(1, {});
    int y = first;
    const auto newPage = [&] {
        m_pages.emplace_back();
        y = first;
    };
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        // A line kept with the next ones moves to a new page with them, unless
        // the chain would not fit an empty page either.
        int chain = 0;
        for (std::size_t j = i; j < m_lines.size(); ++j) {
            chain += LineHeight(m_lines[j].style);
            if (!m_lines[j].keepWithNext) break;
        }
        if (y + chain > bottom && y > first && chain <= bottom - first) newPage();
        const Line& line = m_lines[i];
        if (y + LineHeight(line.style) > bottom && y > first) newPage();
        if (y == first && line.style == Style::Gap) continue;  // no gap at a page's top
        if (y == first && line.style == Style::TableRow && line.tableHeader >= 0) {
            m_pages.back().push_back(line.tableHeader);
            y += LineHeight(Style::TableHeader);
        }
        m_pages.back().push_back(static_cast<int>(i));
        y += LineHeight(line.style);
    }
}

std::vector<const Certificate::Line*> Certificate::LinesOfPage(int page) const {
    std::vector<const Line*> out;
    if (page < 1 || page > PageCount()) return out;
    for (const int i : m_pages[page - 1]) out.push_back(&m_lines[i]);
    return out;
}

void Certificate::DrawPage(ReportSurface& dc, int page) const {
    if (page < 1 || page > PageCount()) return;
    const int dX = DotsPerMM(dc.DpiX());
    const int dY = DotsPerMM(dc.DpiY());
    const auto x = [&](int tenths) { return tenths * dX / 10; };
    const auto yd = [&](int tenths) { return tenths * dY / 10; };
    const int dpiY = dc.AttributeDpiY();
    const auto font = [&](int points, int weight) {
        return dc.CreateFont(FontHeightForPoints(points, dpiY), weight, kReportFontFace, kFontQualityDraft,
                             kFontFamilySwiss);
    };
    const ReportSurface::FontId title = font(16, kBold);
    const ReportSurface::FontId heading = font(11, kBold);
    const ReportSurface::FontId text = font(10, kFontWeightNormal);
    const ReportSurface::FontId table = font(9, kFontWeightNormal);
    const ReportSurface::FontId tableBold = font(9, kBold);
    const ReportSurface::FontId previous = dc.SelectFont(text);

    const int left = kMarginLeft;
    const int right = m_paper.widthMM * 10 - kMarginRight;
    const int sizeColumn = (right - left - kLabelColumn - kSamplesColumn) / 3;
    const auto cellLeft = [&](int k) {
        if (k == 0) return left;
        if (k == 1) return left + kLabelColumn;
        return left + kLabelColumn + kSamplesColumn + (k - 2) * sizeColumn;
    };
    const auto cellRight = [&](int k) { return k + 1 < 5 ? cellLeft(k + 1) : right; };
    const auto draw = [&](const std::string& s, int l, int t, int r, int b, TextAlign align) {
        dc.DrawText(ToLatin1(s), DeviceRect{x(l), yd(t), x(r), yd(b)}, align);
    };

    int y = kMarginTop;
    for (const Line* line : LinesOfPage(page)) {
        const int h = LineHeight(line->style);
        const int b = y + h;
        switch (line->style) {
            case Style::Title:
                dc.SelectFont(title);
                draw(line->cells[0], left, y, right, b, TextAlign::Center);
                break;
            case Style::Heading:
                dc.SelectFont(heading);
                draw(line->cells[0], left, y, right, b, TextAlign::Left);
                break;
            case Style::Text:
                dc.SelectFont(text);
                draw(line->cells[0], left, y, right, b, TextAlign::Left);
                break;
            case Style::TableHeader:
            case Style::TableRow:
                dc.SelectFont(line->style == Style::TableHeader ? tableBold : table);
                for (std::size_t k = 0; k < line->cells.size() && k < 5; ++k) {
                    const int k2 = static_cast<int>(k);
                    draw(line->cells[k], cellLeft(k2) + 10, y, cellRight(k2) - 10, b,
                         k == 0 ? TextAlign::Left : TextAlign::Right);
                }
                if (line->style == Style::TableHeader) {
                    dc.MoveTo(x(left), yd(b));
                    dc.LineTo(x(right), yd(b));
                }
                break;
            case Style::Signature: {
                dc.SelectFont(text);
                const int rule = b - 15;
                const int dateAt = left + (right - left) * 6 / 10;
                draw(line->cells[0], left, rule - 55, left + 280, rule, TextAlign::Left);
                draw(line->cells[1], dateAt, rule - 55, dateAt + 120, rule, TextAlign::Left);
                dc.MoveTo(x(left + 280), yd(rule));
                dc.LineTo(x(dateAt - 50), yd(rule));
                dc.MoveTo(x(dateAt + 120), yd(rule));
                dc.LineTo(x(right), yd(rule));
                break;
            }
            case Style::Gap:
                break;
        }
        y = b;
    }

    dc.SelectFont(table);
    const int footer = m_paper.heightMM * 10 - kFooterGap;
    dc.MoveTo(x(left), yd(footer));
    dc.LineTo(x(right), yd(footer));
    draw(report::ModelLine(m_serial), left, footer + 10, right, footer + 60, TextAlign::Left);
    draw(report::PreviewPageText(page, PageCount()), left, footer + 10, right, footer + 60, TextAlign::Right);

    dc.SelectFont(previous);
    for (const ReportSurface::FontId f : {title, heading, text, table, tableBold}) dc.DeleteFont(f);
}

bool Certificate::Print(ReportSurface& dc) const {
    if (dc.StartDoc(kCertificateTitle) < 0) return false;
    for (int page = 1; page <= PageCount(); ++page) {
        if (dc.StartPage() < 0) {
            dc.AbortDoc();
            return false;
        }
        DrawPage(dc, page);
        if (dc.EndPage() < 0) {
            dc.AbortDoc();
            return false;
        }
    }
    return dc.EndDoc() >= 0;
}

}  // namespace oront::classify
