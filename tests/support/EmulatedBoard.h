// The adapter board on a umockdev testbed: blank, it takes 0xA0 writes; when
// its CPU leaves reset it renumerates and answers 0xDA from a simulated bus.
#pragma once

#include "sst/AdapterOption.h"
#include "sst/SimulatedAdapter.h"
#include "sst/usb/LibusbAdapter.h"

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace qzt::test {

// One Intel HEX record with its checksum, and a board's own firmware image
// as far as the loader can tell (the shipped SSTFW.hex is the simulated
// adapter's stand-in, which the USB adapter refuses to download to a board).
std::string hexRecord(uint8_t type, uint16_t address, const std::string &data);
std::string boardImageHex();

class EmulatedBoard {
public:
    EmulatedBoard(UsbId loader, UsbId running, std::string firmwarePath);
    ~EmulatedBoard();

    // Ask only once a testbed exists: umockdev keeps its first answer.
    static bool inMockEnvironment();

    void plug(bool running, bool openable = true);
    void unplug();
    void setStallIn(bool stall) { set(stallIn_, stall); }
    // Every SST transfer takes this long before the board takes it, as a slow
    // board (or a busy USB) would.
    void setTransferDelay(std::chrono::microseconds delay) { set(delay_, delay); }

    // Runs on the board's side before each SST transfer that it answers
    // (OUT: the request's bytes), e.g. to change the chips' readings with
    // the time.
    using Hook = std::function<void(SimulatedAdapter &, bool in, const uint8_t *request)>;
    void setBeforeTransfer(Hook hook) { set(beforeTransfer_, std::move(hook)); }
    // IN answers of the running board carry at most this many bytes (-1: all).
    void setShortIn(int bytes) { set(shortIn_, bytes); }
    // How the OUT write that releases the CPU ends: 0 as it should, a URB
    // status such as -EPIPE or -EPROTO (the board renumerates all the same),
    // or kStallOut: never answered, and the board stays blank.
    static constexpr int kStallOut = 1;
    void setReleaseEnding(int ending) { set(releaseEnding_, ending); }

    struct Record {
        std::vector<LoaderWrite> ramWrites; // since the last plug
        std::vector<uint8_t> cpuWrites;     // since the last plug
        int downloads = 0, sstTransfers = 0;
        std::vector<std::pair<uint8_t, uint8_t>> requests; // address and command of each SST OUT
    };
    Record record()
    {
        Record r;
        withBus([&](auto &) { r = record_; });
        return r;
    }
    template <typename F> void withBus(F &&f)
    {
        std::lock_guard lock(mutex_);
        f(*bus_);
    }

private:
    template <typename T, typename V> void set(T &field, V &&value)
    {
        withBus([&](auto &) { field = std::forward<V>(value); });
    }
    struct Urb;
    void handle(UMockdevIoctlClient *client);
    void addDevice(UsbId id, bool openable);

    UMockdevTestbed *testbed_ = nullptr;
    UMockdevIoctlBase *handler_ = nullptr;
    UsbId loader_, running_;
    std::string firmwarePath_;
    std::recursive_mutex mutex_; // also taken by plugs from within handle()
    std::unique_ptr<SimulatedAdapter> bus_;
    bool present_ = false, runningFirmware_ = false, cpuHeld_ = false, stallIn_ = false;
    std::chrono::microseconds delay_{0};
    Hook beforeTransfer_;
    int shortIn_ = -1, releaseEnding_ = 0;
    int devnum_ = 1; // a plug takes the next
    std::vector<std::unique_ptr<Urb>> urbs_;
    Record record_;
};

} // namespace qzt::test
