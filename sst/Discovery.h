// Bus discovery as start-up does it: a GetDIB probe of every client address
// from 0x40 to 0x5F. Shared by the windowed program and the command-line
// companion; depends on the rest of sst/ only.
#pragma once

#include "sst/DeviceState.h"
#include "sst/Models.h"
#include "sst/USBFunctions.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace qzt {

inline constexpr uint8_t kFirstProbeAddress = 0x40;
inline constexpr uint8_t kLastProbeAddress = 0x5F;

struct FoundChip {
    uint8_t address = 0;
    Model model = Model::QZT6604;
};

// Probes every address once, in ascending order, with a GetDIB request built
// directly in SSTBuffer (not through SSTGetDIB, so SSTStatus and the DIB
// fields stay as they were). A chip counts only when its transaction
// succeeds and it echoes the probed address in answer byte 16; answer byte 5, the low byte of its
// device ID, names the model by the catalogue's identities (0x04 a QZT6604, 0x05 or 0x06 a
// QZT6605); a chip of neither model is ignored.
// Returns the chips in address order; the caller decides what a second chip of the same model
// means.
std::vector<FoundChip> probeBus(DeviceState &state, USBFunctions &usb);

// The same probe of one address: the low byte of the device ID when a chip
// answers there and echoes the address, nothing otherwise. An absent chip
// leaves the bus idle, which no other command can tell from an answer.
std::optional<uint8_t> probeAddress(DeviceState &state, USBFunctions &usb, uint8_t address);

} // namespace qzt
