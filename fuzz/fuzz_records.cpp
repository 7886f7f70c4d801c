// Records from the input's own bytes: a short input is a short memory, so
// small inputs run fast. Full memories are fuzz_full_memory's.
#include "RecordsInput.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return oront::fuzz::RunRecordsInput(data, size, false);
}
