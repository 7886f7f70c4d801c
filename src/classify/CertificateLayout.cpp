#include "classify/CertificateLayout.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "classify/ClassifyText.h"
#include "records/CFormat.h"

namespace oront::classify {

namespace {

using Style = Certificate::Style;
using Line = Certificate::Line;

// Positions in tenths of a millimetre.
constexpr int kMarginLeft = 200;
constexpr int kMarginRight = 200;
constexpr int kMarginTop = 180;
constexpr int kContentBottomGap = 250;  // from the content's end to the paper's bottom
constexpr int kFooterGap = 180;         // from the footer's top to the paper's bottom
constexpr int kPlanHeight = 800;
constexpr int kPlanLabel = 300;  // room beside the plan's box for the labels
constexpr int kCellInset = 10;
constexpr int kBold = 700;
// The surface measures no text: a character of a table cell is taken as
// 1.6 mm at 9 points and 1.4 mm at 8, wider than the average of the report
// font, and a 10-point text line's character as 1.8 mm.
constexpr int kCellChar = 16;
constexpr int kCompactCellChar = 14;
constexpr int kTextChar = 18;

constexpr const char* kMarkLegend = "* above its limit, printed in bold; a size marked * fails";

int LineHeight(const Line& line) {
    switch (line.style) {
        case Style::Title:
            return 120;
        case Style::Heading:
        case Style::Continued:
            return 75;
        case Style::TableHeader:
            return line.compact ? 50 : 55;
        case Style::TableRow:
            return line.compact ? 45 : 50;
        case Style::Gap:
            return 40;
        case Style::Signature:
            return 120;
        case Style::Plan:
            return kPlanHeight;
        case Style::PageBreak:
            return 0;
        case Style::Text:
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

// The characters of a UTF-8 text.
std::size_t Characters(const std::string& utf8) {
    std::size_t n = 0;
    for (const char c : utf8) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}

// The text cut to what a cell `width` wide holds, "..." marking the cut.
std::string Fit(const std::string& text, int width, bool compact) {
    const std::size_t room =
        static_cast<std::size_t>(std::max(4, (width - 2 * kCellInset) / (compact ? kCompactCellChar : kCellChar)));
    if (Characters(text) <= room) return text;
    std::size_t end = 0;
    for (std::size_t kept = 0; end < text.size(); ++end) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) continue;
        if (kept++ == room - 3) break;
    }
    return text.substr(0, end) + "...";
}

std::string Record(int number) {
    return FormatZeroPad(number, 4).str();
}

// A size as the standard writes it: "0.5 µm", "1 µm", "5 µm".
std::string StandardSize(int sizeTenths) {
    return sizeTenths % 10 == 0 ? std::to_string(sizeTenths / 10) + " µm" : SizeText(sizeTenths);
}

// "7", "6.5".
std::string ClassDigits(int classTenths) {
    return ClassText(classTenths).substr(4);
}

// The sizes a section's runs were judged at (the settings' when it has no
// run), smallest first.
std::vector<int> ConsideredSizes(const Classification& result) {
    std::vector<int> sizes;
    for (const RunResult& run : result.runs)
        for (const SizeResult& size : run.sizes)
            if (size.considered && size.sizeTenths != 0) sizes.push_back(size.sizeTenths);
    if (sizes.empty()) sizes = result.settings.sizes;
    if (sizes.empty() && result.settings.standard == Standard::Gmp2022) sizes = {5, 50};
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    return sizes;
}

// The designation as the standards write it: "ISO Class 7; in operation;
// considered sizes 0.5 µm, 5 µm", "Grade B; at rest; ..."; the state only
// when the user chose it.
std::string Designation(const Classification& result) {
    const Target& t = result.settings.target;
    std::string out = t.classTenths != 0 ? "ISO Class " + ClassDigits(t.classTenths)
                      : t.grade != 0     ? std::string("Grade ") + t.grade
                                         : std::string("no target class");
    if (t.stateDeclared) out += std::string("; ") + StateWords(t.state);
    const std::vector<int> sizes = ConsideredSizes(result);
    if (!sizes.empty()) out += sizes.size() == 1 ? "; considered size " : "; considered sizes ";
    for (std::size_t i = 0; i < sizes.size(); ++i) out += (i == 0 ? "" : ", ") + StandardSize(sizes[i]);
    return out;
}

// The achieved class in short, for the summary.
std::string ShortAchieved(const RunResult& run) {
    if (run.worseThanIso9) return run.worseThanClass != 0 ? "worse than " + ClassText(run.worseThanClass) : "none";
    return run.achievedClass != 0 ? ClassText(run.achievedClass) : "none";
}

std::string SectionHeading(const RoomSection& section) {
    // One classification of a whole download (the runs of any locations).
    if (section.roomId.empty() && section.locationNumber == 0) return "Instrument locations (no room)";
    return SectionTitle(section);
}

// The room column of the summary: its id and name, and its state when the
// room has a section for each state.
std::string RoomCell(const RoomClassification& rooms, const RoomSection& section) {
    if (section.roomId.empty()) return "no room";
    std::string cell = section.roomId;
    if (section.roomName != section.roomId) cell += " " + section.roomName;
    const auto same = std::count_if(rooms.sections.begin(), rooms.sections.end(),
                                    [&](const RoomSection& s) { return s.roomId == section.roomId; });
    if (same > 1 && section.result.settings.target.stateDeclared)
        cell += std::string(", ") + StateWords(section.result.settings.target.state);
    return cell;
}

const SamplingPlace* PlaceOf(const RoomSection& section, const RunResult& run, std::size_t i) {
    const std::size_t at = static_cast<std::size_t>(run.firstLocation) + i;
    return at < section.places.size() ? &section.places[at] : nullptr;
}

std::string PointLabel(const RoomSection& section, const RunResult& run, std::size_t i, bool word) {
    const SamplingPlace* place = PlaceOf(section, run, i);
    std::string label = (word ? "Point " : "") + std::to_string(i + 1);
    if (place != nullptr && !place->name.empty()) label += " (" + place->name + ")";
    return label;
}

// "2.83 L" or "2.83 L to 5.66 L".
std::string Range(double low, double high, int decimals, const char* unit) {
    const std::string a = FormatDecimal(low, decimals) + unit;
    const std::string b = FormatDecimal(high, decimals) + unit;
    return a == b ? a : a + " to " + b;
}

// Where a plan's points go: a box around them with a margin, scaled alike
// in x and y to fit `width` x `height`, centred; y grows upwards.
struct PlanBox {
    double x0 = 0.0;
    double y0 = 0.0;
    double scale = 1.0;  // 0.1 mm per metre
    int width = 0;       // of the box, 0.1 mm
    int height = 0;
};

PlanBox FitPlan(const std::vector<double>& xy, int width, int height) {
    double x0 = xy[0], x1 = xy[0], y0 = xy[1], y1 = xy[1];
    for (std::size_t i = 0; i + 1 < xy.size(); i += 2) {
        x0 = std::min(x0, xy[i]);
        x1 = std::max(x1, xy[i]);
        y0 = std::min(y0, xy[i + 1]);
        y1 = std::max(y1, xy[i + 1]);
    }
    const double pad = std::max(0.5, 0.1 * std::max(x1 - x0, y1 - y0));
    PlanBox box;
    box.x0 = x0 - pad;
    box.y0 = y0 - pad;
    const double w = x1 - x0 + 2 * pad;
    const double h = y1 - y0 + 2 * pad;
    box.scale = std::min((width - 2 * kPlanLabel) / w, (height - 100) / h);
    box.width = static_cast<int>(w * box.scale);
    box.height = static_cast<int>(h * box.scale);
    return box;
}

void DrawPlan(ReportSurface& dc, const Line& line, int left, int top, int right, int dX, int dY) {
    const auto x = [&](double tenths) { return static_cast<int>(tenths) * dX / 10; };
    const auto y = [&](double tenths) { return static_cast<int>(tenths) * dY / 10; };
    const PlanBox box = FitPlan(line.plan, right - left, kPlanHeight);
    const int bx = left + (right - left - box.width) / 2;
    const int by = top + 50;
    const ReportSurface::PenId pen = dc.CreatePen(std::max(1, dX * 3 / 10));
    const ReportSurface::PenId previous = dc.SelectPen(pen);
    dc.MoveTo(x(bx), y(by));
    dc.LineTo(x(bx + box.width), y(by));
    dc.LineTo(x(bx + box.width), y(by + box.height));
    dc.LineTo(x(bx), y(by + box.height));
    dc.LineTo(x(bx), y(by));
    for (std::size_t i = 0; i + 1 < line.plan.size(); i += 2) {
        const double px = bx + (line.plan[i] - box.x0) * box.scale;
        const double py = by + box.height - (line.plan[i + 1] - box.y0) * box.scale;
        dc.MoveTo(x(px - 15), y(py - 15));
        dc.LineTo(x(px + 15), y(py + 15));
        dc.MoveTo(x(px - 15), y(py + 15));
        dc.LineTo(x(px + 15), y(py - 15));
        if (i / 2 < line.cells.size())
            dc.DrawText(ToLatin1(line.cells[i / 2]), DeviceRect{x(px + 25), y(py - 25), x(px + kPlanLabel), y(py + 25)},
                        TextAlign::Left);
    }
    dc.SelectPen(previous);
    dc.DeletePen(pen);
}

}  // namespace

PaperSize CertificatePaperSize(CertificatePaper paper) {
    return paper == CertificatePaper::Letter ? PaperSize{216, 279} : PaperSize{210, 297};
}

int Certificate::ContentWidth() const {
    return m_paper.widthMM * 10 - kMarginLeft - kMarginRight;
}

int Certificate::Add(Line line) {
    line.continued = m_continued;
    // A text longer than the line is broken at spaces, its further lines
    // indented.
    const std::size_t perLine = static_cast<std::size_t>(ContentWidth() / kTextChar);
    if (line.style != Style::Text || line.cells.size() != 1 || line.cells[0].size() <= perLine) {
        m_lines.push_back(std::move(line));
        return static_cast<int>(m_lines.size()) - 1;
    }
    std::string rest = line.cells[0];
    const bool keep = line.keepWithNext;
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
        line.cells = {piece.substr(0, cut)};
        line.keepWithNext = keep || !rest.empty();
        m_lines.push_back(line);
        first = false;
    }
    return static_cast<int>(m_lines.size()) - 1;
}

