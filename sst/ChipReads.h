// The reads a window asks for at a poll tick, as values that can leave the
// I/O thread: what was read, and what was not. Each is one small function
// of the device state and the adapter. Depends on the rest of sst/ only.
#pragma once

#include "sst/DeviceState.h"
#include "sst/USBFunctions.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <utility>

namespace qzt {

// One window's readings of one tick; a read that failed, or was not made,
// is empty.
struct ChipReadings {
    std::optional<std::pair<float, float>> temperatures; // internal, external in °C
    std::optional<int32_t> offset;                       // the external offset
    std::optional<std::array<float, 5>> voltages;        // in the order of Volts
    friend bool operator==(const ChipReadings &, const ChipReadings &) = default;
};

// A read that would start at or after `deadline` is not made, and one that
// ends after it counts as failed: its value belongs to a later tick.
using ReadDeadline = std::chrono::steady_clock::time_point;
inline constexpr ReadDeadline kNoDeadline = ReadDeadline::max();

// SSTGetTemps at `address` (a temperature graph).
ChipReadings readTemperatures(DeviceState &state, USBFunctions &usb, uint8_t address,
                              ReadDeadline deadline = kNoDeadline);
// SSTGetVolts at `address` (the voltage graph).
ChipReadings readVoltages(DeviceState &state, USBFunctions &usb, uint8_t address,
                          ReadDeadline deadline = kNoDeadline);
// A logging tick: SSTGetTemps, SSTGetExtOffset and, with `voltages`,
// SSTGetVolts, in that order.
ChipReadings readLogTick(DeviceState &state, USBFunctions &usb, uint8_t address, bool voltages,
                         ReadDeadline deadline = kNoDeadline);

} // namespace qzt
