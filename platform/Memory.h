// Process-wide memory settings.
#pragma once

// Keeps memory freed by one valuation for the next one instead of handing it
// back to the system, and reserves heap room in 2 MB pages: the largest grid
// (some 70 MB of day rows) then costs some hundreds of page faults when first
// built instead of some 18 000, and a rebuild costs none. Call once at
// start-up, before the heap has grown.
void KeepFreedMemoryForReuse();
