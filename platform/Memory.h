// Process-wide memory settings.
#pragma once

// Keeps memory freed by one valuation for the next one instead of handing it
// back to the system: a rebuild of the largest grid (some 70 MB) then costs no
// fresh page faults. Call once at start-up.
void KeepFreedMemoryForReuse();
