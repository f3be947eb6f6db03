// The program-wide device state: window flags, chip addresses, decoded SST
// answers and the adapter buffers. Depends on QtCore only.
#pragma once

#include <QString>

#include <array>
#include <cstdint>

namespace qzt {

// Flags are 16-bit values: true is -1, false is 0.
using Flag16 = int16_t;
inline constexpr Flag16 kTrue = -1;
inline constexpr Flag16 kFalse = 0;

// Window flags and the addresses that start-up discovered.
struct DeclarationsModule {
    Flag16 TempGraph04Open = kFalse;
    Flag16 TempGraph05Open = kFalse;
    Flag16 VoltGraph05Open = kFalse;
    Flag16 Logging04 = kFalse;
    Flag16 Logging05 = kFalse;
    int16_t Address04 = 0;
    int16_t Address05 = 0;
};

// The target of the next SST command and every decoded answer. Both chips
// share these readings; a value belongs to whichever chip SSTAddress named
// when the command ran.
struct SSTStuffModule {
    uint8_t SSTAddress = 0;
    uint8_t SSTStatus = 0;
    float IntTemp = 0.0f;
    float ExtTemp = 0.0f;
    std::array<float, 5> Volts{}; // 12V, 5V, Vcc, 2.5V, Vccp
    int32_t ExtOffset = 0;
    uint8_t DibCapability = 0;
    uint8_t DibVersion = 0;
    int32_t DibVendorId = 0;
    int32_t DibDeviceId = 0;
    uint8_t DibDeviceInterface = 0;
    uint8_t DibFunctionInterface = 0;
    uint8_t DibSiliconRevision = 0;
    uint8_t DibClientAddress = 0;
    friend bool operator==(const SSTStuffModule &, const SSTStuffModule &) = default;
};

inline constexpr std::size_t kSstBufferSize = 64;
inline constexpr std::size_t kPathBytesSize = 512;

// Firmware path and the two byte buffers of the adapter link.
struct USBStuffModule {
    QString FirmwarePath;
    std::array<uint8_t, kSstBufferSize> SSTBuffer{};
    std::array<uint8_t, kPathBytesSize> PathBytes{};
};

// How the SST transactions have fared. SSTTransaction keeps it so that the
// main window can report failing adapter calls in its status line, where a
// message box at every poll tick would bury the user. Nothing is decoded
// from it and no command looks at it.
struct LinkHealth {
    uint64_t transactions = 0; // run so far
    uint64_t failed = 0;       // of those, failed
    uint64_t failingRun = 0;   // failures since the last success; 0 after a success
    int16_t lastFailure = 0;   // the negative result of the latest failure

    void record(int16_t result)
    {
        ++transactions;
        if (result < 0) {
            ++failed;
            ++failingRun;
            lastFailure = result;
        } else {
            failingRun = 0;
        }
    }
};

// One instance exists for the whole run, owned by the application and handed
// to every window by reference; it is never copied.
class DeviceState {
public:
    DeviceState() = default;
    DeviceState(const DeviceState &) = delete;
    DeviceState &operator=(const DeviceState &) = delete;

    DeclarationsModule Declarations;
    SSTStuffModule SSTStuff;
    USBStuffModule USBStuff;
    LinkHealth link;
};

} // namespace qzt
