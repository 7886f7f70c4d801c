#include "support/StoreBuilders.h"

#include <cstddef>
#include <utility>

#include "records/CFormat.h"
#include "support/RecordBuilders.h"

namespace oront::test {

void PrepareDownload(RecordStore& store, int count, int wrap) {
    ResetForDownload(store);
    store.m_nRecordCount = count;
    store.m_nWrapPosition = wrap;
    store.m_nReportLineCount = 0;
    if (count > 0 && store.m_records.size() < static_cast<std::size_t>(count))
        store.m_records.resize(static_cast<std::size_t>(count));
}

void DecodeFrames(RecordStore& store, const std::vector<Frame>& frames) {
    if (store.m_records.size() < frames.size()) store.m_records.resize(frames.size());
    FrameDecoder decoder;
    decoder.Reset();
    for (std::size_t i = 0; i < frames.size(); ++i) {
        decoder.DecodePacketA(frames[i].data(), store.m_records[i]);
        store.m_nSerialNumber = decoder.DecodePacketB(frames[i].data() + 64, store.m_records[i]);
    }
}

void Download(RecordStore& store, const std::vector<RawRecord>& records, int wrap, const TFactorTable& tFactor) {
    PrepareDownload(store, static_cast<int>(records.size()), wrap);
    DecodeFrames(store, EncodeFrames(records));
    BuildResultTable(store, tFactor);
    BuildReportTable(store);
}

const RecordStore& MixedMemoryStore() {
    static const RecordStore store = DownloadedStore(MixedMemory(), kMixedMemoryWrap);
    return store;
}

const RecordStore& OnePointRunStore() {
    static const RecordStore store = DownloadedStore(OnePointRunMemory());
    return store;
}

RecordStore DownloadedStore(const std::vector<RawRecord>& records, int wrap) {
    RecordStore store;
    Download(store, records, wrap);
    return store;
}

std::vector<MeasurementRecord> DecodeRecords(const std::vector<RawRecord>& records, std::int32_t* lastSerial) {
    RecordStore store;
    DecodeFrames(store, EncodeFrames(records));
    if (lastSerial != nullptr) *lastSerial = store.m_nSerialNumber;
    return std::move(store.m_records);
}

// ---------------------------------------------------------------------------

int StoreBuilder::AddPlain(const char* kind, const std::string& c1, const std::string& c2, const std::string& c3,
                           const char* status, const char* sizeCode, const char* unit) {
    ResultRow r;
    r.m_nSlot = AddRecord(c1, c2, c3, status, sizeCode, unit);
    r.m_strKind = kind;
    r.m_strSeqNo = FormatZeroPad(++m_seq, 4);
    r.m_strMemberCount = "1";
    r.m_strRecordNo = NextRecordNo();
    ++store.m_nRecordCount;
    return Push(r);
}

int StoreBuilder::AddRun(int points, int cycles, const char* sizeCode, const char* unit) {
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

int StoreBuilder::AddRow(ResultRow row, MeasurementRecord record, RunFigures figures) {
    row.m_nSlot = static_cast<int>(store.m_records.size());
    store.m_records.push_back(std::move(record));
    AddFigures(row) = std::move(figures);
    return Push(row);
}

RunFigures& StoreBuilder::Figures(int row) {
    return store.m_figures[static_cast<std::size_t>(store.m_rows[static_cast<std::size_t>(row)].m_nFigures)];
}

int StoreBuilder::AddRecord(const std::string& c1, const std::string& c2, const std::string& c3, const char* status,
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

RunFigures& StoreBuilder::AddFigures(ResultRow& row) {
    row.m_nFigures = static_cast<int>(store.m_figures.size());
    return store.m_figures.emplace_back();
}

std::string StoreBuilder::NextRecordNo() {
    m_record = m_record == kMaxRecords ? 1 : m_record + 1;
    store.m_nLastRecordNumber = m_record;
    return FormatZeroPad(m_record, 4).str();
}

int StoreBuilder::Push(const ResultRow& row) {
    store.m_rows.push_back(row);
    store.m_nLastRow = static_cast<int>(store.m_rows.size()) - 1;
    return store.m_nLastRow;
}

// ---------------------------------------------------------------------------

LineReport NumberedReport(int lines, std::int32_t serial) {
    std::vector<ReportLine> table(static_cast<std::size_t>(lines));
    for (int r = 1; r <= lines; ++r)
        for (std::size_t k = 0; k < kReportColumnCount; ++k)
            table[static_cast<std::size_t>(r - 1)].cell[k] =
                "R" + FormatInt(r) + "C" + FormatInt(static_cast<long long>(k));
    return LineReport(std::move(table), serial);
}

std::vector<std::string> Fields(const MeasurementRecord& r) {
    std::vector<std::string> f{r.m_strModeCode.str(),       r.m_strLocation.str(), r.m_strPoint.str(),
                               r.m_strCyclesPerPoint.str(), r.m_strCycle.str(),    r.m_strDateTime.str(),
                               r.m_strSampleTime.str(),     r.m_strHoldTime.str(), r.m_strUnit.str(),
                               r.m_strSizeCode.str(),       r.m_strStatus.str(),   r.m_strRunFlag.str()};
    for (const Text& t : r.m_strCount) f.push_back(t.str());
    for (const Text& t : r.m_strValue) f.push_back(t.str());
    f.push_back(r.m_strSerialNumber.str());
    return f;
}

std::vector<std::string> Fields(const RecordStore& store, int row) {
    const ResultRow& r = store.Row(row);
    std::vector<std::string> f{r.m_strSeqNo.str(), r.m_strKind.str(), r.m_strMemberCount.str(), r.m_strRecordNo.str()};
    const RunFigures& figures = store.FiguresOf(r);
    for (const auto* stats :
         {&figures.m_strAvg, &figures.m_strStdErr, &figures.m_strMax, &figures.m_strMin, &figures.m_strUcl})
        for (const Text& t : *stats) f.push_back(t.str());
    for (std::string& field : Fields(store.RecordOf(r))) f.push_back(std::move(field));
    return f;
}

std::vector<std::string> Kinds(const RecordStore& store) {
    std::vector<std::string> kinds;
    for (int i = 0; i <= store.m_nLastRow; ++i) kinds.push_back(store.Row(i).m_strKind.str());
    return kinds;
}

std::string LineText(const RecordStore& store, int line) {
    std::string out;
    const ReportLine cells = store.ReportLineAt(line);
    for (const Text& cell : cells.cell) out += cell.str() + ',';
    out.pop_back();
    return out;
}

std::string TableDisagreement(const RecordStore& store) {
    int lines = 0;
    for (int i = 0; i <= store.m_nLastRow; ++i) lines += store.Row(i).m_strKind == kind::kSummary ? 4 : 1;
    const auto says = [](const char* what, long long value, long long expected) {
        return std::string(what) + " is " + std::to_string(value) + ", the rows give " + std::to_string(expected);
    };
    if (store.m_nReportLineCount != lines) return says("the report line count", store.m_nReportLineCount, lines);
    if (static_cast<long long>(store.m_reportLines.size()) != lines)
        return says("the report table's size", static_cast<long long>(store.m_reportLines.size()), lines);
    if (static_cast<long long>(store.m_rows.size()) != store.m_nLastRow + 1)
        return says("the result table's size", static_cast<long long>(store.m_rows.size()), store.m_nLastRow + 1);
    if (store.m_nLastRow >= 3 * kMaxRecords)
        return "the last row is " + std::to_string(store.m_nLastRow) + ", more than a full memory gives";
    return {};
}

}  // namespace oront::test
