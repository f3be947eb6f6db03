// The SST commands: each builds its request in SSTBuffer for the client named
// by SSTAddress, runs one transaction and decodes the answer into the device
// state. They know nothing about windows or models.
#pragma once

#include "sst/DeviceState.h"
#include "sst/USBFunctions.h"

#include <cstdint>
#include <span>

namespace qzt {

inline constexpr uint8_t kCmdGetDib = 0xF7;
inline constexpr uint8_t kCmdGetTemps = 0x00;
inline constexpr uint8_t kCmdGetVolts = 0x10;
inline constexpr uint8_t kCmdExtOffset = 0xE0;

// The offset register holds 10 bits read back as two's complement: exactly
// these values survive a write and a read.
inline constexpr int32_t kMinExtOffset = -512;
inline constexpr int32_t kMaxExtOffset = 511;
inline constexpr std::size_t kMaxRequestData = kSstBufferSize - 3; // 61

// Every command returns the result of its transaction (SSTTransaction). A
// negative result means the adapter call failed: the command then decodes
// nothing, and SSTStatus and every decoded variable keep what they held, so
// no caller can mistake the request bytes left in SSTBuffer for an answer.
// An answer that arrives with wrong bytes cannot be told from a right one
// and is decoded as usual.
int16_t SSTGetDIB(DeviceState &state, USBFunctions &usb);
int16_t SSTPing(DeviceState &state, USBFunctions &usb);
int16_t SSTGetTemps(DeviceState &state, USBFunctions &usb);
int16_t SSTGetVolts(DeviceState &state, USBFunctions &usb);
int16_t SSTGetExtOffset(DeviceState &state, USBFunctions &usb);

// `offset` must lie in -512 ... 511, the range the register reads back;
// callers refuse other values first. Outside it nothing is sent and the
// result is -1.
int16_t SSTSetExtOffset(DeviceState &state, USBFunctions &usb, int32_t offset);

// Free request: the lengths go out unchanged and every data byte lands in
// SSTBuffer from byte 3 on. At most 61 data bytes fit; with more nothing is
// sent and the result is -1. SSTStatus is left unchanged.
int16_t SSTRequest(DeviceState &state, USBFunctions &usb, uint8_t writeLength, uint8_t readLength,
                   std::span<const uint8_t> data);

// Decoders of the raw 16-bit words, exposed for tests and benchmarks.
float decodeTemperature(uint16_t raw);
float decodeVoltage(uint16_t raw);
int32_t decodeExtOffset(uint16_t raw);
// Encodes an offset in -512 ... 511 into the two request bytes (low, high).
std::pair<uint8_t, uint8_t> encodeExtOffset(int32_t offset);

} // namespace qzt
