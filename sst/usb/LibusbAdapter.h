// The adapter library on the real board: the two operations over libusb-1.0,
// and the firmware download through the RAM loader that 8051-based USB
// microcontrollers answer before they run any firmware. Depends on sst/
// (Intel HEX reader, adapter interface, --adapter identities) and libusb;
// nothing else links libusb.
#pragma once

#include "sst/AdapterOption.h"
#include "sst/IntelHex.h"
#include "sst/USBFunctions.h"

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;

namespace qzt {

// The RAM loader of the blank board: vendor OUT request 0xA0 with the RAM
// address as wValue writes the data there; the CPU control register at
// 0xE600 holds the CPU in reset while it is 0x01 and lets it run at 0x00.
inline constexpr uint8_t kLoaderRequest = 0xA0;
inline constexpr uint16_t kLoaderCpuControl = 0xE600;
inline constexpr std::size_t kLoaderChunkBytes = 4096; // most data per 0xA0 transfer

// One 0xA0 write.
struct LoaderWrite {
    uint16_t address = 0;
    std::vector<uint8_t> bytes;
    friend bool operator==(const LoaderWrite &, const LoaderWrite &) = default;
};

// The 0xA0 writes that put `image` into the loader's RAM, in file order, each
// at most kLoaderChunkBytes long. Nothing when a byte lies beyond the 16-bit
// address space; `error` then says which.
std::optional<std::vector<LoaderWrite>> loaderWrites(const IntelHexImage &image,
                                                     std::string *error = nullptr);

// Time-outs and pacing of the USB adapter, in milliseconds.
struct LibusbTiming {
    int transferMs = 1000; // each control transfer
    int comeBackMs = 5000; // from the CPU's release to the running identity
    int rescanMs = 1000;   // least time between two searches for an unplugged board, and
                           // between two tries of a board that stopped answering
    int pollMs = 10;       // pause between two looks while waiting for it to come back
    int retryMs = 100;     // each transfer of a try at a board that stopped answering
};

class LibusbAdapter : public USBFunctions {
public:
    // Results. Every failure is negative, as the interface demands; a
    // successful VendorIORequest returns the byte count.
    static constexpr int16_t kBadArguments =
        -1;                                    // a control transfer cannot carry them; nothing sent
    static constexpr int16_t kNoBoard = -2;    // no board with either identity on the USB
    static constexpr int16_t kCannotOpen = -3; // a board is there but cannot be opened
    static constexpr int16_t kBadFile =
        -4; // firmware file unreadable, not Intel HEX, or beyond 64 KiB
    static constexpr int16_t kTransferFailed =
        -5; // a control transfer failed (time-out, stall, I/O)
    static constexpr int16_t kDidNotComeBack =
        -6; // after the download no board showed the running identity
    static constexpr int16_t kUnplugged = -7; // the board went away; looking for it again
    static constexpr int16_t kStandInImage =
        -8; // the simulated adapter's stand-in image, refused for a real board
    static constexpr int16_t kNotAnswering =
        -9; // a transfer timed out lately: failed at once, without a transfer

    using Timing = LibusbTiming;

    // Messages (one line each) go to `messages`, stderr when null.
    LibusbAdapter(UsbId running, std::optional<UsbId> loader, Timing timing = Timing{},
                  std::ostream *messages = nullptr);
    ~LibusbAdapter() override;
    LibusbAdapter(const LibusbAdapter &) = delete;
    LibusbAdapter &operator=(const LibusbAdapter &) = delete;

    // Keeps a board that already shows the running identity; otherwise
    // downloads the image into the loader board and waits for it to come
    // back running. 0 on success, or one of the failures above.
    int16_t LoadFirmWare(const char *path) override;

    // One vendor control transfer to the device: IN when direction is 1,
    // OUT otherwise. Returns the byte count or a failure. While the board is
    // unplugged, calls fail at once with kUnplugged; at most once per rescanMs
    // one of them looks for the board again and, when it came back blank,
    // downloads the same image again before it goes on. Once a transfer has
    // timed out, calls fail at once with kNotAnswering; at most once per
    // rescanMs one transaction (OUT, then its IN) tries the board again,
    // with retryMs per transfer, and an answer ends that.
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t *buffer) override;

    // "USB adapter vvvv:pppp on bus B, device D", or why there is none.
    std::string describe() const override;
    // The last message, which names the failure.
    std::string failureReason() const override { return lastMessage_; }

private:
    using Clock = std::chrono::steady_clock;

    // The one transfer helper: a vendor control transfer to the device with
    // the given time-out (0: the transfer time-out). Returns libusb's result;
    // a failure is reported with libusb's error name and `what`, the same
    // message only once in a row.
    int control(libusb_device_handle *handle, bool in, uint8_t request, uint16_t value,
                uint16_t index, uint8_t *data, uint16_t length, const char *what,
                int timeoutMs = 0);
    libusb_device *find(UsbId id) const;           // referenced; null when absent
    int16_t open(libusb_device *device, UsbId id); // 0 or kCannotOpen; unrefs device
    int16_t download(libusb_device *loader);       // unrefs loader
    int16_t waitForRunning();
    // Looks for the board: keeps a running one, downloads into a blank one.
    int16_t attach();
    void close();
    void say(const std::string &line);

    UsbId running_;
    std::optional<UsbId> loader_;
    Timing timing_;
    std::ostream *messages_;
    libusb_context *ctx_ = nullptr;
    libusb_device_handle *handle_ = nullptr;
    std::vector<LoaderWrite> image_; // kept for a board that comes back blank
    std::string imagePath_;
    bool standIn_ = false; // image_ is the simulated adapter's stand-in
    bool imageLoaded_ = false;
    bool unplugged_ = false;
    Clock::time_point lastSearch_{};
    bool silent_ = false;   // a transfer timed out and no answer came since
    bool tryingIn_ = false; // the OUT of a try went through: its IN may follow
    Clock::time_point lastTry_{};
    int bus_ = 0;
    int device_ = 0;
    std::string lastMessage_;
};

} // namespace qzt