int Certificate::Add(Style style, std::vector<std::string> cells, bool keepWithNext) {
    Line line;
    line.style = style;
    line.cells = std::move(cells);
    line.keepWithNext = keepWithNext;
    return Add(std::move(line));
}

int Certificate::AddContinued(const std::string& heading) {
    Line line;
    line.style = Style::Continued;
    line.cells = {heading};
    m_lines.push_back(std::move(line));
    return static_cast<int>(m_lines.size()) - 1;
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
    // The runs of a single instrument location are that location's.
    for (const RunResult& run : result.runs) {
        const int location = CAtoi(run.location.view());
        if (&run != &result.runs.front() && location != section.locationNumber) {
            section.locationNumber = 0;
            break;
        }
        section.locationNumber = location;
    }
    rooms.verdict = result.verdict;
    rooms.error = result.error;
    CertificateData data;
    data.instrument.serial = static_cast<std::uint32_t>(serialNumber);
    Build(rooms, data);
}

Certificate::Certificate(const RoomClassification& rooms, const CertificateData& data, CertificatePaper paper)
    : m_paper(CertificatePaperSize(paper)), m_serial(static_cast<std::int32_t>(data.instrument.serial)) {
    Build(rooms, data);
}

void Certificate::Build(const RoomClassification& rooms, const CertificateData& data) {
    m_reportNumber = data.reportNumber;
    m_dataSha256 = data.dataSha256;
    m_program = data.program;
    const auto text = [this](const std::string& s, std::uint32_t bold = 0) {
        Line line;
        line.cells = {s};
        line.bold = bold;
        Add(std::move(line));
    };
    const auto given = [](const std::string& s) { return s.empty() ? std::string("not given") : s; };
    const CertificateInstrument& ins = data.instrument;

    Add(Style::Title, {kCertificateTitle});
    text("Report number: " + given(data.reportNumber));
    text("Testing organisation: " + given(data.organisation));
    text("Address: " + given(data.address));
    text("Client: " + given(data.client));
    text("Date of test: " + given(data.testDate.empty() ? TestDates(rooms) : data.testDate));
    text("Date of issue: " + given(data.issueDate));
    text("Operator: " + given(data.operatorName));
    text("Instrument: " + ins.model + ", serial number " + FormatZeroPad(ins.serial, 7).str());
    text(ins.registered ? "Calibration: calibrated on " + given(ins.calibratedOn) + ", due " +
                              given(ins.calibrationDue) + ", certificate " + given(ins.certificate)
                        : std::string("Calibration: not in the site register"));
    text("Program: " + given(data.program));
    text("Data SHA-256: " + given(data.dataSha256));

    // Every run of every section.
    Add(Style::Gap, {}, true);
    Add(Style::Heading, {"Summary"}, true);
    if (rooms.sections.empty()) text("Not classified: " + given(rooms.error));
    if (!rooms.sections.empty()) {
        m_continued = AddContinued("Summary (continued)");
        Line header;
        header.style = Style::TableHeader;
        header.cells = {"Run", "Room", "Location", "Records", "Verdict", "Achieved class"};
        header.columns = {100, 420, 170, 260, 250, 0};
        header.leftColumns = 6;
        header.keepWithNext = true;
        const int head = Add(header);
        bool firstRow = true;
        const auto row = [&](std::vector<std::string> cells, Verdict verdict) {
            Line line;
            line.style = Style::TableRow;
            line.cells = std::move(cells);
            line.cells[1] = Fit(line.cells[1], header.columns[1], false);
            line.tableHeader = head;
            line.keepWithNext = firstRow;
            // What is not a pass stands out.
            if (verdict != Verdict::Pass && verdict != Verdict::NotJudged) line.bold = 1u << 4;
            Add(std::move(line));
            firstRow = false;
        };
        for (const RoomSection& section : rooms.sections) {
            const std::string room = RoomCell(rooms, section);
            if (section.result.runs.empty())
                row({"-", room, "-", "-", VerdictName(section.result.verdict), "none"}, section.result.verdict);
            for (const RunResult& run : section.result.runs)
                row({std::to_string(run.run), room, run.location.str(),
                     Record(run.firstRecord) + " to " + Record(run.lastRecord), VerdictName(run.verdict),
                     ShortAchieved(run)},
                    run.verdict);
        }
        m_continued = -1;
    }
    text(std::string("Overall verdict: ") + VerdictName(rooms.verdict), 1);
    text("The overall verdict is pass only when every run passes without a deviation from the standard.");

    for (const RoomSection& section : rooms.sections) BuildSection(section, ins.flowLPerMin);

    // The lines to sign, each filled where an electronic signature holds for
    // the data; an approval has a line where one was given.
    Add(Style::Gap, {}, true);
    const auto signedLine = [this, &data](const char* caption, bool always, bool first) {
        std::vector<std::string> cells = {std::string(caption) + ":", "Date:"};
        bool found = false;
        for (const CertificateData::Signed& s : data.signatures)
            if (s.caption == caption) {
                cells = {std::string(caption) + ": " + s.name + " (signed electronically)", "Date: " + s.when};
                found = true;
            }
        if (always || found) Add(Style::Signature, cells, first);
    };
    signedLine("Performed by", true, true);
    signedLine("Reviewed by", true, false);
    signedLine("Approved by", false, false);

    if (rooms.RunCount() > 0) {
        Add(Style::PageBreak, {});
        Add(Style::Heading, {"Appendix: every sample"}, true);
        text(
            "Per sample its time and volume, then per considered size the count as the instrument counted it and "
            "the concentration per m³ (particles at or above the size).");
        for (const RoomSection& section : rooms.sections)
            for (const RunResult& run : section.result.runs) BuildSamples(section, run);
    }
    Paginate();
}

