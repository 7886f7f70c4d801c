// The skip summary: after the run, the test program lists every test that
// skipped, each with the reason it gave, as the last lines of its output.
#pragma once

namespace oront::test {

// Adds the summary to GoogleTest's listeners (after InitGoogleTest).
void InstallSkipSummary();

}  // namespace oront::test
