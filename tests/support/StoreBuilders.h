// Record stores for the tests, the benchmarks and the fuzz targets: downloads
// played from raw records (decoded and built as "Read Records" leaves them),
// result tables built row by row without decoding anything, reports of
// chosen lines, and the texts of a store for comparisons.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "print/LineReport.h"
#include "records/RecordFrame.h"
#include "records/RecordStore.h"
#include "records/TableBuild.h"

namespace oront::test {

// The store as the device link leaves it before the first packet of a
// download of `count` records from a memory that wrapped at `wrap`: the
// report table emptied and the slots grown (never shrunk) to `count`.
void PrepareDownload(RecordStore& store, int count, int wrap = 0);

// Decodes the frames into slots 0, 1, ... as one download does, keeping the
// serial number of the last record.
void DecodeFrames(RecordStore& store, const std::vector<Frame>& frames);

// Plays the records (in the instrument's slot order) through a download of a
// memory that wrapped at `wrap` and builds the result and report tables.
void Download(RecordStore& store, const std::vector<RawRecord>& records, int wrap = 0,
              const TFactorTable& tFactor = {});
RecordStore DownloadedStore(const std::vector<RawRecord>& records, int wrap = 0);
// The downloads of the two full memories, built once: the realistic mix
// (MixedMemory) and 8000 one-point runs, the largest tables and report.
const RecordStore& MixedMemoryStore();
const RecordStore& OnePointRunStore();

// The slots one download decodes from the records; `lastSerial`, when given,
// receives the serial number of the last record.
std::vector<MeasurementRecord> DecodeRecords(const std::vector<RawRecord>& records, std::int32_t* lastSerial = nullptr);

// Result tables built by hand: exactly the rows a download produces, without
// decoding any frames.
class StoreBuilder {
public:
    // A plain record row (kind "0", "1" or "6").
    int AddPlain(const char* kind, const std::string& c1 = "10", const std::string& c2 = "5",
                 const std::string& c3 = "1", const char* status = "0", const char* sizeCode = "0",
                 const char* unit = "CNT");
    // A complete ISO run: per point a group row (kind "5", channel c of point
    // p averaging 100 * p + c) and its member rows (kind "2", channel 1 of
    // cycle k counting 100 * p + k), then the summary row (kind "3"; AVG,
    // MAX, MIN and 95%UCL of channel c read "A<c>", "X<c>", "N<c>", "U<c>").
    int AddRun(int points, int cycles, const char* sizeCode = "0", const char* unit = "CNT");
    // Any row, showing `record` and carrying `figures`, as it stands.
    int AddRow(ResultRow row, MeasurementRecord record, RunFigures figures);

    // The statistics of row `row`, to change them.
    RunFigures& Figures(int row);
    // Continues numbering after `record` (a wrapped memory).
    void SetRecordCounter(int record) { m_record = record; }

    RecordStore store;

private:
    int AddRecord(const std::string& c1, const std::string& c2, const std::string& c3, const char* status,
                  const char* sizeCode, const char* unit);
    RunFigures& AddFigures(ResultRow& row);
    std::string NextRecordNo();
    int Push(const ResultRow& row);

    int m_seq = 0;
    int m_record = 0;
};

// A report of `lines` lines whose line r (1-based) reads "R<r>C<k>" in
// column k: each cell's text is found in a page or a PDF's text alone.
LineReport NumberedReport(int lines, std::int32_t serial = 42);

// Every field of a record, in the order of the record frame.
std::vector<std::string> Fields(const MeasurementRecord& record);
// Every text a result row shows: its own fields, its statistics and the
// fields of the record it shows.
std::vector<std::string> Fields(const RecordStore& store, int row);
// The kinds of the result rows, in order.
std::vector<std::string> Kinds(const RecordStore& store);
// Report line `line` as its cells joined with commas.
std::string LineText(const RecordStore& store, int line);
// Empty when the result table, the report table and their counters agree
// (one line per row, four per summary row); otherwise what disagrees.
std::string TableDisagreement(const RecordStore& store);

}  // namespace oront::test
