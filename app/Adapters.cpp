#include "app/Adapters.h"

#include "sst/SimulatedAdapter.h"
#ifdef QZT_HAVE_USB
#include "sst/usb/LibusbAdapter.h"
#endif

#include <QCommandLineParser>

namespace qzt {

namespace {
const QString kAdapterOption = QStringLiteral("adapter");
}

void addAdapterOption(QCommandLineParser &parser)
{
    parser.addOption(QCommandLineOption(
        kAdapterOption,
        QStringLiteral("The adapter to use: 'simulated' (the default), or the board on the USB as "
                       "usb:VVVV:PPPP with its identity in hex once it runs its SST firmware, and "
                       "',loader=VVVV:PPPP' for the blank board before the download."),
        QStringLiteral("adapter"), QStringLiteral("simulated")));
}

std::optional<AdapterChoice> adapterChoice(const QCommandLineParser &parser, QString *error)
{
    const QStringList values = parser.values(kAdapterOption);
    if (values.size() > 1) {
        if (error)
            *error = QStringLiteral("--adapter is given more than once");
        return std::nullopt;
    }
    return parseAdapterOption(values.isEmpty() ? QStringLiteral("simulated") : values.first(),
                              error);
}

std::unique_ptr<USBFunctions> makeAdapter(const AdapterChoice &choice, QString *error)
{
    if (choice.kind == AdapterChoice::Kind::Simulated) {
        // QZT_SIMULATED_CLOCK_MS stops the simulated bus's clock at that many
        // milliseconds since the epoch: its chips then give the same readings
        // to every program and every read, so one run can be checked
        // against another.
        bool fixed = false;
        const qint64 at = qEnvironmentVariable("QZT_SIMULATED_CLOCK_MS").toLongLong(&fixed);
        if (fixed)
            return SimulatedAdapter::shippedBus([at] { return int64_t(at); });
        return SimulatedAdapter::shippedBus();
    }
#ifdef QZT_HAVE_USB
    Q_UNUSED(error);
    // The board is looked for when the firmware is loaded, so a missing
    // board gets the program's own firmware message.
    return std::make_unique<LibusbAdapter>(choice.running, choice.loader);
#else
    if (error)
        *error = QStringLiteral("this build has no USB adapter (libusb-1.0 was missing)");
    return nullptr;
#endif
}

} // namespace qzt
