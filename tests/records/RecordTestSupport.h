// Builders for record frames and downloaded stores, shared by the record and
// export tests.
#pragma once

#include <clocale>
#include <cstdint>
#include <locale>
#include <string>
#include <vector>

#include "records/RecordFrame.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"

namespace oront::test {

inline RawRecord Plain(std::uint8_t mode, std::uint32_t ch1 = 10, std::uint32_t ch2 = 5, std::uint32_t ch3 = 1) {
    RawRecord r;
    r.mode = mode;
    r.location = 1;
    r.point = 1;
    r.cyclesPerPoint = 1;
    r.cycle = 1;
    r.year = 15;
    r.month = 3;
    r.day = 7;
    r.hour = 8;
    r.minute = 30;
    r.second = 15;
    r.sampleMinutes = 1;
    r.counts = {ch1, ch2, ch3, 0, 0, 0};
    return r;
}

// One ISO record: point p of a run with c cycles per point, cycle k.
inline RawRecord Iso(std::uint8_t p, std::uint16_t c, std::uint16_t k, std::uint32_t ch1 = 10, std::uint32_t ch2 = 5,
                     std::uint32_t ch3 = 1, bool runEnd = false) {
    RawRecord r = Plain(2, ch1, ch2, ch3);
    r.point = p;
    r.cyclesPerPoint = c;
    r.cycle = k;
    r.runEnd = runEnd ? 1 : 0;
    return r;
}

// A complete run of points x cycles; channel 1 of point p, cycle k is
// base + 10 * p + k.
inline void AppendRun(std::vector<RawRecord>& out, int points, int cycles, std::uint32_t base = 100) {
    for (int p = 1; p <= points; ++p)
        for (int k = 1; k <= cycles; ++k)
            out.push_back(Iso(static_cast<std::uint8_t>(p), static_cast<std::uint16_t>(cycles),
                              static_cast<std::uint16_t>(k),
                              base + 10u * static_cast<std::uint32_t>(p) + static_cast<std::uint32_t>(k), 5, 1,
                              p == points && k == cycles));
}

// Plays the frames through a download the way the device link does: records
// are given in the instrument's slot order.
inline void Download(RecordStore& store, const std::vector<RawRecord>& records, int wrap = 0,
                     const TFactorTable& tFactor = {}) {
    ResetForDownload(store);
    store.m_nRecordCount = static_cast<int>(records.size());
    store.m_nWrapPosition = wrap;
    store.m_nReportLineCount = 0;
    if (store.m_records.size() < records.size()) store.m_records.resize(records.size());
    FrameDecoder decoder;
    decoder.Reset();
    for (std::size_t i = 0; i < records.size(); ++i) {
        const Frame f = EncodeRecordFrame(records[i]);
        decoder.DecodePacketA(f.data(), store.m_records[i]);
        store.m_nSerialNumber = decoder.DecodePacketB(f.data() + 64, store.m_records[i]);
    }
    BuildResultTable(store, tFactor);
    BuildReportTable(store);
}

// Chronological records placed into instrument slots of a memory that wrapped
// at position w: the oldest record lies in slot w.
inline std::vector<RawRecord> WrapInto(const std::vector<RawRecord>& chronological, int w) {
    std::vector<RawRecord> slots(chronological.size());
    for (std::size_t i = 0; i < chronological.size(); ++i)
        slots[(i + static_cast<std::size_t>(w)) % chronological.size()] = chronological[i];
    return slots;
}

// Switches the C and C++ locales of the process to one with a decimal comma
// for its lifetime; active() is false when the system has none.
class DecimalCommaLocale {
public:
    DecimalCommaLocale() {
        const char* old = std::setlocale(LC_ALL, nullptr);
        saved_ = old ? old : "C";
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "de_DE", "German_Germany.1252"}) {
            if (!std::setlocale(LC_ALL, name)) continue;
            if (std::localeconv()->decimal_point[0] != ',') continue;
            active_ = true;
            try {
                previous_ = std::locale::global(std::locale(name));
            } catch (const std::exception&) {
                // The C++ library may know only the "C" locale; the C one is set.
            }
            break;
        }
    }
    ~DecimalCommaLocale() {
        std::locale::global(previous_);
        std::setlocale(LC_ALL, saved_.c_str());
    }
    DecimalCommaLocale(const DecimalCommaLocale&) = delete;
    DecimalCommaLocale& operator=(const DecimalCommaLocale&) = delete;
    [[nodiscard]] bool active() const { return active_; }

private:
    std::string saved_;
    std::locale previous_;
    bool active_ = false;
};

// Every field of a record, in the order of the record frame.
inline std::vector<std::string> Fields(const MeasurementRecord& r) {
    std::vector<std::string> f{r.m_strModeCode.str(),       r.m_strLocation.str(), r.m_strPoint.str(),
                               r.m_strCyclesPerPoint.str(), r.m_strCycle.str(),    r.m_strDateTime.str(),
                               r.m_strSampleTime.str(),     r.m_strHoldTime.str(), r.m_strUnit.str(),
                               r.m_strSizeCode.str(),       r.m_strStatus.str(),   r.m_strRunFlag.str()};
    for (const Text& t : r.m_strCount) f.push_back(t.str());
    for (const Text& t : r.m_strValue) f.push_back(t.str());
    f.push_back(r.m_strSerialNumber.str());
    return f;
}

// Every text a result row shows: its own fields, its statistics and the
// fields of the record it shows.
inline std::vector<std::string> Fields(const RecordStore& store, int row) {
    const ResultRow& r = store.Row(row);
    std::vector<std::string> f{r.m_strSeqNo.str(), r.m_strKind.str(), r.m_strMemberCount.str(), r.m_strRecordNo.str()};
    const RunFigures& figures = store.FiguresOf(r);
    for (const auto* stats :
         {&figures.m_strAvg, &figures.m_strStdErr, &figures.m_strMax, &figures.m_strMin, &figures.m_strUcl})
        for (const Text& t : *stats) f.push_back(t.str());
    for (std::string& field : Fields(store.RecordOf(r))) f.push_back(std::move(field));
    return f;
}

inline std::vector<std::string> Kinds(const RecordStore& store) {
    std::vector<std::string> kinds;
    for (int i = 0; i <= store.m_nLastRow; ++i) kinds.push_back(store.Row(i).m_strKind.str());
    return kinds;
}

}  // namespace oront::test
