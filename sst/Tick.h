// One logging tick's reads of a chip, as the logging window and the
// command-line companion run them: the model's reads in catalogue order,
// each decoding into the device state. A plain function of the state and
// the adapter, so whichever thread runs the adapter can call it.
#pragma once

#include "sst/DeviceState.h"
#include "sst/Models.h"
#include "sst/USBFunctions.h"

#include <array>
#include <cstdint>

namespace qzt {

// Which reads of a tick failed. A failed read decoded nothing: the fields it
// fills keep what they held (possibly another chip's) and are not values.
struct FailedReads {
    std::array<bool, kReadCount> failed{};

    bool operator[](Read r) const { return failed[std::size_t(r)]; }
    bool &operator[](Read r) { return failed[std::size_t(r)]; }
    bool any() const;
    int count() const;
};

// Runs the SST command of one read on the chip SSTAddress names.
int16_t runRead(Read read, DeviceState &state, USBFunctions &usb);

// Addresses the model's chip and runs the reads of its logging tick.
FailedReads readTick(DeviceState &state, USBFunctions &usb, Model model);

} // namespace qzt
