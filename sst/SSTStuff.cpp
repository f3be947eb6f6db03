#include "sst/SSTStuff.h"

#include "sst/USBStuff.h"

#include <algorithm>
#include <cassert>

namespace qzt {
namespace {

uint16_t word(const DeviceState &state, std::size_t at)
{
    const auto &a = state.USBStuff.SSTBuffer;
    return uint16_t(a[at] | (a[at + 1] << 8));
}

void frame(DeviceState &state, uint8_t writeLength, uint8_t readLength, uint8_t command)
{
    auto &b = state.USBStuff.SSTBuffer;
    b[0] = state.SSTStuff.SSTAddress;
    b[1] = writeLength;
    b[2] = readLength;
    b[3] = command;
}

// Sends the framed request. An answer keeps its status byte and gives what
// decode takes from it; a failed call leaves both alone.
template <typename Decode> int16_t transact(DeviceState &state, USBFunctions &usb, Decode decode)
{
    const int16_t result = SSTTransaction(state, usb);
    if (result >= 0) {
        state.SSTStuff.SSTStatus = state.USBStuff.SSTBuffer[0];
        decode(state.SSTStuff);
    }
    return result;
}

// Rounds numerator / denominator (both non-negative, denominator a power of
// two) to the nearest integer, an exact half going to the even one. Working
// on the integers keeps a tie a tie.
int64_t divRoundHalfEven(int64_t numerator, int64_t denominator)
{
    int64_t q = numerator / denominator;
    const int64_t r = numerator % denominator;
    if (2 * r > denominator || (2 * r == denominator && (q & 1)))
        ++q;
    return q;
}

} // namespace

float decodeTemperature(uint16_t raw)
{
    // raw / 64 to hundredths: raw * 100 / 64, ties to even.
    int64_t hundredths = divRoundHalfEven(int64_t(raw) * 100, 64);
    // Readings above 511 are negative. The wrap is done on the hundredths
    // so that the stored float is the one nearest to the two-decimal value:
    // subtracting 1024 from the float would expose its representation error
    // (-0.02 would become -0.02001953 in the console and the log file).
    if (hundredths > 51100)
        hundredths -= 102400;
    return float(double(hundredths) / 100.0);
}

float decodeVoltage(uint16_t raw)
{
    const int64_t thousandths = divRoundHalfEven(int64_t(raw) * 1000, 1024);
    return float(double(thousandths) / 1000.0);
}

int32_t decodeExtOffset(uint16_t raw)
{
    int32_t o = int32_t(divRoundHalfEven(raw, 64));
    if (o > 511)
        o -= 1024;
    return o;
}

std::pair<uint8_t, uint8_t> encodeExtOffset(int32_t offset)
{
    assert(offset >= kMinExtOffset && offset <= kMaxExtOffset);
    // Negative offsets go out as their 10-bit two's complement (+1024), the
    // inverse of the read, which subtracts 1024 above 511: a value written
    // reads back as written. (+256 would turn -3 into 253.)
    if (offset < 0)
        offset += 1024;
    const int32_t v = offset * 64;
    return {uint8_t(v % 256), uint8_t(v / 256)};
}

int16_t SSTGetDIB(DeviceState &state, USBFunctions &usb)
{
    frame(state, 1, 16, kCmdGetDib);
    return transact(state, usb, [&](SSTStuffModule &s) {
        const auto &a = state.USBStuff.SSTBuffer;
        s.DibCapability = a[1];
        s.DibVersion = a[2];
        s.DibVendorId = word(state, 3);
        s.DibDeviceId = word(state, 5);
        s.DibDeviceInterface = a[7];
        s.DibFunctionInterface = a[8];
        s.DibSiliconRevision = a[15];
        s.DibClientAddress = a[16];
    });
}

int16_t SSTPing(DeviceState &state, USBFunctions &usb)
{
    frame(state, 0, 0, 0x00);
    return transact(state, usb, [](SSTStuffModule &) {});
}

int16_t SSTGetTemps(DeviceState &state, USBFunctions &usb)
{
    frame(state, 1, 4, kCmdGetTemps);
    return transact(state, usb, [&](SSTStuffModule &s) {
        s.IntTemp = decodeTemperature(word(state, 1));
        s.ExtTemp = decodeTemperature(word(state, 3));
    });
}

int16_t SSTGetVolts(DeviceState &state, USBFunctions &usb)
{
    frame(state, 1, 16, kCmdGetVolts);
    return transact(state, usb, [&](SSTStuffModule &s) {
        for (std::size_t k = 0; k < 5; ++k)
            s.Volts[k] = decodeVoltage(word(state, 2 * k + 1));
    });
}

int16_t SSTGetExtOffset(DeviceState &state, USBFunctions &usb)
{
    frame(state, 1, 2, kCmdExtOffset);
    return transact(state, usb,
                    [&](SSTStuffModule &s) { s.ExtOffset = decodeExtOffset(word(state, 1)); });
}

int16_t SSTSetExtOffset(DeviceState &state, USBFunctions &usb, int32_t offset)
{
    if (offset < kMinExtOffset || offset > kMaxExtOffset)
        return -1;
    const auto [low, high] = encodeExtOffset(offset);
    frame(state, 3, 0, kCmdExtOffset);
    state.USBStuff.SSTBuffer[4] = low;
    state.USBStuff.SSTBuffer[5] = high;
    return transact(state, usb, [](SSTStuffModule &) {});
}

int16_t SSTRequest(DeviceState &state, USBFunctions &usb, uint8_t writeLength, uint8_t readLength,
                   std::span<const uint8_t> data)
{
    if (data.size() > kMaxRequestData)
        return -1;
    auto &b = state.USBStuff.SSTBuffer;
    b[0] = state.SSTStuff.SSTAddress;
    b[1] = writeLength;
    b[2] = readLength;
    std::copy(data.begin(), data.end(), b.begin() + 3); // the bytes after them stay
    return SSTTransaction(state, usb);
}

} // namespace qzt
