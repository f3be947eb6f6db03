#include "sst/Discovery.h"

#include "sst/SSTStuff.h"
#include "sst/USBStuff.h"

namespace qzt {

std::optional<uint8_t> probeAddress(DeviceState &state, USBFunctions &usb, uint8_t address)
{
    auto &buffer = state.USBStuff.SSTBuffer;
    buffer[0] = address;
    buffer[1] = 1;
    buffer[2] = 16;
    buffer[3] = kCmdGetDib;
    // A probe that failed found nothing, whatever the buffer holds; the
    // address echo guards against a garbled answer.
    if (SSTTransaction(state, usb) < 0 || buffer[16] != address)
        return std::nullopt;
    return buffer[5];
}

std::vector<FoundChip> probeBus(DeviceState &state, USBFunctions &usb)
{
    std::vector<FoundChip> found;
    for (int a = kFirstProbeAddress; a <= kLastProbeAddress; ++a) {
        const std::optional<uint8_t> deviceIdLow = probeAddress(state, usb, uint8_t(a));
        if (!deviceIdLow)
            continue;
        if (const ModelInfo *model = modelByIdentity(*deviceIdLow))
            found.push_back({uint8_t(a), model->model});
    }
    return found;
}

} // namespace qzt