void Certificate::BuildSection(const RoomSection& section, double flowLPerMin) {
    const Classification& result = section.result;
    const Settings& s = result.settings;
    const auto text = [this](const std::string& line, bool keepWithNext = false) {
        Add(Style::Text, {line}, keepWithNext);
    };
    Add(Style::PageBreak, {});
    Add(Style::Heading, {SectionHeading(section)}, true);
    text("Designation: " + Designation(result));
    if (result.isoEquivalent != 0) text("ISO equivalent of the grade: ISO Class " + ClassDigits(result.isoEquivalent));
    text(std::string("Standard: ") + StandardName(s.standard));
    if (s.target.stateDeclared) text(std::string("Occupancy state: ") + StateWords(s.target.state));
    if (result.runs.empty()) {
        text("Not classified: " + result.error);
        return;
    }

    Add(Style::Gap, {}, true);
    Add(Style::Heading, {"Method"}, true);
    text(s.counts == CountMode::Cumulative ? "Counts: cumulative (particles at or above each size)"
                                           : "Counts: differential (a size adds the counts of every larger channel)");
    text("Flow rate: " + FormatDecimal(flowLPerMin, 2) + " L/min");
    if (!result.samples.empty()) {
        int shortest = result.samples.front().seconds, longest = shortest;
        double least = result.sampleLitres.front(), most = least;
        for (std::size_t i = 0; i < result.samples.size(); ++i) {
            shortest = std::min(shortest, result.samples[i].seconds);
            longest = std::max(longest, result.samples[i].seconds);
            least = std::min(least, result.sampleLitres[i]);
            most = std::max(most, result.sampleLitres[i]);
        }
        text("Sample time: " + Range(shortest, longest, 0, " s") + " per sample");
        text("Sample volume: " + Range(least, most, 2, " L") + " per sample");
    }
    // The minimum sample volume: one for the section, or each run's.
    std::string minimum;
    bool differ = false;
    for (const RunResult& run : result.runs) {
        differ = differ || run.minimumLitres != result.runs.front().minimumLitres;
        minimum += (minimum.empty() ? "" : ", ") + FormatDecimal(run.minimumLitres, 2) + " L (run " +
                   std::to_string(run.run) + ")";
    }
    const char* volumeClause = RequirementClause(WarningKind::SmallVolume, s.standard);
    if (!s.target.Given())
        text("Minimum sample volume Vs: not computed (no target class)");
    else if (!differ)
        text("Minimum sample volume Vs: " + FormatDecimal(result.runs.front().minimumLitres, 2) + " L per sample (" +
             volumeClause + ")");
    else
        text("Minimum sample volume Vs (" + std::string(volumeClause) + "): " + minimum);
    text("Concentration: count x " + FormatDecimal(kPerM3Constant, 4) +
         " / T per m³ (0.1 ft³/min; T the sample time in seconds)");
    text(s.areaM2 > 0.0 ? "Room area: " + FormatDecimal(s.areaM2, -1) + " m²" : std::string("Room area: not given"));
    text(s.areaM2 > 0.0 ? "Required number of locations: " + std::to_string(result.runs.front().requiredLocations) +
                              " (" + RequirementClause(WarningKind::TooFewLocations, s.standard) + ")"
                        : std::string("Required number of locations: not verified (area not given)"));

    // The sampling locations, where the site register knows them.
    const bool known = std::any_of(section.places.begin(), section.places.end(),
                                   [](const SamplingPlace& p) { return !p.name.empty() || p.positioned; });
    if (!known && !section.places.empty()) text("Sampling locations: not in the site register");
    if (known) {
        Add(Style::Gap, {}, true);
        Add(Style::Heading, {"Sampling locations"}, true);
        const int cont = AddContinued("Sampling locations (continued)");
        m_continued = cont;
        Line header;
        header.style = Style::TableHeader;
        header.cells = {"Run", "Point", "Location", "Position"};
        header.columns = {120, 120, 700, 0};
        header.leftColumns = 4;
        header.keepWithNext = true;
        const int head = Add(header);
        Line plan;
        plan.style = Style::Plan;
        bool firstRow = true;
        for (const RunResult& run : result.runs)
            for (std::size_t i = 0; i < static_cast<std::size_t>(run.locationCount); ++i) {
                const SamplingPlace* place = PlaceOf(section, run, i);
                if (place == nullptr) continue;
                Line row;
                row.style = Style::TableRow;
                row.tableHeader = head;
                row.keepWithNext = firstRow;
                firstRow = false;
                const std::string name = place->name.empty() ? "not in the register" : place->name;
                row.cells = {std::to_string(run.run), std::to_string(i + 1), Fit(name, header.columns[2], false),
                             place->positioned
                                 ? "x " + FormatDecimal(place->xM, 2) + " m, y " + FormatDecimal(place->yM, 2) + " m"
                                 : std::string("not positioned")};
                Add(std::move(row));
                // Each place once on the plan.
                bool drawn = !place->positioned;
                for (std::size_t k = 0; !drawn && k < plan.cells.size(); ++k)
                    drawn = plan.cells[k] == name && plan.plan[2 * k] == place->xM && plan.plan[2 * k + 1] == place->yM;
                if (drawn) continue;
                plan.cells.push_back(name);
                plan.plan.push_back(place->xM);
                plan.plan.push_back(place->yM);
            }
        m_continued = -1;
        if (!plan.plan.empty()) {
            const PlanBox box = FitPlan(plan.plan, ContentWidth(), kPlanHeight);
            const auto span = [](double from, double extent, double scale) {
                return FormatDecimal(from, 2) + " to " + FormatDecimal(from + extent / scale, 2) + " m";
            };
            text("Plan to scale, 1 m = " + FormatDecimal(box.scale / 10, 1) + " mm: x " +
                     span(box.x0, box.width, box.scale) + " rightwards, y " + span(box.y0, box.height, box.scale) +
                     " upwards",
                 true);
            Add(std::move(plan));
        }
    }

    for (const RunResult& run : result.runs) BuildRun(section, run);
}

