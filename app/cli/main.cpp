// qzt6604-5-cli: the command-line companion of the windowed program, for
// scripted bench and chamber runs. Same core (device state, SST commands,
// adapters, log format), no widgets and no display. Readings go to stdout,
// everything else to stderr; status 0 done, 1 the bus or a file failed, 2 a
// bad argument.
#include "app/Adapters.h"
#include "app/cli/Companion.h"
#include "app/cli/Serve.h"
#include "sst/USBStuff.h"

#include <QCoreApplication>

#include <cstdio>

namespace qzt::cli {
namespace {

int run(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();

    Plan plan;
    try {
        plan = readCommandLine(arguments);
    } catch (const UsageError &e) {
        writeErr(usageText(e));
        return 2;
    }
    if (plan.help) {
        std::fputs(helpText().toUtf8().constData(), stdout);
        return 0;
    }
    if (plan.version) {
        std::printf("%s %s\n", kProgram, QZT_VERSION);
        return 0;
    }

    if (plan.command == QLatin1String("serve"))
        blockStopSignals();
    try {
        QString error;
        const std::unique_ptr<USBFunctions> usb = makeAdapter(plan.adapter, &error);
        if (!usb)
            throw RunError{error};
        DeviceState state;
        QString why;
        if (DownloadFirmware(state, *usb, QCoreApplication::applicationDirPath(), plan.firmware,
                             &why) < 0)
            throw RunError{QStringLiteral("Firmware failed to download from %1. %2")
                               .arg(state.USBStuff.FirmwarePath, firmwareAdvice(why))
                               .replace(QStringLiteral("\n\n"), QStringLiteral(" "))};
        Session session{state, *usb, plan.json};
        plan.action(session);
    } catch (const RunError &e) {
        std::fflush(stdout);
        writeErr(QStringLiteral("%1: %2: %3\n").arg(QLatin1String(kProgram), plan.command, e.what));
        return 1;
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        writeErr(
            QStringLiteral("%1: writing to standard output failed\n").arg(QLatin1String(kProgram)));
        return 1;
    }
    return 0;
}

} // namespace
} // namespace qzt::cli

int main(int argc, char *argv[])
{
    return qzt::cli::run(argc, argv);
}
