#pragma once

#include "kernels/FinalProcessingLaunch.h"
#include "kernels/KernelRecords.h"

// Final processing on the host backend, in place over the destination rows, with the
// framework kernel's arithmetic: premultiply, then the blend with the source. The audio monitor
// and its banner are drawn by the kernel only, so a record that asks for them is declined
// (false, nothing written).
namespace cpu_fast {

bool finalProcessingRows(const SystemParameters& system, const void* source, int sourceRowBytes,
                         void* destination, int destinationRowBytes, const AudioMonitorRecord& monitor);

// Whether final processing leaves every pixel as it is: no premultiply, no blend, no monitor.
bool finalProcessingIsIdentity(const SystemParameters& system, bool haveSource,
                               const AudioMonitorRecord& monitor);

}  // namespace cpu_fast
