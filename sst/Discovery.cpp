#include "sst/Discovery.h"

#include "sst/SSTStuff.h"
#include "sst/USBStuff.h"

namespace qzt {

std::vector<FoundChip> probeBus(DeviceState &state, USBFunctions &usb)
{
    std::vector<FoundChip> found;
    auto &buffer = state.USBStuff.SSTBuffer;
    for (int a = kFirstProbeAddress; a <= kLastProbeAddress; ++a) {
        buffer[0] = uint8_t(a);
        buffer[1] = 1;
        buffer[2] = 16;
        buffer[3] = kCmdGetDib;
        // A probe that failed found nothing, whatever the buffer holds; the
        // address echo guards against a garbled answer.
        if (SSTTransaction(state, usb) < 0 || buffer[16] != a)
            continue;
        const uint8_t deviceIdLow = buffer[5];
        if (deviceIdLow == 0x04)
            found.push_back({uint8_t(a), Model::QZT6604});
        else if (deviceIdLow == 0x05 || deviceIdLow == 0x06)
            found.push_back({uint8_t(a), Model::QZT6605});
    }
    return found;
}

} // namespace qzt
