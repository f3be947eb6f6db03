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

int16_t DownloadFirmware(DeviceState &state, USBFunctions &usb, const QString &appFolder,
                         const QString &file, QString *why)
{
    // Joined as plain text: a folder that already ends in a separator gives
    // two in a row, which every file system accepts.
    state.USBStuff.FirmwarePath =
        file.isEmpty() ? appFolder + QDir::separator() + QLatin1String(kFirmwareFileName) : file;
    QString reason;
    if (!StringToBytes(state, state.USBStuff.FirmwarePath, &reason)) {
        qWarning("Cannot pass the firmware path %s to the adapter library: %s.",
                 qUtf8Printable(state.USBStuff.FirmwarePath), qUtf8Printable(reason));
        if (why)
            *why = QStringLiteral("the firmware path cannot be passed to the adapter library: ") +
                   reason;
        return -1;
    }
    const int16_t result =
        usb.LoadFirmWare(reinterpret_cast<const char *>(state.USBStuff.PathBytes.data()));
    if (result < 0 && why)
        *why = QString::fromStdString(usb.failureReason());
    return result;
}

namespace {

QString reasonText(const QString &why)
{
    return why.isEmpty() ? QStringLiteral("the adapter gave no reason") : why;
}

} // namespace

QString firmwareFailure(const QString &firmwarePath, const QString &why)
{
    return QStringLiteral("Firmware failed to download from %1: %2.")
        .arg(QDir::toNativeSeparators(firmwarePath), reasonText(why));
}

QString firmwareAdvice(const QString &why)
{
    QString reason = reasonText(why);
    reason[0] = reason[0].toUpper();
    return reason +
           QStringLiteral(".\n\nCheck that the board is plugged in and that lsusb lists it, that "
                          "the udev rule lets you open it, and that --firmware names the board's "
                          "own firmware image. man qzt6604-5 tells more.");
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
