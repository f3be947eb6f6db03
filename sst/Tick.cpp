#include "sst/Tick.h"

#include <algorithm>
#include <tuple>

namespace qzt {

bool FailedReads::any() const
{
    return std::ranges::any_of(failed, [](bool f) { return f; });
}

int FailedReads::count() const
{
    return int(std::ranges::count(failed, true));
}

TickReadings tickReadings(const ChipReadings &read, Model model)
{
    TickReadings t;
    for (const Read r : modelInfo(model).reads) {
        switch (r) {
        case Read::Temperatures:
            t.failed[r] = !read.temperatures;
            if (read.temperatures)
                std::tie(t.values.IntTemp, t.values.ExtTemp) = *read.temperatures;
            break;
        case Read::Offset:
            t.failed[r] = !read.offset;
            if (read.offset)
                t.values.ExtOffset = *read.offset;
            break;
        case Read::Voltages:
            t.failed[r] = !read.voltages;
            if (read.voltages)
                t.values.Volts = *read.voltages;
            break;
        }
    }
    return t;
}

ChipReadings readTick(DeviceState &state, USBFunctions &usb, Model model, uint8_t address,
                      ReadDeadline deadline)
{
    const auto &reads = modelInfo(model).reads;
    const bool voltages = std::ranges::find(reads, Read::Voltages) != reads.end();
    return readLogTick(state, usb, address, voltages, deadline);
}

} // namespace qzt
