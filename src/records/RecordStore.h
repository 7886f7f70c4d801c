// The record store: record slots, the result table and the report table.
//
// Every value is text from the moment it is decoded, and each text is kept
// once: a result row carries its own fields (number, kind, statistics) and
// shows the fields of one record slot, and the lines of the report table are
// derived from the result rows when they are read. Beside its texts, a slot
// keeps the raw counts and sample time of its frame (RawCounts) for the
// cleanroom classification.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "records/Text.h"

namespace oront {

constexpr int kMaxRecords = 8000;  // the instrument's ring of records

// The figures of a record frame that the cleanroom classification reads as
// the instrument sent them: the counts of channels 1 to 3 and the sample time
// in seconds (the texts of a slot are rounded after the unit conversion, so
// concentrations are computed from these instead), with the size code and
// the over-range flag, so that a run is read from one cache line a record.
// Nothing displays them.
struct RawCounts {
    std::array<std::uint32_t, 3> counts{};
    std::uint16_t sampleSeconds = 0;  // 60 x minutes + seconds, at most 15555
    std::uint8_t sizeCode = 0;        // byte 19, as m_strSizeCode
    bool overRange = false;           // byte 20 is 1, as m_strStatus "1"
};

// One record slot, decoded from one 128-byte record frame.
struct MeasurementRecord {
    Text m_strModeCode;
    Text m_strLocation;
    Text m_strPoint;
    Text m_strCyclesPerPoint;
    Text m_strCycle;
    Text m_strDateTime;
    Text m_strSampleTime;
    Text m_strHoldTime;
    Text m_strUnit;
    Text m_strSizeCode;
    Text m_strStatus;
    Text m_strRunFlag;
    std::array<Text, 6> m_strCount;
    std::array<Text, 6> m_strValue;
    Text m_strSerialNumber;
    RawCounts m_raw;
};

// One row of the result table. The fields of the record it shows (its own
// record for plain and member rows, the point's first cycle for a group row,
// the run's last record for a summary row) stay in that record's slot,
// m_nSlot; the statistics of a group or summary row are its RunFigures,
// m_nFigures (-1 for rows without).
struct ResultRow {
    Text m_strSeqNo;
    Text m_strKind;
    Text m_strMemberCount;
    Text m_strRecordNo;
    int m_nSlot = -1;
    int m_nFigures = -1;
};

// The statistics of a group row (the point's averages) or of a summary row
// (the run's averages, standard errors, maxima, minima and 95 % upper
// confidence limits), channels 1 to 3.
struct RunFigures {
    std::array<Text, 3> m_strAvg;
    std::array<Text, 3> m_strStdErr;
    std::array<Text, 3> m_strMax;
    std::array<Text, 3> m_strMin;
    std::array<Text, 3> m_strUcl;
};

// Row kinds (m_strKind).
namespace kind {
inline constexpr const char* kAuto = "0";
inline constexpr const char* kManual = "1";
inline constexpr const char* kMember = "2";
inline constexpr const char* kSummary = "3";
inline constexpr const char* kGroupExpanded = "4";
inline constexpr const char* kGroupCollapsed = "5";
inline constexpr const char* kIsoPlain = "6";
// A row's kind as one character, to be compared with the first character of
// a kind above ('\0' for a text that is none of them: they are all one
// character long).
inline char Code(const Text& kind) {
    return kind.size() == 1 ? *kind.c_str() : '\0';
}
}  // namespace kind

// The columns of a report line, in the order of the CSV header.
enum class ReportColumn : int {
    Record,
    Mode,
    Location,
    Points,
    Cycles,
    DateTime,
    SampleTime,
    HoldTime,
    Ch1Size,
    Ch1Data,
    Ch2Size,
    Ch2Data,
    Ch3Size,
    Ch3Data,
    Unit,
    Status,
};
inline constexpr int kReportColumnCount = 16;

// One line of the report table.
struct ReportLine {
    std::array<Text, kReportColumnCount> cell;
    Text& operator[](ReportColumn c) { return cell[static_cast<std::size_t>(c)]; }
    const Text& operator[](ReportColumn c) const { return cell[static_cast<std::size_t>(c)]; }
};

// What the printed report reads: its lines and the serial number of its
// header. The record store is one; tests print tables of their own.
class ReportSource {
public:
    virtual ~ReportSource() = default;
    [[nodiscard]] virtual int ReportLineCount() const = 0;
    // Line i (0-based); empty for a line that does not exist.
    [[nodiscard]] virtual ReportLine ReportLineAt(int i) const = 0;
    [[nodiscard]] virtual std::int32_t ReportSerialNumber() const = 0;
};

// The store is owned for the whole run and overwritten by each download.
// Its tables grow to what a download needs (never beyond kMaxRecords slots);
// rows past the counters are never read.
struct RecordStore : ReportSource {
    std::vector<MeasurementRecord> m_records;  // slots, oldest first after a download
    std::vector<ResultRow> m_rows;             // result table, m_nLastRow + 1 rows in use
    std::vector<RunFigures> m_figures;         // of the group and summary rows
    // The report table: for each line, its result row times 4 plus the line
    // within the row (0..3 for the four lines of a summary row).
    std::vector<std::int32_t> m_reportLines;

    int m_nRecordCount = 0;
    int m_nWrapPosition = 0;
    int m_nLastRow = 0;
    int m_nReportLineCount = 0;
    std::int32_t m_nSerialNumber = 0;
    // The record-number counter after the last table build (1..8000); the
    // range dialog starts from it.
    int m_nLastRecordNumber = 0;

    // Read access that treats rows and slots that were never written as empty.
    // (Inline: they are read for every row of a file.)
    [[nodiscard]] const ResultRow& Row(int i) const {
        return (i >= 0 && static_cast<std::size_t>(i) < m_rows.size()) ? m_rows[static_cast<std::size_t>(i)]
                                                                       : EmptyRow();
    }
    [[nodiscard]] const MeasurementRecord& Slot(int i) const {
        return (i >= 0 && static_cast<std::size_t>(i) < m_records.size()) ? m_records[static_cast<std::size_t>(i)]
                                                                          : EmptySlot();
    }
    // The record whose fields a row shows.
    [[nodiscard]] const MeasurementRecord& RecordOf(const ResultRow& row) const { return Slot(row.m_nSlot); }
    [[nodiscard]] const MeasurementRecord& RecordOf(int row) const { return RecordOf(Row(row)); }
    // The statistics of a row; empty for a row without.
    [[nodiscard]] const RunFigures& FiguresOf(const ResultRow& row) const;
    [[nodiscard]] const RunFigures& FiguresOf(int row) const { return FiguresOf(Row(row)); }

    // ReportSource: the lines derived from the result rows.
    [[nodiscard]] int ReportLineCount() const override { return m_nReportLineCount; }
    [[nodiscard]] ReportLine ReportLineAt(int i) const override;
    [[nodiscard]] std::int32_t ReportSerialNumber() const override { return m_nSerialNumber; }

private:
    static const ResultRow& EmptyRow();
    static const MeasurementRecord& EmptySlot();
};

}  // namespace oront