void Certificate::BuildRun(const RoomSection& section, const RunResult& run) {
    const Classification& result = section.result;
    const Settings& s = result.settings;
    Add(Style::Gap, {}, true);
    const int cont = AddContinued("Run " + std::to_string(run.run) + " (continued)");
    Add(Style::Heading, {"Run " + std::to_string(run.run) + ", location " + run.location.str()}, true);
    m_continued = cont;
    Add(Style::Text,
        {"Records " + Record(run.firstRecord) + " to " + Record(run.lastRecord) + ", " + run.start.str() +
         (run.end.empty() ? std::string() : " to " + run.end.str())},
        true);

    // Only the considered sizes are columns.
    std::vector<std::size_t> channels;
    for (std::size_t k = 0; k < 3; ++k)
        if (run.sizes[k].considered) channels.push_back(k);
    const auto locations = result.Locations(run);
    int tail = static_cast<int>(m_lines.size());  // from here on the run's lines stay together
    bool marked = false;
    if (!locations.empty()) {
        Line header;
        header.style = Style::TableHeader;
        header.cells = {"Location", "Samples"};
        header.columns = {500, 200};
        for (const std::size_t k : channels) {
            header.cells.push_back(run.sizes[k].sizeTenths != 0 ? ">= " + StandardSize(run.sizes[k].sizeTenths) + " /m³"
                                                                : "Ch" + std::to_string(k + 1) + " (no size)");
            header.columns.push_back((ContentWidth() - 700) / static_cast<int>(channels.size()));
        }
        header.keepWithNext = true;
        const int head = Add(header);
        // A cell of each considered size: its text, and whether it fails.
        using Cells = std::vector<std::pair<std::string, bool>>;
        const auto perSize = [&channels](const auto& cell) {
            Cells cells;
            for (const std::size_t k : channels) cells.push_back(cell(k));
            return cells;
        };
        const auto row = [&](std::string label, std::string second, const Cells& cells, bool keepWithNext) {
            Line line;
            line.style = Style::TableRow;
            line.tableHeader = head;
            line.keepWithNext = keepWithNext;
            line.cells = {std::move(label), std::move(second)};
            for (std::size_t c = 0; c < cells.size(); ++c) {
                const auto& [value, fails] = cells[c];
                line.cells.push_back(fails ? value + " *" : value);
                if (fails) line.bold |= 1u << (c + 2);
                marked = marked || fails;
            }
            return Add(std::move(line));
        };
        // A mean or a confidence limit above its limit fails.
        const auto value = [&run](double v, std::size_t k) {
            const std::optional<long long>& limit = run.sizes[k].limit;
            return std::pair{FormatDecimal(v, 1), limit.has_value() && v > static_cast<double>(*limit)};
        };
        for (std::size_t i = 0; i < locations.size(); ++i) {
            const Location& loc = locations[i];
            tail = row(Fit(PointLabel(section, run, i, true), header.columns[0], false), std::to_string(loc.cycles),
                       perSize([&](std::size_t k) { return value(loc.meanPerM3[k], k); }), i == 0);
        }
        if (run.uclPerM3)
            row("UCL 95 %", "", perSize([&](std::size_t k) { return value((*run.uclPerM3)[k], k); }), false);
        if (s.target.Given()) {
            row("Limit", "", perSize([&](std::size_t k) {
                    const std::optional<long long>& limit = run.sizes[k].limit;
                    return std::pair{limit ? std::to_string(*limit) : std::string("-"), false};
                }),
                false);
            row("Verdict", "", perSize([&](std::size_t k) {
                    const Verdict v = run.sizes[k].verdict;
                    return std::pair{std::string(VerdictName(v)), v == Verdict::Fail};
                }),
                false);
        }
        if (marked) Add(Style::Text, {kMarkLegend});
    }
    Line verdict;
    verdict.cells = {std::string("Run verdict: ") + VerdictName(run.verdict)};
    verdict.bold = run.verdict != Verdict::Pass && run.verdict != Verdict::NotJudged ? 1u : 0u;
    Add(std::move(verdict));
    Add(Style::Text, {"Achieved class: " + AchievedText(run)});
    for (const Warning& w : result.Requirements(run)) Add(Style::Text, {"Deviation: " + RequirementText(w, s)});
    for (const Warning& w : result.Warnings(run))
        Add(Style::Text, {(w.kind == WarningKind::LocationsNotVerified ? "Note: " : "Warning: ") + WarningText(w, s)});
    // The last location, the limits, the verdicts, the deviations and the
    // warnings stay together; a run that fits a page is not split at all.
    KeepTogether(tail);
    KeepTogether(cont + 1);
    m_continued = -1;
}

