#include "classify/ClassifyText.h"

#include <charconv>
#include <string_view>

#include "records/CFormat.h"

namespace oront::classify {
namespace {

// The width of a text in characters (UTF-8), for columns.
std::size_t Width(std::string_view text) {
    std::size_t n = 0;
    for (unsigned char c : text) n += (c & 0xC0) != 0x80;
    return n;
}

void PadLeft(std::string& out, std::string_view text, std::size_t width) {
    const std::size_t w = Width(text);
    if (w < width) out.append(width - w, ' ');
    out.append(text);
}

void PadRight(std::string& out, std::string_view text, std::size_t width) {
    out.append(text);
    const std::size_t w = Width(text);
    if (w < width) out.append(width - w, ' ');
}

}  // namespace

const char* StateWords(Occupancy state) {
    switch (state) {
        case Occupancy::AsBuilt:
            return "as built";
        case Occupancy::AtRest:
            return "at rest";
        case Occupancy::Operational:
            return "in operation";
    }
    return "";
}

namespace {

std::string Record(int number) {
    return FormatZeroPad(number, 4).str();
}

// YYYYMMDD as "YYYY-MM-DD".
std::string DayText(int day) {
    return FormatZeroPad(day / 10000, 4).str() + "-" + FormatZeroPad(day / 100 % 100, 2).str() + "-" +
           FormatZeroPad(day % 100, 2).str();
}

// JSON pieces.
void JsonString(std::string& out, std::string_view text) {
    out += '"';
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += ch;
        }
    }
    out += '"';
}

void JsonKey(std::string& out, const char* key) {
    JsonString(out, key);
    out += ": ";
}

template <typename T, typename Write>
void JsonArray(std::string& out, const T& items, Write write) {
    out += '[';
    bool first = true;
    for (const auto& item : items) {
        if (!first) out += ", ";
        first = false;
        write(item);
    }
    out += ']';
}

void JsonNumbers(std::string& out, const std::array<double, 3>& values) {
    JsonArray(out, values, [&out](double v) { out += FormatDecimal(v, -1); });
}

void JsonRun(std::string& out, const Classification& result, const RunResult& r) {
    out += '{';
    JsonKey(out, "run");
    out += std::to_string(r.run) + ", ";
    JsonKey(out, "first_record");
    out += std::to_string(r.firstRecord) + ", ";
    JsonKey(out, "last_record");
    out += std::to_string(r.lastRecord) + ", ";
    JsonKey(out, "location");
    JsonString(out, r.location.view());
    out += ", ";
    JsonKey(out, "start");
    JsonString(out, r.start.view());
    out += ", ";
    JsonKey(out, "sizes_um");
    JsonArray(out, r.sizes, [&out](const SizeResult& s) { out += s.sizeTenths ? SizeNumber(s.sizeTenths) : "null"; });
    out += ", ";
    JsonKey(out, "points");
    JsonArray(out, result.Locations(r), [&](const Location& loc) {
        out += '{';
        JsonKey(out, "point");
        out += std::to_string(loc.point) + ", ";
        JsonKey(out, "cycles");
        out += std::to_string(loc.cycles) + ", ";
        JsonKey(out, "sample_litres");
        JsonArray(out, result.SampleLitres(loc), [&out](double litres) { out += FormatDecimal(litres, 2); });
        out += ", ";
        JsonKey(out, "mean_per_m3");
        JsonNumbers(out, loc.meanPerM3);
        out += '}';
    });
    out += ", ";
    JsonKey(out, "ucl_per_m3");
    if (r.uclPerM3)
        JsonNumbers(out, *r.uclPerM3);
    else
        out += "null";
    out += ", ";
    JsonKey(out, "limits_per_m3");
    JsonArray(out, r.sizes, [&out](const SizeResult& s) { out += s.limit ? std::to_string(*s.limit) : "null"; });
    out += ", ";
    JsonKey(out, "size_verdicts");
    JsonArray(out, r.sizes, [&out](const SizeResult& s) { JsonString(out, VerdictName(s.verdict)); });
    out += ", ";
    JsonKey(out, "verdict");
    JsonString(out, VerdictName(r.verdict));
    out += ", ";
    JsonKey(out, "achieved_class");
    out += r.achievedClass ? ClassNumber(r.achievedClass) : "null";
    out += ", ";
    JsonKey(out, "limiting_size_um");
    out += r.limitingSize ? SizeNumber(r.limitingSize) : "null";
    out += ", ";
    JsonKey(out, "limited_by");
    const std::string limitedBy = LimitedByText(r);
    if (limitedBy.empty())
        out += "null";
    else
        JsonString(out, limitedBy);
    out += ", ";
    JsonKey(out, "minimum_sample_litres");
    out += r.minimumLitres > 0.0 ? FormatDecimal(r.minimumLitres, 2) : "null";
    out += ", ";
    JsonKey(out, "required_locations");
    out += r.requiredLocations > 0 ? std::to_string(r.requiredLocations) : "null";
    out += ", ";
    JsonKey(out, "requirements");
    JsonArray(out, result.Requirements(r), [&](const Warning& w) {
        out += '{';
        JsonKey(out, "rule");
        JsonString(out, RequirementRule(w.kind));
        out += ", ";
        JsonKey(out, "clause");
        JsonString(out, RequirementClause(w.kind, result.settings.standard));
        out += ", ";
        JsonKey(out, "detail");
        JsonString(out, WarningText(w, result.settings));
        out += '}';
    });
    out += ", ";
    JsonKey(out, "warnings");
    JsonArray(out, result.Warnings(r), [&](const Warning& w) { JsonString(out, WarningText(w, result.settings)); });
    out += '}';
}

}  // namespace

