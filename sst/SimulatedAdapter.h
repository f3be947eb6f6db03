// The simulated USB adapter: an SST bus with QZT6604/QZT6605 chips behind the
// adapter library interface, so the program runs without the board. Readings
// drift slowly and believably; tests can pin them and inject faults.
#pragma once

#include "sst/Models.h"
#include "sst/SimulatedChip.h"
#include "sst/USBFunctions.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace qzt {

struct IntelHexImage;

// The shipped SSTFW.hex is this adapter's stand-in: valid Intel HEX that a
// real board would run as a loop that answers nothing. It carries this text,
// which tells it from a board's own firmware.
inline constexpr char kStandInFirmwareMark[] = "QZT SST adapter simulated firmware";
bool isStandInFirmware(const IntelHexImage &image);

inline constexpr uint16_t kDeviceIdQzt6604 = kModel04.deviceId;
inline constexpr uint16_t kDeviceIdQzt6605 = kModel05.deviceId;
inline constexpr uint16_t kDeviceIdQzt6606 = 0x6606; // counts as a QZT6605
inline constexpr uint16_t kSimulatedVendorId = 0x0041;

// Command bytes the simulated chips know.
inline constexpr uint8_t kSstGetDib = 0xF7;
inline constexpr uint8_t kSstReadTemperatures = 0x00;
inline constexpr uint8_t kSstReadVoltages = 0x10;
inline constexpr uint8_t kSstExternalOffset = 0xE0;

class SimulatedAdapter : public USBFunctions {
public:
    // Milliseconds; only differences and the value itself matter, any epoch.
    using Clock = std::function<int64_t()>;
    using Request = std::array<uint8_t, kRequestLength>;

    // Results; every failure is negative as the interface demands.
    static constexpr int16_t kBadRequest = -1;     // arguments the board refuses
    static constexpr int16_t kNoFirmware = -2;     // firmware not downloaded yet
    static constexpr int16_t kUnplugged = -3;      // setFailAll(true)
    static constexpr int16_t kTransferFailed = -4; // setFailRate() struck
    static constexpr int16_t kFileUnreadable = -5; // firmware file missing or unreadable
    static constexpr int16_t kBadFirmware = -6;    // firmware file is not valid Intel HEX

    // The transfer log keeps this many of the most recent requests.
    static constexpr std::size_t kRequestLogCapacity = 4096;
    // A firmware file larger than this is refused unread.
    static constexpr int64_t kMaxFirmwareFileBytes = 16 * 1024 * 1024;

    // An empty clock means the wall clock (milliseconds since the epoch).
    // The seed makes noise and injected faults repeatable.
    explicit SimulatedAdapter(Clock clockMs = {}, uint32_t seed = 1);

    // The bus the program uses by default: a QZT6604 at 0x48 and a QZT6605 at
    // 0x4A.
    static std::unique_ptr<SimulatedAdapter> shippedBus(Clock clockMs = {}, uint32_t seed = 1);

    // Reads and checks the Intel HEX file at the 8-bit local path. 0 on
    // success; kFileUnreadable or kBadFirmware otherwise (also for a null
    // path), and then the board has no firmware.
    int16_t LoadFirmWare(const char *path) override;
    std::string failureReason() const override { return failure_; }

    // Only two forms are accepted once the firmware is loaded:
    //   (0xDA, 0, 0, 0, 7, buf): takes the request in buf[0..6], runs the bus
    //                            transfer and keeps its answer; returns 7.
    //   (0xDA, 0, 0, 1, 64, buf): writes the kept answer into buf[0..63] and
    //                             forgets it; returns 64. Without a request
    //                             since the last answer the bus was idle: 0xFF.
    // Every refused or failed call returns a negative value and leaves the
    // buffer untouched.
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t *buffer) override;

    // "simulated bus: QZT6604 at 0x48, QZT6605 at 0x4A", the chips in address
    // order, each named by its device ID.
    std::string describe() const override;

    // Puts a chip at `address` (replacing any chip there, with a cleared
    // offset register and no pinned readings).
    void addChip(uint8_t address, uint16_t deviceId);

    // Pin the true readings of a chip instead of the drifting model; the
    // remote reading still adds the chip's offset register. No effect on an
    // address without a chip.
    void setTemperatures(uint8_t address, double internal, double remote);
    void setVoltages(uint8_t address, const std::array<double, 5> &volts);
    // The chip's offset register word; 0 without a chip.
    uint16_t offsetRegister(uint8_t address) const;

    // Fault injection.
    // Every call fails with kUnplugged, including LoadFirmWare.
    void setFailAll(bool fail) { failAll_ = fail; }
    // Each VendorIORequest fails with kTransferFailed with this probability
    // (clamped to 0..1), repeatable from the seed and the call sequence.
    void setFailRate(double probability);
    // The last kRequestLogCapacity requests taken by OUT calls, oldest first;
    // older ones are dropped so long runs keep a bounded log.
    const std::deque<Request> &sentRequests() const { return sentRequests_; }

    // CRC-8 as the chips compute their frame check sequence: polynomial
    // x^8 + x^2 + x + 1, initial value 0, no reflection, no final xor.
    static uint8_t crc8(const uint8_t *data, std::size_t n);

private:
    using Answer = std::array<uint8_t, kAnswerLength>;

    struct Chip {
        uint16_t deviceId = 0;
        uint16_t offsetWord = 0;
        ChipSignals signalModel;
    };

    Answer transfer(const Request &request, int64_t nowMs);
    // Fills `data` (zeroed by the caller) with what the chip returns.
    void respond(uint8_t address, Chip &chip, const Request &request, std::size_t carried,
                 int64_t nowMs, std::array<uint8_t, 256> &data) const;

    Clock clock_;
    uint32_t seed_;
    std::map<uint8_t, Chip> chips_;
    bool firmwareLoaded_ = false;
    std::string failure_; // why the last firmware download failed
    std::optional<Answer> pending_;

    bool failAll_ = false;
    double failRate_ = 0.0;
    uint64_t callSerial_ = 0; // drives injected failures
    std::deque<Request> sentRequests_;
};

} // namespace qzt