void Certificate::BuildSamples(const RoomSection& section, const RunResult& run) {
    const Classification& result = section.result;
    Add(Style::Gap, {}, true);
    const int cont = AddContinued("Samples of run " + std::to_string(run.run) + " (continued)");
    Add(Style::Heading,
        {"Samples of run " + std::to_string(run.run) + ", location " + run.location.str() + ": " +
         SectionHeading(section)},
        true);
    m_continued = cont;
    std::vector<std::size_t> channels;
    for (std::size_t k = 0; k < 3; ++k)
        if (run.sizes[k].considered) channels.push_back(k);
    Line header;
    header.style = Style::TableHeader;
    header.compact = true;
    header.cells = {"Point", "Record", "Time (s)", "Volume (L)"};
    header.columns = {250, 150, 150, 200};
    const int share = channels.empty() ? 0 : (ContentWidth() - 750) / static_cast<int>(2 * channels.size());
    for (const std::size_t k : channels) {
        const std::string size =
            run.sizes[k].sizeTenths != 0 ? StandardSize(run.sizes[k].sizeTenths) : "Ch" + std::to_string(k + 1);
        header.cells.push_back(size);
        header.cells.push_back(size + " /m³");
        header.columns.push_back(share);
        header.columns.push_back(share);
    }
    header.keepWithNext = true;
    const int head = Add(header);
    const bool differential = result.settings.counts == CountMode::Differential;
    const auto locations = result.Locations(run);
    bool firstRow = true;
    for (std::size_t i = 0; i < locations.size(); ++i) {
        const auto samples = result.Samples(locations[i]);
        const auto litres = result.SampleLitres(locations[i]);
        for (std::size_t j = 0; j < samples.size(); ++j) {
            const Sample& sample = samples[j];
            Line line;
            line.style = Style::TableRow;
            line.compact = true;
            line.tableHeader = head;
            line.keepWithNext = firstRow;
            firstRow = false;
            line.cells = {Fit(PointLabel(section, run, i, false), header.columns[0], true), Record(sample.record),
                          std::to_string(sample.seconds), FormatDecimal(litres[j], 2)};
            // The concentration at or above a size, as the location means
            // take it.
            std::array<double, 3> cumulative = sample.perM3;
            if (differential)
                for (std::size_t c = 2; c-- > 0;) cumulative[c] += cumulative[c + 1];
            for (const std::size_t k : channels) {
                line.cells.push_back(std::to_string(sample.counts[k]));
                line.cells.push_back(FormatDecimal(cumulative[k], 0));
            }
            Add(std::move(line));
        }
    }
    KeepTogether(cont + 1);
    m_continued = -1;
}

