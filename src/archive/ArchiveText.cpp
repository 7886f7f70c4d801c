#include "archive/ArchiveText.h"

#include <ctime>

#include "classify/Classify.h"
#include "classify/ClassifyText.h"
#include "records/CFormat.h"
#include "records/TableBuild.h"

namespace oront::archive {
namespace {

std::uint32_t U32(const std::uint8_t* b) {
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) | b[3];
}

std::string Pad(std::string text, std::size_t width, bool right) {
    if (text.size() >= width) return text;
    const std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

}  // namespace

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
    r.sizes = {Ch1SizeText(f[19]), Ch2SizeText(f[19]) ? Ch2SizeText(f[19]) : FormatInt(f[19]).str(), "5.0um"};
    for (std::size_t c = 0; c < 3; ++c) {
        r.counts[c] = U32(f.data() + 22 + 4 * c);
        r.perM3[c] = classify::PerCubicMetre(r.counts[c], r.sampleSeconds);
    }
    return r;
}

std::string LocalTimeText(std::int64_t time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm tm{};
    localtime_r(&t, &tm);
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
               "}";
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
