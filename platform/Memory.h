// Handing memory the process no longer uses back to the system. The C runtime keeps freed
// blocks for reuse; after a large short-lived structure (the parse tree of a library file of
// 100,000 tracks is several hundred megabytes) that would stay resident for the process's life.
#pragma once

#include <cstddef>

namespace platform {

// Best effort: returns what the runtime's heap can give back, and does nothing where the
// runtime offers no such call.
void returnFreedMemory();

// Bytes of the C runtime's heap in use right now (glibc's count, mapped blocks included), for
// benchmarks that weigh what a structure keeps; 0 where the runtime does not say.
size_t heapInUse();

} // namespace platform
