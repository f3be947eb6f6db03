// Firmware download and the SST transaction on the adapter link.
#pragma once

#include "sst/DeviceState.h"
#include "sst/USBFunctions.h"

#include <QString>

namespace qzt {

inline constexpr char kFirmwareFileName[] = "SSTFW.hex";

// Fills USBStuff.PathBytes with `path` as zero-terminated 8-bit text in the
// system's file-name encoding (QFile::encodeName: UTF-8 on Linux), the bytes
// that open the file. A path of more than 511 bytes, one with a NUL, or one
// the encoding cannot hold is refused: PathBytes then holds an empty string,
// `why` (if given) says which, and the result is false. Nothing past
// PathBytes is ever written.
bool StringToBytes(DeviceState &state, const QString &path, QString *why = nullptr);

// Builds FirmwarePath from the program's folder (or takes `file`, the image
// the user named, when it is not empty), converts it and hands it to the
// adapter library; returns LoadFirmWare's result unchanged. A path that
// StringToBytes refuses counts as a failed download (-1). On a failure `why`
// (if given) says why in words, as far as anyone can tell.
int16_t DownloadFirmware(DeviceState &state, USBFunctions &usb, const QString &appFolder,
                         const QString &file = QString(), QString *why = nullptr);

// The one line that says a download failed, from where and why, in words:
// "Firmware failed to download from PATH: WHY." Both programs print it on
// standard error.
QString firmwareFailure(const QString &firmwarePath, const QString &why);

// What to tell the user after a failed download: `why`, then what to check
// next (the board on the USB, the udev rule, --firmware, the manual).
QString firmwareAdvice(const QString &why);

// Runs one SST transaction on the request already built in SSTBuffer: seven
// bytes out, then the 64-byte answer in, directly one after the other.
// Returns the result of the IN request, or the negative result of the OUT
// request, which then fails the transaction without the IN request being
// made. A failed transaction leaves SSTBuffer as the adapter left it (in
// practice the request) and counts in state.link.
int16_t SSTTransaction(DeviceState &state, USBFunctions &usb);

} // namespace qzt
