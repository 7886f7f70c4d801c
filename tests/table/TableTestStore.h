// Result tables built by hand for the table and save-range tests: exactly
// the rows a download produces, without decoding any frames.
#pragma once

#include <string>

#include "records/CFormat.h"
#include "records/RecordStore.h"

namespace oront::test {

class StoreBuilder {
public:
    // A plain record row (kind "0", "1" or "6").
    int AddPlain(const char* kind, const std::string& c1 = "10", const std::string& c2 = "5",
                 const std::string& c3 = "1", const char* status = "0", const char* sizeCode = "0",
                 const char* unit = "CNT") {
        ResultRow r;
        r.m_nSlot = AddRecord(c1, c2, c3, status, sizeCode, unit);
        r.m_strKind = kind;
        r.m_strSeqNo = FormatZeroPad(++m_seq, 4);
        r.m_strMemberCount = "1";
        r.m_strRecordNo = NextRecordNo();
        ++store.m_nRecordCount;
        return Push(r);
    }

    // A complete ISO run: per point a group row (kind "5") and its member
    // rows (kind "2"), then the summary row (kind "3").
    int AddRun(int points, int cycles, const char* sizeCode = "0", const char* unit = "CNT") {
        for (int p = 1; p <= points; ++p) {
            ResultRow g;
            g.m_strKind = "5";
            g.m_strSeqNo = FormatZeroPad(++m_seq, 4);
            g.m_strMemberCount = FormatInt(cycles);
            g.m_strRecordNo = FormatZeroPad(m_record, 4);  // the number before the first cycle
            RunFigures& figures = AddFigures(g);
            for (std::size_t ch = 0; ch < 3; ++ch) figures.m_strAvg[ch] = FormatInt(100 * p + static_cast<int>(ch));
            const int group = Push(g);
            for (int k = 1; k <= cycles; ++k) {
                ResultRow m;
                m.m_nSlot = AddRecord(FormatInt(100 * p + k).str(), "5", "1", "0", sizeCode, unit);
                MeasurementRecord& rec = store.m_records.back();
                rec.m_strPoint = FormatInt(p);
                rec.m_strCycle = FormatInt(k);
                m.m_strKind = "2";
                m.m_strMemberCount = "1";
                m.m_strRecordNo = NextRecordNo();
                ++store.m_nRecordCount;
                if (k == 1) store.m_rows[static_cast<std::size_t>(group)].m_nSlot = m.m_nSlot;
                Push(m);
            }
        }
        ResultRow s;
        s.m_nSlot = static_cast<int>(store.m_records.size()) - 1;  // the run's last record
        s.m_strKind = "3";
        s.m_strMemberCount = "1";
        RunFigures& figures = AddFigures(s);
        for (std::size_t ch = 0; ch < 3; ++ch) {
            const std::string c = std::to_string(ch);
            figures.m_strAvg[ch] = "A" + c;
            figures.m_strMax[ch] = "X" + c;
            figures.m_strMin[ch] = "N" + c;
            figures.m_strUcl[ch] = "U" + c;
        }
        return Push(s);
    }

    // The statistics of row `row`, to change them.
    RunFigures& Figures(int row) {
        return store.m_figures[static_cast<std::size_t>(store.m_rows[static_cast<std::size_t>(row)].m_nFigures)];
    }

    // Continues numbering after `record` (a wrapped memory).
    void SetRecordCounter(int record) { m_record = record; }

    RecordStore store;

private:
    int AddRecord(const std::string& c1, const std::string& c2, const std::string& c3, const char* status,
                  const char* sizeCode, const char* unit) {
        MeasurementRecord rec;
        rec.m_strLocation = "001";
        rec.m_strPoint = "1";
        rec.m_strCycle = "1";
        rec.m_strDateTime = "2015-03-07 08:30:15";
        rec.m_strUnit = unit;
        rec.m_strSizeCode = sizeCode;
        rec.m_strStatus = status;
        rec.m_strCount[0] = c1;
        rec.m_strCount[1] = c2;
        rec.m_strCount[2] = c3;
        store.m_records.push_back(rec);
        return static_cast<int>(store.m_records.size()) - 1;
    }
    RunFigures& AddFigures(ResultRow& row) {
        row.m_nFigures = static_cast<int>(store.m_figures.size());
        return store.m_figures.emplace_back();
    }
    std::string NextRecordNo() {
        m_record = m_record == kMaxRecords ? 1 : m_record + 1;
        store.m_nLastRecordNumber = m_record;
        return FormatZeroPad(m_record, 4).str();
    }
    int Push(const ResultRow& r) {
        store.m_rows.push_back(r);
        store.m_nLastRow = static_cast<int>(store.m_rows.size()) - 1;
        return store.m_nLastRow;
    }

    int m_seq = 0;
    int m_record = 0;
};

}  // namespace oront::test
