// The virtual programmer as a D2XX table for the in-process door.

#include "VirtualBackend.h"

#include "D2XXForwarders.h"

namespace velmar {

namespace {
VirtualProgrammer& Programmer() {
    return VirtualProgrammer::Instance();
}

VELMAR_D2XX_FORWARDERS(, Programmer)

const D2XXBackend kVirtualBackend = {
    "virtual",   ListDevices,    OpenEx, Close, ResetDevice,
    SetTimeouts, GetQueueStatus, Write,  Read,  SetLatencyTimer,
};
} // namespace

const D2XXBackend& VirtualBackend() {
    return kVirtualBackend;
}

} // namespace velmar
