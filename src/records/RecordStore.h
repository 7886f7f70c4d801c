// The record store: record slots, the result table and the report table.
//
// Every value is text from the moment it is decoded. Field indices carry the
// names of the fields, so code reads `row[ResultRow::m_strKind]` and copies
// whole ranges of fields by index where the table build needs it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "records/Text.h"

namespace oront {

constexpr int kMaxRecords = 8000;  // the instrument's ring of records

// One record slot, decoded from one 128-byte record frame.
struct MeasurementRecord {
    static constexpr int m_strModeCode = 0;
    static constexpr int m_strLocation = 1;
    static constexpr int m_strPoint = 2;
    static constexpr int m_strCyclesPerPoint = 3;
    static constexpr int m_strCycle = 4;
    static constexpr int m_strDateTime = 5;
    static constexpr int m_strSampleTime = 6;
    static constexpr int m_strHoldTime = 7;
    static constexpr int m_strUnit = 8;
    static constexpr int m_strSizeCode = 9;
    static constexpr int m_strStatus = 10;
    static constexpr int m_strRunFlag = 11;
    static constexpr int m_strCount = 12;  // [0..5] at 12..17
    static constexpr int m_strValue = 18;  // [0..5] at 18..23
    static constexpr int m_strSerialNumber = 24;
    static constexpr int kFieldCount = 25;

    std::array<Text, kFieldCount> f;
    Text& operator[](int i) { return f[static_cast<std::size_t>(i)]; }
    const Text& operator[](int i) const { return f[static_cast<std::size_t>(i)]; }
};

// One row of the result table. Fields 3..26 are copies of record fields
// 0..23 (plain and member rows); group and summary rows reuse 21..35 for
// their statistics.
struct ResultRow {
    static constexpr int m_strSeqNo = 0;
    static constexpr int m_strKind = 1;
    static constexpr int m_strMemberCount = 2;
    static constexpr int kCopyBase = 3;  // field 3 + k holds record field k
    static constexpr int Copy(int recordField) { return kCopyBase + recordField; }
    static constexpr int m_strAvg = 21;     // [0..2]
    static constexpr int m_strStdErr = 24;  // [0..2]
    static constexpr int m_strMax = 27;     // [0..2]
    static constexpr int m_strMin = 30;     // [0..2]
    static constexpr int m_strUcl = 33;     // [0..2]
    static constexpr int m_strRecordNo = 36;
    static constexpr int kFieldCount = 38;

    std::array<Text, kFieldCount> f;
    Text& operator[](int i) { return f[static_cast<std::size_t>(i)]; }
    const Text& operator[](int i) const { return f[static_cast<std::size_t>(i)]; }
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
}  // namespace kind

// One line of the report table, 16 columns in the order of the CSV header.
struct ReportLine {
    enum Column {
        Record, Mode, Location, Points, Cycles, DateTime, SampleTime, HoldTime,
        Ch1Size, Ch1Data, Ch2Size, Ch2Data, Ch3Size, Ch3Data, Unit, Status,
        kColumnCount
    };
    std::array<Text, kColumnCount> cell;
    Text& operator[](int i) { return cell[static_cast<std::size_t>(i)]; }
    const Text& operator[](int i) const { return cell[static_cast<std::size_t>(i)]; }
};

// The store is owned for the whole run and overwritten by each download.
// Its tables grow to what a download needs (never beyond kMaxRecords slots);
// rows and lines past the counters are never read.
struct RecordStore {
    std::vector<MeasurementRecord> m_records;  // slots, oldest first after a download
    std::vector<ResultRow> m_rows;             // result table, m_nLastRow + 1 rows in use
    std::vector<ReportLine> m_reportLines;     // report table, m_nReportLineCount lines in use

    int m_nRecordCount = 0;
    int m_nWrapPosition = 0;
    int m_nLastRow = 0;
    int m_nReportLineCount = 0;
    std::int32_t m_nSerialNumber = 0;
    // The record-number counter after the last table build (1..8000); the
    // range dialog starts from it.
    int m_nLastRecordNumber = 0;

    // Read access that treats rows and lines that were never written as empty.
    const ResultRow& Row(int i) const;
    const ReportLine& Line(int i) const;
    const MeasurementRecord& Slot(int i) const;
};

}  // namespace oront
