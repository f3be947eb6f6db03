#include "sst/USBStuff.h"

#include <QDir>
#include <QFile>

#include <algorithm>

namespace qzt {

bool StringToBytes(DeviceState &state, const QString &path, QString *why)
{
    auto &bytes = state.USBStuff.PathBytes;
    bytes[0] = 0;
    const QByteArray encoded = QFile::encodeName(path);
    QString reason;
    if (encoded.contains('\0'))
        reason = QStringLiteral("it contains a NUL character");
    else if (QFile::decodeName(encoded) != path)
        reason = QStringLiteral("the system's file-name encoding cannot hold all its characters");
    else if (encoded.size() > qsizetype(kPathBytesSize - 1))
        reason = QStringLiteral("it takes %1 bytes, more than %2")
                     .arg(encoded.size())
                     .arg(kPathBytesSize - 1);
    if (!reason.isEmpty()) {
        if (why)
            *why = reason;
        return false;
    }
    std::copy(encoded.begin(), encoded.end(), bytes.begin());
    bytes[std::size_t(encoded.size())] = 0;
    return true;
}

int16_t DownloadFirmware(DeviceState &state, USBFunctions &usb, const QString &appFolder)
{
    // Joined as plain text: a folder that already ends in a separator gives
    // two in a row, which every file system accepts.
    state.USBStuff.FirmwarePath = appFolder + QDir::separator() + QLatin1String(kFirmwareFileName);
    QString why;
    if (!StringToBytes(state, state.USBStuff.FirmwarePath, &why)) {
        qWarning("Cannot pass the firmware path %s to the adapter library: %s.",
                 qUtf8Printable(state.USBStuff.FirmwarePath), qUtf8Printable(why));
        return -1;
    }
    return usb.LoadFirmWare(reinterpret_cast<const char *>(state.USBStuff.PathBytes.data()));
}

int16_t SSTTransaction(DeviceState &state, USBFunctions &usb)
{
    uint8_t *buffer = state.USBStuff.SSTBuffer.data();
    int16_t result =
        usb.VendorIORequest(kSstVendorRequest, 0, 0, kDirectionOut, kRequestLength, buffer);
    // A request that did not reach the adapter has no answer to fetch; asking
    // anyway would hand back whatever the board holds (an idle bus at best) as
    // if it were the answer.
    if (result >= 0)
        result = usb.VendorIORequest(kSstVendorRequest, 0, 0, kDirectionIn, kAnswerLength, buffer);
    state.link.record(result);
    return result;
}

} // namespace qzt