std::string FormatDecimal(double value, int decimals) {
    char buf[NumberText::kCapacity];
    const std::to_chars_result end =
        decimals < 0 ? std::to_chars(buf, buf + sizeof buf, value)
                     : std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    return std::string(buf, end.ptr);
}

const char* StandardName(Standard standard) {
    switch (standard) {
        case Standard::Iso2015:
            return "ISO 14644-1:2015";
        case Standard::Iso1999:
            return "ISO 14644-1:1999";
        case Standard::Gmp2022:
            return "EU GMP Annex 1 (2022)";
    }
    return "";
}

const char* StateName(Occupancy state) {
    switch (state) {
        case Occupancy::AsBuilt:
            return "as-built";
        case Occupancy::AtRest:
            return "at-rest";
        case Occupancy::Operational:
            return "operational";
    }
    return "";
}

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Pass:
            return "pass";
        case Verdict::Fail:
            return "fail";
        case Verdict::NotApplicable:
            return "not-applicable";
        case Verdict::NotJudged:
            return "not-judged";
        case Verdict::NotClassified:
            return "not-classified";
        case Verdict::NotValid:
            return "not-valid";
    }
    return "";
}

std::string SizeNumber(int sizeTenths) {
    return std::to_string(sizeTenths / 10) + "." + std::to_string(sizeTenths % 10);
}

std::string SizeText(int sizeTenths) {
    return SizeNumber(sizeTenths) + " µm";
}

std::string ClassNumber(int classTenths) {
    return std::to_string(classTenths / 10) + "." + std::to_string(classTenths % 10);
}

std::string ClassText(int classTenths) {
    return "ISO " + (classTenths % 10 == 0 ? std::to_string(classTenths / 10) : ClassNumber(classTenths));
}

std::string LimitedByText(const RunResult& run) {
    if (run.limitingSize != 0) return SizeText(run.limitingSize);
    return run.limitedByVolume ? "the sample volume" : "";
}

std::string AchievedText(const RunResult& run) {
    const std::string limitedBy = LimitedByText(run);
    if (run.worseThanIso9) {
        if (run.worseThanClass == 0) return "none";
        if (run.limitingSize == 0 && run.limitedByVolume) return "none: the samples are too small for every class";
        return "worse than " + ClassText(run.worseThanClass) + (limitedBy.empty() ? "" : " (" + limitedBy + ")");
    }
    if (run.achievedClass == 0) return "none";
    if (!limitedBy.empty()) return ClassText(run.achievedClass) + ", limited by " + limitedBy;
    if (run.achievedClass == kLowestClass) return ClassText(run.achievedClass);
    return ClassText(run.achievedClass) + ", the lowest class at which a considered size applies";
}

