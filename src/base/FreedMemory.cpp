#include "base/FreedMemory.h"

#include <cstdlib>  // defines __GLIBC__ where the C library is glibc

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace oront {

void ReturnFreedMemory() {
#if defined(__GLIBC__)
    // Releases the free space at the top of the heap and the whole free
    // pages inside it.
    ::malloc_trim(0);
#endif
}

}  // namespace oront
