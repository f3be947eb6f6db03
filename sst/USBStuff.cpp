#include "sst/USBStuff.h"

#include <QDir>
#include <QStringEncoder>

namespace qzt {

bool StringToBytes(DeviceState &state, const QString &path)
{
    auto &bytes = state.USBStuff.PathBytes;
    bytes[0] = 0;
    if (path.size() > qsizetype(kPathBytesSize - 1))
        return false;
    // Every character must map to exactly one byte of the local 8-bit code.
    QStringEncoder encoder(QStringConverter::System, QStringConverter::Flag::Stateless);
    const QByteArray encoded = encoder.encode(path);
    if (encoder.hasError() || encoded.size() != path.size() || encoded.contains('\0'))
        return false;
    for (qsizetype i = 0; i < encoded.size(); ++i)
        bytes[std::size_t(i)] = uint8_t(encoded[i]);
    bytes[std::size_t(encoded.size())] = 0;
    return true;
}

int16_t DownloadFirmware(DeviceState &state, USBFunctions &usb, const QString &appFolder)
{
    // Joined as plain text: a folder that already ends in a separator gives
    // two in a row, which every file system accepts.
    state.USBStuff.FirmwarePath = appFolder + QDir::separator() + QLatin1String(kFirmwareFileName);
    if (!StringToBytes(state, state.USBStuff.FirmwarePath))
        return -1;
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
