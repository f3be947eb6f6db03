// Adapter library interface: the only way the program reaches the USB adapter
// board. Depends on nothing outside the standard library.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace qzt {

// Request code of every SST transaction (USB vendor request).
inline constexpr int16_t kSstVendorRequest = 0xDA;
inline constexpr int16_t kDirectionOut = 0;
inline constexpr int16_t kDirectionIn = 1;
inline constexpr int16_t kRequestLength = 7; // bytes 0..6 of SSTBuffer go out
inline constexpr int16_t kAnswerLength = 64; // the whole SSTBuffer comes back

// The two operations of the adapter library. Both block until done; they are
// called from one thread at a time, the I/O thread (sst/AdapterIo.h) in the
// windowed program.
class USBFunctions {
public:
    virtual ~USBFunctions() = default;

    // Downloads the adapter firmware from the zero-terminated 8-bit path.
    // Negative: the download failed; zero or positive: success.
    virtual int16_t LoadFirmWare(const char *path) = 0;

    // direction 0 sends `length` bytes of `buffer` to the adapter, direction 1
    // fills up to `length` bytes of `buffer` from it. `buffer` must hold at
    // least `length` bytes.
    virtual int16_t VendorIORequest(int16_t request, int32_t value, int32_t index,
                                    int16_t direction, int16_t length, uint8_t *buffer) = 0;

    // One line that names the adapter for the user (status line, companion
    // output); empty when there is nothing to say.
    virtual std::string describe() const { return {}; }

    // Why the last failed call failed, in words for the user; empty when the
    // adapter cannot say.
    virtual std::string failureReason() const { return {}; }

    // Where the adapter says what it is doing when that takes longer than a
    // transfer (a firmware download, waiting for the board to come back), and
    // an empty text when it is done. Called on the thread that made the call.
    void setActivityHandler(std::function<void(const std::string &)> handler)
    {
        activityHandler_ = std::move(handler);
    }

protected:
    void activity(const std::string &text) const
    {
        if (activityHandler_)
            activityHandler_(text);
    }

private:
    std::function<void(const std::string &)> activityHandler_;
};

} // namespace qzt
