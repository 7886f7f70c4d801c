// Result tables built by hand for the table and save-range tests: exactly
// the rows a download produces, without decoding any frames.
#pragma once

#include <string>

#include "records/CFormat.h"
#include "records/RecordStore.h"

namespace oront::test {

class StoreBuilder {
public:
    using Row = ResultRow;
    using Rec = MeasurementRecord;

    // A plain record row (kind "0", "1" or "6").
    int AddPlain(const char* kind, const std::string& c1 = "10", const std::string& c2 = "5",
                 const std::string& c3 = "1", const char* status = "0", const char* sizeCode = "0",
                 const char* unit = "CNT") {
        ResultRow r = Record(c1, c2, c3, status, sizeCode, unit);
        r[Row::m_strKind] = kind;
        r[Row::m_strSeqNo] = FormatZeroPad(++m_seq, 4);
        r[Row::m_strRecordNo] = NextRecordNo();
        ++store.m_nRecordCount;
        return Push(r);
    }

    // A complete ISO run: per point a group row (kind "5") and its member
    // rows (kind "2"), then the summary row (kind "3").
    int AddRun(int points, int cycles, const char* sizeCode = "0", const char* unit = "CNT") {
        for (int p = 1; p <= points; ++p) {
            ResultRow g = Record("0", "0", "0", "0", sizeCode, unit);
            g[Row::m_strKind] = "5";
            g[Row::m_strSeqNo] = FormatZeroPad(++m_seq, 4);
            g[Row::m_strMemberCount] = FormatInt(cycles);
            g[Row::m_strRecordNo] = FormatZeroPad(m_record, 4);  // the number before the first cycle
            g[Row::Copy(Rec::m_strPoint)] = FormatInt(p);
            g[Row::Copy(Rec::m_strCycle)] = "1";
            for (int ch = 0; ch < 3; ++ch) g[Row::m_strAvg + ch] = FormatInt(100 * p + ch);
            Push(g);
            for (int k = 1; k <= cycles; ++k) {
                ResultRow m = Record(FormatInt(100 * p + k), "5", "1", "0", sizeCode, unit);
                m[Row::m_strKind] = "2";
                m[Row::m_strRecordNo] = NextRecordNo();
                m[Row::Copy(Rec::m_strPoint)] = FormatInt(p);
                m[Row::Copy(Rec::m_strCycle)] = FormatInt(k);
                ++store.m_nRecordCount;
                Push(m);
            }
        }
        ResultRow s = Record("0", "0", "0", "0", sizeCode, unit);
        s[Row::m_strKind] = "3";
        for (int ch = 0; ch < 3; ++ch) {
            s[Row::m_strAvg + ch] = "A" + FormatInt(ch);
            s[Row::m_strMax + ch] = "X" + FormatInt(ch);
            s[Row::m_strMin + ch] = "N" + FormatInt(ch);
            s[Row::m_strUcl + ch] = "U" + FormatInt(ch);
        }
        return Push(s);
    }

    // Continues numbering after `record` (a wrapped memory).
    void SetRecordCounter(int record) { m_record = record; }

    RecordStore store;

private:
    ResultRow Record(const std::string& c1, const std::string& c2, const std::string& c3, const char* status,
                     const char* sizeCode, const char* unit) {
        ResultRow r;
        r[Row::m_strMemberCount] = "1";
        r[Row::Copy(Rec::m_strLocation)] = "001";
        r[Row::Copy(Rec::m_strPoint)] = "1";
        r[Row::Copy(Rec::m_strCycle)] = "1";
        r[Row::Copy(Rec::m_strDateTime)] = "2015-03-07 08:30:15";
        r[Row::Copy(Rec::m_strUnit)] = unit;
        r[Row::Copy(Rec::m_strSizeCode)] = sizeCode;
        r[Row::Copy(Rec::m_strStatus)] = status;
        r[Row::Copy(Rec::m_strCount + 0)] = c1;
        r[Row::Copy(Rec::m_strCount + 1)] = c2;
        r[Row::Copy(Rec::m_strCount + 2)] = c3;
        return r;
    }
    std::string NextRecordNo() {
        m_record = m_record == kMaxRecords ? 1 : m_record + 1;
        store.m_nLastRecordNumber = m_record;
        return FormatZeroPad(m_record, 4);
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
