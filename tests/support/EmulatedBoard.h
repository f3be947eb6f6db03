// The adapter board emulated in software for the libusb adapter's tests: a
// umockdev testbed with one USB device whose usbfs ioctls are answered here.
// Blank, it shows the loader identity and takes 0xA0 writes into its RAM;
// when the CPU leaves reset it renumerates to the running identity and
// answers 0xDA requests from a simulated SST bus, so the same chips answer
// as in the simulated adapter. The process must run with
// libumockdev-preload.so.0 preloaded.
#pragma once

#include "sst/AdapterOption.h"
#include "sst/SimulatedAdapter.h"
#include "sst/usb/LibusbAdapter.h"

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

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
    void plugBlank(bool openable = true);
    void plugRunning(bool openable = true);
    void unplug();

    // Every later transfer completes this much later.
    void setDelayMs(int ms);
    // IN transfers stay unanswered until the host gives up on them.
    void setStallIn(bool stall);

    // The 0xA0 RAM writes since the last plug, and the CPU control values.
    std::vector<LoaderWrite> ramWrites() const;
    std::vector<uint8_t> cpuControlWrites() const;
    int downloads() const;    // times the CPU left reset with an image
    int sstTransfers() const; // 0xDA transfers answered

    // Runs `f` on the simulated bus under the board's lock.
    template <typename F> void withBus(F &&f)
    {
        std::lock_guard lock(mutex_);
        f(*bus_);
    }

private:
    struct Urb;
    static int onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self);
    bool handle(UMockdevIoctlClient *client);
    void submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    void reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg, bool current);
    void discard(UMockdevIoctlClient *client, UMockdevIoctlData *arg);
    void plug(UsbId id, bool openable);
    void removeDevice();
    std::string devnode(int devnum) const;

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
    int delayMs_ = 0;
    bool stallIn_ = false;
    std::vector<LoaderWrite> ramWrites_;
    std::vector<uint8_t> cpuWrites_;
    int downloads_ = 0;
    int sstTransfers_ = 0;
};

} // namespace qzt::test