const char* RequirementRule(WarningKind kind) {
    switch (kind) {
        case WarningKind::ShortSample:
        case WarningKind::SmallVolume:
            return "sample volume";
        case WarningKind::OverRange:
            return "over-range samples";
        case WarningKind::TooFewLocations:
            return "number of locations";
        case WarningKind::SizeNotMeasured:
            return "considered size measured";
        case WarningKind::TooFewSamples:
            return "samples at a single location";
        case WarningKind::CalibrationPastDue:
            return "instrument calibration";
        default:
            return "";
    }
}

const char* RequirementClause(WarningKind kind, Standard standard) {
    const bool old = standard == Standard::Iso1999;
    switch (kind) {
        case WarningKind::ShortSample:
        case WarningKind::SmallVolume:
            return old ? "ISO 14644-1:1999 B.4.2" : "ISO 14644-1:2015 A.4.4";
        case WarningKind::OverRange:
            return old ? "ISO 14644-1:1999 B.2" : "ISO 14644-1:2015 A.2.1";
        case WarningKind::TooFewLocations:
            return old ? "ISO 14644-1:1999 B.4.1" : "ISO 14644-1:2015 A.4.1, Table A.1";
        case WarningKind::SizeNotMeasured:
            return old ? "ISO 14644-1:1999 3.3" : "ISO 14644-1:2015 4.2";
        case WarningKind::TooFewSamples:
            return "ISO 14644-1:1999 B.4.2";
        case WarningKind::CalibrationPastDue:
            return old ? "ISO 14644-1:1999 B.2" : "ISO 14644-1:2015 A.2.2";
        default:
            return "";
    }
}

std::string RequirementText(const Warning& w, const Settings& settings) {
    return std::string(RequirementRule(w.kind)) + " (" + RequirementClause(w.kind, settings.standard) +
           "): " + WarningText(w, settings);
}

std::string TargetText(const Settings& settings) {
    const Target& t = settings.target;
    if (t.classTenths != 0) return ClassText(t.classTenths) + ", " + StateWords(t.state);
    if (t.grade != 0) return std::string("grade ") + t.grade + ", " + StateWords(t.state);
    return "none";
}

std::string WarningText(const Warning& w, const Settings& settings) {
    // "record 0027" or "record 0027 and 3 more".
    const auto records = [&w] {
        std::string text = "record " + Record(w.record);
        if (w.count > 1) text += " and " + std::to_string(w.count - 1) + " more";
        return text;
    };
    switch (w.kind) {
        case WarningKind::MissingBeginning:
            return "record " + Record(w.record) + " is not the first cycle of a point: the run lacks its beginning";
        case WarningKind::SizeCodeDiffers:
            return "record " + Record(w.record) + " has size code " + std::to_string(w.other) +
                   ", the run's first record " + std::to_string(w.size);
        case WarningKind::ZeroSampleTime:
            return "sample time of 0 s, no concentration can be computed: " + records();
        case WarningKind::EmptyPoint:
            return "point " + std::to_string(w.other) + " has no samples";
        case WarningKind::NoGradeSize:
            return "a grade is judged at 0.5 µm, and the run has no 0.5 µm channel considered";
        case WarningKind::NoApplicableSize:
            return "no considered size is applicable at " + ClassText(w.other);
        case WarningKind::NoConsideredSize:
            return "the run measures none of the considered sizes";
        case WarningKind::NotApplicable:
            return SizeText(w.size) + " does not apply at " + ClassText(w.other);
        case WarningKind::ShortSample:
            return "sample time below 1 minute: " + records() + " (" + std::to_string(w.other) + " s)";
        case WarningKind::SmallVolume: {
            std::string minimum = w.limit == 0 ? std::string("2 L")
                                               : FormatDecimal(w.minimum, 2) + " L (20 particles at the limit of " +
                                                     std::to_string(w.limit) + " per m³ at " + SizeText(w.size) + ")";
            return "sample volume below the minimum of " + minimum + ": " + records() + " (" +
                   FormatDecimal(w.value, 2) + " L)";
        }
        case WarningKind::OverRange:
            return "over range (past the counter's concentration limit), not valid data: " + records();
        case WarningKind::TooFewLocations:
            return std::to_string(w.count) + (w.count == 1 ? " location" : " locations") + " for a room of " +
                   FormatDecimal(w.value, -1) + " m²: " + StandardName(settings.standard) + " asks for at least " +
                   std::to_string(w.other);
        case WarningKind::LocationsNotVerified:
            return "number of locations not verified (area not given)";
        case WarningKind::TooFewSamples:
            return "a single location needs at least 3 samples, it has " + std::to_string(w.count);
        case WarningKind::CalibrationPastDue:
            return "taken after the instrument's calibration was due on " + DayText(w.other) + ": " + records();
        case WarningKind::SizesTooClose:
            return "the considered sizes " + SizeText(w.size) + " and " + SizeText(w.other) +
                   " are closer than a factor of 1.5";
        case WarningKind::ZeroCounts:
            return "the " + SizeText(w.size) + " counts are zero at every location";
        case WarningKind::SizeNotMeasured:
            return SizeText(w.size) + " is not measured by this run";
        case WarningKind::NoSizeText:
            return "channel 2 has no size (size code " + std::to_string(w.other) +
                   (settings.counts == CountMode::Differential ? "): not judged, its counts still add to channel 1"
                                                               : "): not judged");
    }
    return {};
}

