// Cost of SST commands through the simulated adapter, the work a poll tick
// repeats up to eight times.
#include "sst/SSTStuff.h"
#include "sst/SimulatedAdapter.h"
#include "sst/USBStuff.h"

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace qzt;

namespace {

template <typename F> void measure(const char *name, F &&call)
{
    using Clock = std::chrono::steady_clock;
    constexpr int kRounds = 200;
    constexpr int kPerRound = 1000;
    std::vector<double> ns;
    ns.reserve(kRounds);
    for (int r = 0; r < kRounds; ++r) {
        const auto start = Clock::now();
        for (int i = 0; i < kPerRound; ++i)
            call();
        ns.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count() /
                     kPerRound);
    }
    std::sort(ns.begin(), ns.end());
    std::printf("%-28s median %8.0f ns   p99 %8.0f ns\n", name, ns[ns.size() / 2],
                ns[ns.size() * 99 / 100]);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    int64_t now = 1'800'000'000'000;
    auto usb = SimulatedAdapter::shippedBus([&now] { return now; });
    DeviceState state;
    if (DownloadFirmware(state, *usb, QCoreApplication::applicationDirPath()) < 0) {
        std::fprintf(stderr, "firmware image not found beside the benchmark\n");
        return 1;
    }
    state.SSTStuff.SSTAddress = 0x4A;
    std::printf("SST commands through the simulated adapter (QZT6605 at 0x4A)\n");
    measure("SSTGetTemps", [&] {
        now += 50;
        SSTGetTemps(state, *usb);
    });
    measure("SSTGetVolts", [&] {
        now += 50;
        SSTGetVolts(state, *usb);
    });
    measure("SSTGetExtOffset", [&] { SSTGetExtOffset(state, *usb); });
    measure("SSTPing", [&] { SSTPing(state, *usb); });
    measure("decodeTemperature",
            [&] { static_cast<void>(decodeTemperature(uint16_t(now++ & 0xFFFF))); });
    return 0;
}
