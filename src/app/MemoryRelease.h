#pragma once

#include <cstddef>

namespace brinmoor::MemoryRelease {

// Blocks of this size or more are given their own mapping, handed back to the system when freed.
inline constexpr std::size_t mappedBlockBytes = 1 << 20;

// glibc serves large blocks from mappings of their own, but raises that threshold to the size of
// each such block freed (up to 32 MB): once a 19 MB picture was freed, the next ones came from the
// heap, which keeps what is freed amid live blocks. An app that holds images and long pastes only
// until they are sent would never shrink again. Fixing the threshold stops it rising. Called once,
// at start; nothing on other C libraries.
void keepLargeBlocksMapped();

// Hands back to the system what the heaps hold freed (glibc keeps it otherwise).
void giveBackFreed();

} // namespace brinmoor::MemoryRelease