std::string ClassificationText(const Classification& result) {
    const Settings& s = result.settings;
    std::string out;
    out += "Standard: " + std::string(StandardName(s.standard)) + "\n";
    out += "Target: " + (s.target.Given() ? TargetText(s) : "none, the achieved class of every run") + "\n";
    if (result.isoEquivalent != 0) out += "ISO equivalent of the grade: " + ClassText(result.isoEquivalent) + "\n";
    out += s.counts == CountMode::Cumulative
               ? "Counts: cumulative (particles at or above each size)\n"
               : "Counts: differential (a size adds the counts of every larger channel)\n";
    out += "Concentration: count x 21188.8349 / T per m³ (0.1 ft³/min; T the sample time in seconds)\n";
    constexpr std::size_t kLabel = 24;
    constexpr std::size_t kColumn = 16;
    int passed = 0, failed = 0, invalid = 0, unclassified = 0;
    for (const RunResult& r : result.runs) {
        out += "\nRun " + std::to_string(r.run) + ": records " + Record(r.firstRecord) + " to " + Record(r.lastRecord) +
               ", location " + r.location.str() + ", " + r.start.str() + " to " + r.end.str() + "\n";
        auto row = [&](std::string_view label, auto cell) {
            out += "  ";
            PadRight(out, label, kLabel);
            for (const SizeResult& size : r.sizes) PadLeft(out, cell(size), kColumn);
            out += "\n";
        };
        row("per m³", [](const SizeResult& size) { return size.sizeTenths ? SizeText(size.sizeTenths) : "no size"; });
        for (const Location& loc : result.Locations(r)) {
            const std::string label = "location " + std::to_string(loc.point) + " (" + std::to_string(loc.cycles) +
                                      (loc.cycles == 1 ? " cycle)" : " cycles)");
            std::size_t c = 0;
            row(label, [&](const SizeResult&) { return FormatDecimal(loc.meanPerM3[c++], 1); });
        }
        if (r.uclPerM3) {
            std::size_t c = 0;
            row("95% UCL", [&](const SizeResult&) { return FormatDecimal((*r.uclPerM3)[c++], 1); });
        }
        if (s.target.Given()) {
            row("limit", [](const SizeResult& size) { return size.limit ? std::to_string(*size.limit) : "-"; });
            row("size verdict", [](const SizeResult& size) { return std::string(VerdictName(size.verdict)); });
        }
        out += "  Verdict: " + std::string(VerdictName(r.verdict)) + "\n";
        out += "  Achieved class: " + AchievedText(r) + "\n";
        for (const Warning& w : result.Requirements(r)) out += "  Requirement broken: " + RequirementText(w, s) + "\n";
        for (const Warning& w : result.Warnings(r))
            out +=
                (w.kind == WarningKind::LocationsNotVerified ? "  Note: " : "  Warning: ") + WarningText(w, s) + "\n";
        passed += r.verdict == Verdict::Pass;
        failed += r.verdict == Verdict::Fail;
        invalid += r.verdict == Verdict::NotValid;
        unclassified += r.verdict == Verdict::NotClassified;
    }
    out += "\nResult: " + std::string(VerdictName(result.verdict)) + " (" + std::to_string(result.runs.size()) +
           (result.runs.size() == 1 ? " run" : " runs");
    if (s.target.Given()) out += ": " + std::to_string(passed) + " pass, " + std::to_string(failed) + " fail";
    if (invalid > 0) out += ", " + std::to_string(invalid) + " not valid";
    if (unclassified > 0) out += ", " + std::to_string(unclassified) + " not classified";
    out += ")\n";
    return out;
}

