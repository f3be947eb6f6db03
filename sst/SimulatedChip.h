// The signal model of a simulated chip: slowly drifting, believable
// readings (internal near 30 °C, remote near 45 °C, supplies near 12, 5, 3.3,
// 2.5 and 1.2 V), fixed by a seed and the chip's address and computed exactly
// from integer milliseconds, or the values a test pins. The simulated board
// (SimulatedAdapter) holds one per chip and encodes what it returns.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>

namespace qzt {

// A well-mixed 64-bit hash of a few values; the seeds of every repeatable
// stream the simulation draws (signals and injected faults).
uint64_t simulationHash(std::initializer_list<uint64_t> values);
// A hash as a number uniform in [0, 1).
double unitOf(uint64_t h);

class ChipSignals {
public:
    ChipSignals(uint32_t seed, uint8_t address) : seed_(seed), address_(address) {}

    // Internal and remote temperature in °C at `nowMs`, before the chip's
    // offset register is applied.
    std::array<double, 2> temperatures(int64_t nowMs) const;
    // The five supplies in V at `nowMs`.
    std::array<double, 5> volts(int64_t nowMs) const;

    // Pinned values instead of the drifting model.
    void pinTemperatures(double internal, double remote)
    {
        pinnedTemperatures_ = {internal, remote};
    }
    void pinVolts(const std::array<double, 5> &volts) { pinnedVolts_ = volts; }

private:
    uint32_t seed_;
    uint8_t address_;
    std::optional<std::array<double, 2>> pinnedTemperatures_;
    std::optional<std::array<double, 5>> pinnedVolts_;
};

} // namespace qzt
