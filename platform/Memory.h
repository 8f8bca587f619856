// Process-wide memory settings.
#pragma once

namespace kelvaro {

// Keeps memory freed by one valuation for the next one instead of handing it
// back to the system, and reserves heap room in 2 MB pages: the largest grid
// (some 70 MB of day rows) then costs some hundreds of page faults when first
// built instead of some 18 000, and a rebuild costs none. Call once at
// start-up, before the heap has grown.
void KeepFreedMemoryForReuse();

// Bytes this process may still allocate: the least of what RLIMIT_AS and
// RLIMIT_DATA leave beside what it already maps, what its memory cgroup (and
// every group above it: cgroup v2 memory.max, v1 memory.limit_in_bytes)
// leaves beside what the group holds less its page cache, and the physical
// memory beside what this process holds. Memory the heap keeps from earlier
// frees counts as free. Infinity where no limit can be read.
double UsableMemoryBytes();

} // namespace kelvaro
