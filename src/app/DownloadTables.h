// The tables of "Read Records": what the window, the command-line tool and
// the report program build from the slots after a complete download.
#pragma once

#include <functional>

#include "records/RecordStore.h"
#include "records/TableBuild.h"

namespace oront {

// Builds the result table, lets the table view fill itself from it
// (fillRecordTable, when given), then builds the report table.
void BuildDownloadTables(RecordStore& store, const TFactorTable& tFactor,
                         const std::function<void()>& fillRecordTable = {});

}  // namespace oront
