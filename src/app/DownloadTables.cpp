#include "app/DownloadTables.h"

namespace oront {

void BuildDownloadTables(RecordStore& store, const TFactorTable& tFactor,
                         const std::function<void()>& fillRecordTable) {
    BuildResultTable(store, tFactor);
    if (fillRecordTable) fillRecordTable();
    BuildReportTable(store);
}

}  // namespace oront
