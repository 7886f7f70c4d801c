#include "archive/ArchiveText.h"

#include <ctime>

#include "base/LocalTime.h"
#include "classify/Classify.h"
#include "classify/ClassifyText.h"
#include "records/CFormat.h"
#include "records/TableBuild.h"

namespace oront::archive {
namespace {

std::uint32_t U32(const std::uint8_t* b) {
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

// `text` in a column of `width` characters (UTF-8 characters, not bytes).
std::string Pad(std::string text, std::size_t width, bool right) {
    std::size_t characters = 0;
    for (unsigned char c : text) characters += (c & 0xC0) != 0x80 ? 1 : 0;
    if (characters >= width) return text;
    const std::string fill(width - characters, ' ');
    return right ? fill + text : text + fill;
}

// The name the register gives a location number in a room on a record's day.
std::string LocationName(const site::Register& reg, const std::string& room, int number, std::int64_t key) {
    const site::Day day = static_cast<site::Day>((2000 + ((key >> 40) & 0xFF)) * 10000 + ((key >> 32) & 0xFF) * 100 +
                                                 ((key >> 24) & 0xFF));
    const site::Place place = site::PlaceOf(reg, number, day);
    if (place.room != nullptr && place.room->id == room) return place.location->name;
    for (const site::Room& r : reg.rooms)
        if (r.id == room)
            for (const site::Location& loc : r.locations)
                if (loc.number == number) return loc.name;
    return {};
}

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

}  // namespace

std::string TimeKeyText(std::int64_t key) {
    const auto byte = [key](int shift) { return static_cast<int>((key >> shift) & 0xFF); };
    return "20" + FormatZeroPad(byte(40), 2).str() + "-" + FormatZeroPad(byte(32), 2).str() + "-" +
           FormatZeroPad(byte(24), 2).str() + " " + FormatZeroPad(byte(16), 2).str() + ":" +
           FormatZeroPad(byte(8), 2).str() + ":" + FormatZeroPad(byte(0), 2).str();
}

std::string ExcursionsText(const std::vector<ExcursionRow>& excursions, const std::vector<AdverseTrendRow>& trends,
                           const site::Register& reg) {
    if (excursions.empty() && trends.empty()) return "No archived record is above an alert or action limit.\n";
    std::string out = Pad("Time", 19, false) + "  " + Pad("Room", 8, false) + "  " + Pad("Location", 28, false) + "  " +
                      Pad("Size", 6, false) + "  " + Pad("per m³", 11, true) + "  " + Pad("Limit", 11, true) +
                      "  Level\n";
    const auto place = [&](const std::string& room, int number, std::int64_t key) {
        const std::string name = LocationName(reg, room, number, key);
        return FormatZeroPad(number, 3).str() + (name.empty() ? "" : " " + name);
    };
    for (const ExcursionRow& e : excursions) {
        out += TimeKeyText(e.time) + "  " + Pad(e.room, 8, false) + "  " +
               Pad(place(e.room, e.location, e.time), 28, false) + "  " +
               Pad(classify::SizeText(e.sizeTenths), 6, false) + "  " +
               Pad(classify::FormatDecimal(e.perM3, 1), 11, true) + "  " +
               Pad(classify::FormatDecimal(e.limitPerM3, 1), 11, true) + "  " + site::LevelText(e.level) + "\n";
    }
    for (const AdverseTrendRow& t : trends) {
        out += TimeKeyText(t.firstTime) + "  " + Pad(t.room, 8, false) + "  " +
               Pad(place(t.room, t.location, t.firstTime), 28, false) + "  " +
               Pad(classify::SizeText(t.sizeTenths), 6, false) + "  " + std::string(11 + 2 + 11, ' ') +
               "  adverse trend: " + std::to_string(t.records) + " records above the alert limit to " +
               TimeKeyText(t.lastTime) + "\n";
    }
    return out;
}

std::string ExcursionsCsv(const std::vector<ExcursionRow>& excursions, const std::vector<AdverseTrendRow>& trends,
                          const site::Register& reg) {
    std::string out = "time,room,location,location_name,size_um,per_m3,limit_per_m3,level,records,last_time\n";
    for (const ExcursionRow& e : excursions) {
        out += TimeKeyText(e.time) + "," + CsvField(e.room) + "," + FormatInt(e.location).str() + "," +
               CsvField(LocationName(reg, e.room, e.location, e.time)) + "," +
               classify::FormatDecimal(e.sizeTenths / 10.0, 1) + "," + classify::FormatDecimal(e.perM3, 1) + "," +
               classify::FormatDecimal(e.limitPerM3, 1) + "," + site::LevelText(e.level) + ",,\n";
    }
    for (const AdverseTrendRow& t : trends) {
        out += TimeKeyText(t.firstTime) + "," + CsvField(t.room) + "," + FormatInt(t.location).str() + "," +
               CsvField(LocationName(reg, t.room, t.location, t.firstTime)) + "," +
               classify::FormatDecimal(t.sizeTenths / 10.0, 1) + ",,,adverse trend," + FormatInt(t.records).str() +
               "," + TimeKeyText(t.lastTime) + "\n";
    }
    return out;
}

std::string ExcursionsJson(const std::vector<ExcursionRow>& excursions, const std::vector<AdverseTrendRow>& trends,
                           const site::Register& reg) {
    std::string out = "{\"excursions\": [";
    for (std::size_t i = 0; i < excursions.size(); ++i) {
        const ExcursionRow& e = excursions[i];
        out += (i == 0 ? "\n  " : ",\n  ") + std::string("{\"time\": \"") + TimeKeyText(e.time) +
               "\", \"room\": " + JsonString(e.room) + ", \"location\": " + FormatInt(e.location).str() +
               ", \"location_name\": " + JsonString(LocationName(reg, e.room, e.location, e.time)) +
               ", \"size_um\": " + classify::FormatDecimal(e.sizeTenths / 10.0, 1) +
               ", \"per_m3\": " + classify::FormatDecimal(e.perM3, 1) +
               ", \"limit_per_m3\": " + classify::FormatDecimal(e.limitPerM3, 1) + ", \"level\": \"" +
               site::LevelText(e.level) + "\"}";
    }
    out += excursions.empty() ? "],\n" : "\n],\n";
    out += " \"adverse_trends\": [";
    for (std::size_t i = 0; i < trends.size(); ++i) {
        const AdverseTrendRow& t = trends[i];
        out += (i == 0 ? "\n  " : ",\n  ") + std::string("{\"first_time\": \"") + TimeKeyText(t.firstTime) +
               "\", \"last_time\": \"" + TimeKeyText(t.lastTime) + "\", \"room\": " + JsonString(t.room) +
               ", \"location\": " + FormatInt(t.location).str() +
               ", \"location_name\": " + JsonString(LocationName(reg, t.room, t.location, t.firstTime)) +
               ", \"size_um\": " + classify::FormatDecimal(t.sizeTenths / 10.0, 1) +
               ", \"records\": " + FormatInt(t.records).str() + "}";
    }
    out += trends.empty() ? "]}\n" : "\n]}\n";
    return out;
}

RecordFields DecodeRecord(const Record& record) {
    const Frame& f = record.frame;
    RecordFields r;
    r.dateTime = "20" + FormatZeroPad(f[7], 2) + "-" + FormatZeroPad(f[8], 2) + "-" + FormatZeroPad(f[9], 2) + " " +
                 FormatZeroPad(f[10], 2) + ":" + FormatZeroPad(f[11], 2) + ":" + FormatZeroPad(f[12], 2);
    static const char* const kModes[] = {"Auto", "Manual", "ISO"};
    r.mode = f[0] < 3 ? kModes[f[0]] : "";
    r.location = f[1];
    r.point = f[2];
    r.cyclesPerPoint = (f[3] << 8) | f[4];
    r.cycle = f[0] == 1 ? 1 : (f[5] << 8) | f[6];
    r.sampleSeconds = 60 * f[13] + f[14];
    r.sizes = {std::string(Ch1SizeText(f[19])),
               Ch2SizeText(f[19]).empty() ? FormatInt(f[19]).str() : std::string(Ch2SizeText(f[19])), "5.0um"};
    for (std::size_t c = 0; c < 3; ++c) {
        r.counts[c] = U32(f.data() + 22 + 4 * c);
        r.perM3[c] = classify::PerCubicMetre(r.counts[c], r.sampleSeconds);
    }
    return r;
}

std::string LocalTimeText(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    const std::tm tm = LocalTime(t);
    return FormatMinDigits(tm.tm_year + 1900, 4) + "-" + FormatZeroPad(tm.tm_mon + 1, 2) + "-" +
           FormatZeroPad(tm.tm_mday, 2) + " " + FormatZeroPad(tm.tm_hour, 2) + ":" + FormatZeroPad(tm.tm_min, 2) + ":" +
           FormatZeroPad(tm.tm_sec, 2);
}

std::string HistoryText(const std::vector<Download>& downloads) {
    // The serial column takes any number the record frame can carry.
    std::string out = Pad("ID", 5, true) + "  " + Pad("Time", 19, false) + "  " + Pad("Serial", 10, true) + "  " +
                      Pad("Records", 8, true) + "  " + Pad("New records", 11, true) + "  " +
                      Pad("Wrap position", 13, true) + "\n";
    for (const Download& d : downloads) {
        out += Pad(FormatInt(d.id).str(), 5, true) + "  " + LocalTimeText(d.time) + "  " +
               Pad(FormatInt(d.serial).str(), 10, true) + "  " + Pad(FormatInt(d.recordCount).str(), 8, true) + "  " +
               Pad(FormatInt(d.newRecords).str(), 11, true) + "  " + Pad(FormatInt(d.wrapPosition).str(), 13, true) +
               "\n";
    }
    return out;
}

std::string HistoryJson(const std::vector<Download>& downloads) {
    std::string out = "[";
    for (std::size_t i = 0; i < downloads.size(); ++i) {
        const Download& d = downloads[i];
        out += i == 0 ? "\n" : ",\n";
        out += "  {\"id\": " + FormatInt(d.id) + ", \"time\": \"" + LocalTimeText(d.time) +
               "\", \"serial\": " + FormatInt(d.serial) + ", \"records\": " + FormatInt(d.recordCount) +
               ", \"new_records\": " + FormatInt(d.newRecords) + ", \"wrap_position\": " + FormatInt(d.wrapPosition) +
               ", \"warnings\": " + JsonString(d.warnings) + "}";
    }
    out += downloads.empty() ? "]\n" : "\n]\n";
    return out;
}

const char* RecordCsvHeader() {
    return "serial,date_time,mode,location,point,cycles,cycle,sample_seconds,ch1_size,ch2_size,ch3_size,"
           "ch1_count,ch2_count,ch3_count,ch1_per_m3,ch2_per_m3,ch3_per_m3,first_download\n";
}

std::string RecordCsvLine(const Record& record) {
    const RecordFields r = DecodeRecord(record);
    std::string out = FormatInt(record.serial) + "," + r.dateTime + "," + r.mode + "," + FormatInt(r.location) + "," +
                      FormatInt(r.point) + "," + FormatInt(r.cyclesPerPoint) + "," + FormatInt(r.cycle) + "," +
                      FormatInt(r.sampleSeconds);
    for (const std::string& size : r.sizes) out += "," + size;
    for (std::uint32_t count : r.counts) out += "," + FormatInt(count);
    for (double value : r.perM3) out += "," + classify::FormatDecimal(value, 1);
    out += "," + FormatInt(record.firstDownload) + "\n";
    return out;
}

std::string RecordJson(const Record& record) {
    const RecordFields r = DecodeRecord(record);
    std::string out = "{\"serial\": " + FormatInt(record.serial) + ", \"date_time\": \"" + r.dateTime +
                      "\", \"mode\": \"" + r.mode + "\", \"location\": " + FormatInt(r.location) +
                      ", \"point\": " + FormatInt(r.point) + ", \"cycles\": " + FormatInt(r.cyclesPerPoint) +
                      ", \"cycle\": " + FormatInt(r.cycle) + ", \"sample_seconds\": " + FormatInt(r.sampleSeconds);
    const char* sep = ", \"sizes\": [";
    for (const std::string& size : r.sizes) out += std::string(sep) + "\"" + size + "\"", sep = ", ";
    sep = "], \"counts\": [";
    for (std::uint32_t count : r.counts) out += std::string(sep) + FormatInt(count), sep = ", ";
    sep = "], \"per_m3\": [";
    for (double value : r.perM3) out += std::string(sep) + classify::FormatDecimal(value, 1), sep = ", ";
    out += "], \"first_download\": " + FormatInt(record.firstDownload) + "}";
    return out;
}

}  // namespace oront::archive
