// The adapter board emulated in software for the libusb adapter's tests: a
// umockdev testbed with one USB device whose usbfs ioctls are answered here.
// Blank, it shows the loader identity and takes 0xA0 writes into its RAM;
// when the CPU leaves reset it renumerates to the running identity and
// answers 0xDA requests from a simulated SST bus, so the same chips answer
// as in the simulated adapter. Needs libumockdev-preload.so.0 preloaded.
#pragma once

#include "sst/AdapterOption.h"
#include "sst/SimulatedAdapter.h"
#include "sst/usb/LibusbAdapter.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;

namespace qzt::test {

class EmulatedBoard {
public:
    // `firmwarePath` is what the simulated bus is given when the CPU runs.
    EmulatedBoard(UsbId loader, UsbId running, std::string firmwarePath);
    ~EmulatedBoard();
    EmulatedBoard(const EmulatedBoard &) = delete;
    EmulatedBoard &operator=(const EmulatedBoard &) = delete;

    // Whether umockdev's preload is active; asked only once a testbed
    // exists, since umockdev keeps its first answer.
    static bool inMockEnvironment();

    // Plugs the board in, blank or already running our firmware. A board
    // that may not be opened has a device node without permissions.
    void plug(bool running, bool openable = true);
    void unplug();
    // IN transfers stay unanswered until the host gives up on them.
    void setStallIn(bool stall)
    {
        std::lock_guard lock(mutex_);
        stallIn_ = stall;
    }

    struct Record {
        std::vector<LoaderWrite> ramWrites; // the 0xA0 RAM writes since the last plug
        std::vector<uint8_t> cpuWrites;     // the CPU control values since then
        int downloads = 0;                  // times the CPU left reset with an image
        int sstTransfers = 0;               // 0xDA transfers answered
    };
    Record record() const
    {
        std::lock_guard lock(mutex_);
        return record_;
    }

    // Runs `f` on the simulated bus under the board's lock.
    template <typename F> void withBus(F &&f)
    {
        std::lock_guard lock(mutex_);
        f(*bus_);
    }

private:
    struct Urb;
    void handle(UMockdevIoctlClient *client);
    void addDevice(UsbId id, bool openable);
    void removeDevice();

    UMockdevTestbed *testbed_ = nullptr;
    UMockdevIoctlBase *handler_ = nullptr;
    UsbId loader_, running_;
    std::string firmwarePath_;

    mutable std::mutex mutex_;
    std::unique_ptr<SimulatedAdapter> bus_;
    bool present_ = false;
    bool runningFirmware_ = false;
    bool cpuHeld_ = false;
    int devnum_ = 1; // the current device's number; a plug takes the next
    std::vector<std::unique_ptr<Urb>> urbs_;
    bool stallIn_ = false;
    Record record_;
};

} // namespace qzt::test