std::string ClassificationJson(const Classification& result) {
    const Settings& s = result.settings;
    std::string out = "{";
    JsonKey(out, "standard");
    JsonString(out, StandardName(s.standard));
    out += ", ";
    JsonKey(out, "target");
    if (s.target.classTenths != 0) {
        out += "{";
        JsonKey(out, "class");
        out += ClassNumber(s.target.classTenths) + ", ";
    } else if (s.target.grade != 0) {
        out += "{";
        JsonKey(out, "grade");
        JsonString(out, std::string(1, s.target.grade));
        out += ", ";
    }
    if (s.target.Given()) {
        JsonKey(out, "state");
        JsonString(out, StateName(s.target.state));
        out += "}";
    } else {
        out += "null";
    }
    out += ", ";
    JsonKey(out, "counts");
    JsonString(out, s.counts == CountMode::Cumulative ? "cumulative" : "differential");
    if (result.isoEquivalent != 0) {
        out += ", ";
        JsonKey(out, "iso_equivalent");
        out += ClassNumber(result.isoEquivalent);
    }
    if (s.areaM2 > 0.0) {
        out += ", ";
        JsonKey(out, "area_m2");
        out += FormatDecimal(s.areaM2, -1);
    }
    out += ",\n ";
    JsonKey(out, "runs");
    out += "[";
    for (std::size_t i = 0; i < result.runs.size(); ++i) {
        out += i == 0 ? "\n  " : ",\n  ";
        JsonRun(out, result, result.runs[i]);
    }
    out += "],\n ";
    JsonKey(out, "verdict");
    JsonString(out, VerdictName(result.verdict));
    out += "}\n";
    return out;
}

namespace {

// The CSV lines of a classification, each after `prefix`; the header first
// when asked for (with a room column when there is a prefix).
void CsvLines(std::string& out, const Classification& result, const std::string& prefix, bool header) {
    const Settings& s = result.settings;
    if (header) out += prefix.empty() ? "" : "room,";
    if (header)
        out +=
            "standard,target,counts,run,first_record,last_record,location,start,point,cycles,size_um,mean_per_m3,"
            "ucl_per_m3,limit_per_m3,size_verdict,run_verdict,achieved_class,limiting_size_um,limited_by,"
            "requirements\r\n";
    std::string target;
    if (s.target.classTenths != 0) target = ClassText(s.target.classTenths) + " " + StateName(s.target.state);
    if (s.target.grade != 0) target = std::string("grade ") + s.target.grade + " " + StateName(s.target.state);
    const std::string settings = std::string(StandardName(s.standard)) + "," + target + "," +
                                 (s.counts == CountMode::Cumulative ? "cumulative" : "differential") + ",";
    for (const RunResult& r : result.runs) {
        const std::string run = std::to_string(r.run) + "," + std::to_string(r.firstRecord) + "," +
                                std::to_string(r.lastRecord) + "," + r.location.str() + "," + r.start.str() + ",";
        // The broken requirements by their rules, which have no commas.
        std::string rules;
        for (const Warning& w : result.Requirements(r)) {
            const std::string rule = RequirementRule(w.kind);
            if (rules.find(rule) == std::string::npos) rules += (rules.empty() ? "" : "; ") + rule;
        }
        const std::string verdicts =
            std::string(VerdictName(r.verdict)) + "," + (r.achievedClass ? ClassNumber(r.achievedClass) : "") + "," +
            (r.limitingSize ? SizeNumber(r.limitingSize) : "") + "," + LimitedByText(r) + "," + rules + "\r\n";
        for (const Location& loc : result.Locations(r))
            for (std::size_t c = 0; c < 3; ++c) {
                const SizeResult& size = r.sizes[c];
                out +=
                    prefix + settings + run + std::to_string(loc.point) + "," + std::to_string(loc.cycles) + "," +
                    (size.sizeTenths ? SizeNumber(size.sizeTenths) : "") + "," + FormatDecimal(loc.meanPerM3[c], -1) +
                    "," + (r.uclPerM3 ? FormatDecimal((*r.uclPerM3)[c], -1) : "") + "," +
                    (size.limit ? std::to_string(*size.limit) : "") + "," + VerdictName(size.verdict) + "," + verdicts;
            }
    }
}

}  // namespace

