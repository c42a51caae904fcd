#pragma once

#include <cstddef>

namespace oxel {

// This process's resident memory in bytes, as the system counts it: now, and the peak since the
// process started or since the last `resetResidentPeak`.
size_t residentBytes();
size_t residentPeakBytes();
void resetResidentPeak();

} // namespace oxel
