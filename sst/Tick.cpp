#include "sst/Tick.h"

#include "sst/SSTStuff.h"

#include <algorithm>

namespace qzt {

bool FailedReads::any() const
{
    return std::ranges::any_of(failed, [](bool f) { return f; });
}

int FailedReads::count() const
{
    return int(std::ranges::count(failed, true));
}

int16_t runRead(Read read, DeviceState &state, USBFunctions &usb)
{
    switch (read) {
    case Read::Temperatures:
        return SSTGetTemps(state, usb);
    case Read::Offset:
        return SSTGetExtOffset(state, usb);
    case Read::Voltages:
        return SSTGetVolts(state, usb);
    }
    return -1;
}

FailedReads readTick(DeviceState &state, USBFunctions &usb, Model model)
{
    state.SSTStuff.SSTAddress = modelAddress(state, model);
    FailedReads failed;
    for (const Read read : modelInfo(model).reads)
        failed[read] = runRead(read, state, usb) < 0;
    return failed;
}

} // namespace qzt