std::string ClassificationCsv(const Classification& result) {
    std::string out;
    CsvLines(out, result, {}, true);
    return out;
}

std::string RoomsText(const RoomClassification& rooms) {
    if (!rooms.error.empty()) return {};
    const bool plain = rooms.sections.size() == 1 && rooms.sections[0].roomId.empty();
    if (plain) return ClassificationText(rooms.sections[0].result);
    std::string out;
    for (const RoomSection& section : rooms.sections) {
        out += "== " + SectionTitle(section) + " ==\n";
        if (!section.result.error.empty() && section.result.runs.empty()) {
            out += "Standard: " + std::string(StandardName(section.result.settings.standard)) + "\n";
            out += "Target: " + TargetText(section.result.settings) + "\n";
            out += "Not classified: " + section.result.error + "\n\n";
            continue;
        }
        out += ClassificationText(section.result) + "\n";
    }
    out += "Overall result: " + std::string(VerdictName(rooms.verdict)) + " (" + std::to_string(rooms.sections.size()) +
           (rooms.sections.size() == 1 ? " section)\n" : " sections)\n");
    return out;
}

std::string RoomsJson(const RoomClassification& rooms) {
    std::string out = "{";
    JsonKey(out, "rooms");
    out += "[";
    for (std::size_t i = 0; i < rooms.sections.size(); ++i) {
        const RoomSection& section = rooms.sections[i];
        out += i == 0 ? "\n{" : ",\n{";
        JsonKey(out, "room");
        if (section.roomId.empty())
            out += "null";
        else
            JsonString(out, section.roomId);
        out += ", ";
        JsonKey(out, "name");
        JsonString(out, section.roomName);
        out += ", ";
        JsonKey(out, "location");
        if (section.roomId.empty())
            JsonString(out, FormatZeroPad(section.locationNumber, 3).str());
        else
            out += "null";
        out += ", ";
        JsonKey(out, "places");
        JsonArray(out, section.places, [&out](const SamplingPlace& p) {
            if (p.name.empty() && !p.positioned) {
                out += "null";
                return;
            }
            out += '{';
            JsonKey(out, "name");
            JsonString(out, p.name);
            out += ", ";
            JsonKey(out, "x_m");
            out += FormatDecimal(p.xM, -1) + ", ";
            JsonKey(out, "y_m");
            out += FormatDecimal(p.yM, -1) + '}';
        });
        out += ", ";
        JsonKey(out, "error");
        if (section.result.error.empty())
            out += "null";
        else
            JsonString(out, section.result.error);
        out += ",\n ";
        JsonKey(out, "classification");
        std::string inner = ClassificationJson(section.result);
        if (!inner.empty() && inner.back() == '\n') inner.pop_back();
        out += inner + "}";
    }
    out += "],\n ";
    JsonKey(out, "verdict");
    JsonString(out, VerdictName(rooms.verdict));
    out += "}\n";
    return out;
}

std::string RoomsCsv(const RoomClassification& rooms) {
    std::string out;
    for (std::size_t i = 0; i < rooms.sections.size(); ++i) {
        const RoomSection& section = rooms.sections[i];
        std::string room =
            section.roomId.empty() ? "location " + FormatZeroPad(section.locationNumber, 3).str() : section.roomId;
        // A room id with a comma or a quote is quoted, as CSV does.
        if (room.find_first_of(",\"\r\n") != std::string::npos) {
            std::string quoted = "\"";
            for (char c : room) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            room = quoted + "\"";
        }
        CsvLines(out, section.result, room + ",", i == 0);
    }
    return out;
}

std::string SectionTitle(const RoomSection& section) {
    if (section.roomId.empty()) return "Location " + FormatZeroPad(section.locationNumber, 3).str() + " (no room)";
    std::string title = "Room " + section.roomId;
    if (section.roomName != section.roomId) title += " (" + section.roomName + ")";
    const Settings& s = section.result.settings;
    if (s.target.stateDeclared) title += ", " + std::string(StateWords(s.target.state));
    return title;
}

}  // namespace oront::classify