void Certificate::KeepTogether(int from) {
    const int height = m_paper.heightMM * 10 - kContentBottomGap - kMarginTop;
    int total = 0;
    for (std::size_t i = static_cast<std::size_t>(from); i < m_lines.size(); ++i) total += LineHeight(m_lines[i]);
    if (total > height) return;
    for (std::size_t i = static_cast<std::size_t>(from); i + 1 < m_lines.size(); ++i) m_lines[i].keepWithNext = true;
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
    // What a page that starts with a line repeats above it: the heading of
    // the part it continues and the header of its table.
    const auto repeated = [&](const Line& line) {
        int h = line.continued >= 0 ? LineHeight(m_lines[static_cast<std::size_t>(line.continued)]) : 0;
        if (line.style == Style::TableRow && line.tableHeader >= 0)
            h += LineHeight(m_lines[static_cast<std::size_t>(line.tableHeader)]);
        return h;
    };
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.style == Style::Continued) continue;  // only ever repeated
        if (line.style == Style::PageBreak) {
            if (!m_pages.back().empty()) newPage();
            continue;
        }
        // A line kept with the next ones moves to a new page with them, unless
        // the chain would not fit an empty page either.
        int chain = 0;
        for (std::size_t j = i; j < m_lines.size() && m_lines[j].style != Style::PageBreak; ++j) {
            chain += m_lines[j].style == Style::Continued ? 0 : LineHeight(m_lines[j]);
            if (m_lines[j].style != Style::Continued && !m_lines[j].keepWithNext) break;
        }
        if (y + chain > bottom && y > first && repeated(line) + chain <= bottom - first) newPage();
        if (y + LineHeight(line) > bottom && y > first) newPage();
        if (y == first) {
            if (line.style == Style::Gap) continue;  // no gap at a page's top
            if (line.continued >= 0) {
                m_pages.back().push_back(line.continued);
                y += LineHeight(m_lines[static_cast<std::size_t>(line.continued)]);
            }
            if (line.style == Style::TableRow && line.tableHeader >= 0) {
                m_pages.back().push_back(line.tableHeader);
                y += LineHeight(m_lines[static_cast<std::size_t>(line.tableHeader)]);
            }
        }
        m_pages.back().push_back(static_cast<int>(i));
        y += LineHeight(line);
    }
}

