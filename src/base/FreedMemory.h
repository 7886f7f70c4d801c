// Returning freed memory to the system.
#pragma once

namespace oront {

// After a large piece of work whose intermediate memory is gone (reading an
// instrument's memory: decoding, archiving and the table build), gives the
// freed pages of the heap back to the system, so that the window's resident
// size is what it keeps rather than the peak of that work. Does nothing
// where the C library has no way to do it.
void ReturnFreedMemory();

}  // namespace oront
