// Full and wrapped memories of 8000 records from a few bytes, reused: each
// input costs a whole table build and CSV, so this target is slow and kept
// apart from fuzz_records.
#include "RecordsInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return oront::fuzz::RunRecordsInput(data, size, true);
}
