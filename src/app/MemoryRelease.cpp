#include "MemoryRelease.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace brinmoor::MemoryRelease {

void keepLargeBlocksMapped()
{
#ifdef __GLIBC__
    // Setting it also stops glibc adjusting its trim threshold to match.
    ::mallopt(M_MMAP_THRESHOLD, int(mappedBlockBytes));
#endif
}

void giveBackFreed()
{
#ifdef __GLIBC__
    ::malloc_trim(0);
#endif
}

} // namespace brinmoor::MemoryRelease
