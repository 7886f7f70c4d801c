// The record range of save-range: two texts as typed on the command line,
// resolved on a download made from the input's bytes. A resolved range lies
// inside the rows, runs forwards, starts on the first row that shows FIRST
// and ends on the last row that shows LAST (or on the summary row that
// follows it), and its CSV is written; a refused one has a reason, and is
// refused exactly when a number is malformed or no row shows it, or FIRST
// comes after LAST.
//
// Input: byte 0 is the record count (0..63), bit 6 set: the texts are the
// numbers of the next two bytes each; then six compact bytes per record,
// then the two texts separated by the first newline.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "Check.h"
#include "RecordsInput.h"
#include "records/CommFunction.h"

namespace {

using namespace oront;

// The number a row shows; none for a summary row or an empty Record cell,
// which match no typed number (-1 included).
std::optional<int> Shown(const ResultRow& row) {
    if (row.m_strKind == kind::kSummary) return std::nullopt;
    if (row.m_strKind == kind::kGroupCollapsed || row.m_strKind == kind::kGroupExpanded)
        return CAtoi(GroupRecordNumberText(row.m_strRecordNo));
    if (row.m_strRecordNo.empty()) return std::nullopt;
    return CAtoi(row.m_strRecordNo);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const int count = data[0] & 0x3F;
    const bool numbers = data[0] & 0x40;
    if (size < 1 + 6 * static_cast<std::size_t>(count)) return 0;
    const std::string texts(reinterpret_cast<const char*>(data) + 1 + 6 * count, size - 1 - 6 * count);
    std::string first;
    std::string last;
    if (numbers) {
        if (texts.size() < 4) return 0;
        const auto number = [&](std::size_t at) {
            return std::to_string(
                (static_cast<std::uint8_t>(texts[at]) << 8 | static_cast<std::uint8_t>(texts[at + 1])) % (count + 3));
        };
        first = number(0);
        last = number(2);
    } else {
        const std::size_t newline = texts.find('\n');
        first = texts.substr(0, newline);
        last = newline == std::string::npos ? std::string() : texts.substr(newline + 1);
    }

    RecordStore store;
    fuzz::BuildCompactStore(store, data + 1, count);
    const RecordRangeResult range = ResolveRecordNumbers(store, first, last);

    // Where the numbers show, found row by row.
    const bool valid = CCommFuntion::CheckNumberText(first) == CCommFuntion::kTextValid &&
                       CCommFuntion::CheckNumberText(last) == CCommFuntion::kTextValid;
    int firstRow = -1;
    int lastRow = -1;
    for (int r = 0; valid && r <= store.m_nLastRow && r < static_cast<int>(store.m_rows.size()); ++r) {
        const std::optional<int> shown = Shown(store.Row(r));
        if (firstRow < 0 && shown == CAtoi(first)) firstRow = r;
        if (shown == CAtoi(last)) lastRow = r;
    }
    const bool resolvable = valid && firstRow >= 0 && lastRow >= firstRow;
    if (!range.error.empty()) {
        FUZZ_CHECK(!resolvable);
        return 0;
    }
    FUZZ_CHECK(resolvable);
    const RowRange rows = range.rows;
    FUZZ_CHECK(rows.first == firstRow && rows.first <= rows.last && rows.last <= store.m_nLastRow);
    FUZZ_CHECK(rows.last == lastRow || (rows.last == lastRow + 1 && store.Row(rows.last).m_strKind == kind::kSummary));
    const std::string csv = CsvText(store, rows.first, rows.last);
    FUZZ_CHECK(!csv.empty());
    return 0;
}
