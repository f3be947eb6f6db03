#include "sst/SimulatedChip.h"

#include <cmath>
#include <numbers>

namespace qzt {

namespace {

// Salts that keep the signals' hash streams apart.
enum Salt : uint64_t {
    kSaltPhase = 0x7068617365,
    kSaltLevel = 0x6c6576656c,
    kSaltNoise = 0x6e6f697365,
};

// splitmix64 finaliser: a well-mixed 64-bit hash of a 64-bit value.
constexpr uint64_t mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

uint64_t simulationHash(std::initializer_list<uint64_t> values)
{
    uint64_t h = 0;
    for (uint64_t value : values)
        h = mix(h ^ value);
    return h;
}

// Uniform in [0, 1).
double unitOf(uint64_t h)
{
    return static_cast<double>(h >> 11) * 0x1.0p-53;
}

namespace {

// Reading channels of a chip: internal, remote, then the five supplies.
constexpr uint64_t kChannelInternal = 0;
constexpr uint64_t kChannelRemote = 1;
constexpr uint64_t kChannelFirstSupply = 2;

constexpr std::array<double, 5> kNominalVolts{12.0, 5.0, 3.3, 2.5, 1.2};
constexpr int64_t kNoiseTickMs = 50;

// Uniform in [-1, 1).
double symmetricOf(uint64_t h)
{
    return 2.0 * unitOf(h) - 1.0;
}

int64_t floorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

int64_t floorMod(int64_t a, int64_t b)
{
    const int64_t r = a % b;
    return r < 0 ? r + b : r;
}

// One slow sine of the given period with a phase fixed per seed, address and
// channel, evaluated exactly from integer milliseconds.
double slowWave(uint32_t seed, uint8_t address, uint64_t channel, int64_t nowMs, int64_t periodMs)
{
    const auto shift = static_cast<int64_t>(
        simulationHash({seed, address, channel, static_cast<uint64_t>(periodMs), kSaltPhase}) %
        static_cast<uint64_t>(periodMs));
    const int64_t position = floorMod(floorMod(nowMs, periodMs) + shift, periodMs);
    return std::sin(2.0 * std::numbers::pi * static_cast<double>(position) /
                    static_cast<double>(periodMs));
}

// A fixed per-chip deviation in [-1, 1) so two chips never read the same.
double level(uint32_t seed, uint8_t address, uint64_t channel)
{
    return symmetricOf(simulationHash({seed, address, channel, kSaltLevel}));
}

// Noise in [-1, 1) that changes every 50 ms and depends on nothing else.
double noise(uint32_t seed, uint8_t address, uint64_t channel, int64_t nowMs)
{
    const auto tick = static_cast<uint64_t>(floorDiv(nowMs, kNoiseTickMs));
    return symmetricOf(simulationHash({seed, address, tick, channel, kSaltNoise}));
}
} // namespace

std::array<double, 2> ChipSignals::temperatures(int64_t nowMs) const
{
    if (pinnedTemperatures_)
        return *pinnedTemperatures_;

    // Internal: die temperature near 30 °C, a few degrees of drift over
    // minutes. Remote: a warmer diode near 45 °C that swings a little more.
    const double internal = 30.0 + level(seed_, address_, kChannelInternal) +
                            1.5 * slowWave(seed_, address_, kChannelInternal, nowMs, 300'000) +
                            0.6 * slowWave(seed_, address_, kChannelInternal, nowMs, 67'000) +
                            0.03 * noise(seed_, address_, kChannelInternal, nowMs);
    const double remote = 45.0 + 1.5 * level(seed_, address_, kChannelRemote) +
                          2.5 * slowWave(seed_, address_, kChannelRemote, nowMs, 420'000) +
                          1.0 * slowWave(seed_, address_, kChannelRemote, nowMs, 97'000) +
                          0.04 * noise(seed_, address_, kChannelRemote, nowMs);
    return {internal, remote};
}

std::array<double, 5> ChipSignals::volts(int64_t nowMs) const
{
    if (pinnedVolts_)
        return *pinnedVolts_;

    // About 0.5 % ripple around nominal plus a little noise.
    std::array<double, 5> supply{};
    for (std::size_t i = 0; i < supply.size(); ++i) {
        const uint64_t channel = kChannelFirstSupply + i;
        const double relative = 0.002 * level(seed_, address_, channel) +
                                0.004 * slowWave(seed_, address_, channel, nowMs, 53'000) +
                                0.001 * slowWave(seed_, address_, channel, nowMs, 7'000) +
                                0.001 * noise(seed_, address_, channel, nowMs);
        supply[i] = kNominalVolts[i] * (1.0 + relative);
    }
    return supply;
}

} // namespace qzt
