// The Send path of the general request panel: the three typed fields (data,
// write length, read length, separated by NUL bytes in the input) are read,
// sent through the simulated adapter and the answer bytes shown. Any input
// must either be refused or stay inside the 64-byte buffer.
#include "common/TextFormat.h"
#include "console/GeneralRequest.h"
#include "sst/SSTStuff.h"
#include "sst/SimulatedAdapter.h"
#include "sst/USBStuff.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const QList<QByteArray> fields =
        QByteArray(reinterpret_cast<const char *>(data), qsizetype(size)).split('\0');
    const QString text = QString::fromUtf8(fields.value(0));
    const QString writeLength = QString::fromUtf8(fields.value(1));
    const QString readLength = QString::fromUtf8(fields.value(2));

    const auto read = qzt::readGeneralRequest(text, writeLength, readLength);
    const auto *request = std::get_if<qzt::GeneralRequest>(&read);
    if (!request) {
        if (std::get<qzt::Refusal>(read).message.isEmpty())
            std::abort(); // a refusal always tells the user why
        return 0;
    }
    if (text.isEmpty() || request->data.size() > qzt::kMaxRequestData ||
        request->readLength > qzt::kMaxReadLength)
        std::abort();

    // One board for the whole run, as in the program; its firmware is
    // loaded once.
    struct Bus {
        qzt::DeviceState state;
        qzt::SimulatedAdapter usb{[] { return int64_t(0); }};
        Bus()
        {
            usb.addChip(0x48, qzt::kDeviceIdQzt6604);
            if (qzt::DownloadFirmware(state, usb, QStringLiteral(QZT_SOURCE_DIR "/sst")) < 0)
                std::abort();
        }
    };
    static Bus bus;
    auto &state = bus.state;
    auto &usb = bus.usb;
    state.SSTStuff.SSTAddress = 0x48;
    qzt::SSTRequest(state, usb, request->writeLength, request->readLength, request->data);
    QString shown;
    for (int i = 0; i <= request->readLength + 1; ++i)
        shown += qzt::hexText(state.USBStuff.SSTBuffer.at(std::size_t(i))) + QLatin1Char(' ');
    return shown.isEmpty() ? 1 : 0;
}