std::vector<const Certificate::Line*> Certificate::LinesOfPage(int page) const {
    std::vector<const Line*> out;
    if (page < 1 || page > PageCount()) return out;
    for (const int i : m_pages[static_cast<std::size_t>(page - 1)])
        out.push_back(&m_lines[static_cast<std::size_t>(i)]);
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
    const ReportSurface::FontId textBold = font(10, kBold);
    const ReportSurface::FontId table = font(9, kFontWeightNormal);
    const ReportSurface::FontId tableBold = font(9, kBold);
    const ReportSurface::FontId compact = font(8, kFontWeightNormal);
    const ReportSurface::FontId compactBold = font(8, kBold);
    const ReportSurface::FontId footer = font(7, kFontWeightNormal);
    const ReportSurface::FontId previous = dc.SelectFont(text);

    const int left = kMarginLeft;
    const int right = m_paper.widthMM * 10 - kMarginRight;
    const auto draw = [&](const std::string& s, int l, int t, int r, int b, TextAlign align) {
        dc.DrawText(ToLatin1(s), DeviceRect{x(l), yd(t), x(r), yd(b)}, align);
    };

    int y = kMarginTop;
    for (const Line* line : LinesOfPage(page)) {
        const int h = LineHeight(*line);
        const int b = y + h;
        switch (line->style) {
            case Style::Title:
                dc.SelectFont(title);
                draw(line->cells[0], left, y, right, b, TextAlign::Center);
                break;
            case Style::Heading:
            case Style::Continued:
                dc.SelectFont(heading);
                draw(line->cells[0], left, y, right, b, TextAlign::Left);
                break;
            case Style::Text:
                dc.SelectFont((line->bold & 1u) != 0 ? textBold : text);
                draw(line->cells[0], left, y, right, b, TextAlign::Left);
                break;
            case Style::TableHeader:
            case Style::TableRow: {
                const Line& head =
                    line->style == Style::TableHeader ? *line : m_lines[static_cast<std::size_t>(line->tableHeader)];
                int edge = left;
                for (std::size_t k = 0; k < line->cells.size() && k < head.columns.size(); ++k) {
                    const int next = k + 1 < head.columns.size() ? edge + head.columns[k] : right;
                    const bool bold = line->style == Style::TableHeader || ((line->bold >> k) & 1u) != 0;
                    dc.SelectFont(head.compact ? (bold ? compactBold : compact) : (bold ? tableBold : table));
                    draw(line->cells[k], edge + kCellInset, y, next - kCellInset, b,
                         static_cast<int>(k) < head.leftColumns ? TextAlign::Left : TextAlign::Right);
                    edge = next;
                }
                if (line->style == Style::TableHeader) {
                    dc.MoveTo(x(left), yd(b));
                    dc.LineTo(x(right), yd(b));
                }
                break;
            }
            case Style::Signature: {
                dc.SelectFont(text);
                const int rule = b - 15;
                const int dateAt = left + (right - left) * 6 / 10;
                if (line->cells[1] != "Date:") {
                    // Signed: the signer and the time stand on the lines.
                    draw(line->cells[0], left, rule - 55, dateAt - 50, rule, TextAlign::Left);
                    draw(line->cells[1], dateAt, rule - 55, right, rule, TextAlign::Left);
                    break;
                }
                draw(line->cells[0], left, rule - 55, left + 280, rule, TextAlign::Left);
                draw(line->cells[1], dateAt, rule - 55, dateAt + 120, rule, TextAlign::Left);
                dc.MoveTo(x(left + 280), yd(rule));
                dc.LineTo(x(dateAt - 50), yd(rule));
                dc.MoveTo(x(dateAt + 120), yd(rule));
                dc.LineTo(x(right), yd(rule));
                break;
            }
            case Style::Plan:
                dc.SelectFont(table);
                DrawPlan(dc, *line, left, y, right, dX, dY);
                break;
            case Style::Gap:
            case Style::PageBreak:
                break;
        }
        y = b;
    }

    // The footer: the instrument and the report's number, the page, and the
    // SHA-256 of the certified data with the program.
    dc.SelectFont(footer);
    const int rule = m_paper.heightMM * 10 - kFooterGap;
    dc.MoveTo(x(left), yd(rule));
    dc.LineTo(x(right), yd(rule));
    std::string first = report::ModelLine(m_serial);
    if (!m_reportNumber.empty()) first += "   Report " + m_reportNumber;
    draw(first, left, rule + 10, right, rule + 50, TextAlign::Left);
    draw(report::PreviewPageText(page, PageCount()), left, rule + 10, right, rule + 50, TextAlign::Right);
    if (!m_dataSha256.empty())
        draw("Data SHA-256: " + m_dataSha256, left, rule + 50, right, rule + 90, TextAlign::Left);
    if (!m_program.empty()) draw(m_program, left, rule + 50, right, rule + 90, TextAlign::Right);

    dc.SelectFont(previous);
    for (const ReportSurface::FontId f :
         {title, heading, text, textBold, table, tableBold, compact, compactBold, footer})
        dc.DeleteFont(f);
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
