// Composition root: reads the command line, builds the device state, the
// adapter, the dialogs and the main window, and wires them together.
#include "app/Adapters.h"
#include "app/MainWindow.h"
#include "app/QtDialogs.h"
#include "sst/DeviceState.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

// Exit status when there is no display to open the windows on.
constexpr int kNoDisplay = 3;

bool nonEmpty(const char *variable)
{
    const char *value = std::getenv(variable);
    return value && *value;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("QZT6604/5 Evaluation Software"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QZT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Evaluation software for the QZT6604 and QZT6605 sensor chips."));
    // Only -h and --help: Qt's own options are not listed, so there is no
    // --help-all to list them.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays help on commandline options."));
    parser.addOption(help);
    parser.addVersionOption();
    qzt::addAdapterOption(parser);
    const QCommandLineOption firmware(
        QStringLiteral("firmware"),
        QStringLiteral("The adapter firmware image (Intel HEX) to download. The default, SSTFW.hex "
                       "beside the program, is the simulated adapter's stand-in: a board on the "
                       "USB needs its own image."),
        QStringLiteral("path"));
    parser.addOption(firmware);
    parser.addPositionalArgument(
        QStringLiteral("log"),
        QStringLiteral("Log files (.sav) to open after start-up, each in a viewer of its own."),
        QStringLiteral("[log...]"));
    // The command line is read before the application exists, so that
    // --help, --version and a usage error need no display. Bad option text
    // is a usage error: status 2, no window.
    // Qt's own options (-platform, -style, ...) are left to QApplication.
    static const QStringList qtValueOptions{"-platform",        "-platformpluginpath",
                                            "-platformtheme",   "-plugin",
                                            "-qwindowgeometry", "-qwindowtitle",
                                            "-qwindowicon",     "-display",
                                            "-geometry",        "-style",
                                            "-stylesheet",      "-session",
                                            "-title",           "-name"};
    static const QStringList qtFlags{"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    QStringList arguments;
    // A platform or display named for Qt is taken as it is.
    bool platformChosen = nonEmpty("QT_QPA_PLATFORM");
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (i > 0 && qtValueOptions.contains(arg)) {
            platformChosen = platformChosen || arg == QLatin1String("-platform") ||
                             arg == QLatin1String("-display");
            ++i;
            continue;
        }
        if (i == 0 || !qtFlags.contains(arg))
            arguments << arg;
    }
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "qzt6604-5: %s\n", qPrintable(parser.errorText()));
        return 2;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                        QStringLiteral("qzt6604-5"))),
                   stdout);
        return 0;
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    QString error;
    const auto choice = qzt::adapterChoice(parser, &error);
    if (!choice) {
        std::fprintf(stderr, "qzt6604-5: --adapter: %s\n", qPrintable(error));
        return 2;
    }
    // Without a display Qt would abort with its own text; say what is
    // missing instead, before any window exists.
    if (!platformChosen && !nonEmpty("DISPLAY") && !nonEmpty("WAYLAND_DISPLAY")) {
        std::fputs("qzt6604-5: no display: DISPLAY and WAYLAND_DISPLAY are empty; start it in a "
                   "desktop session, or set QT_QPA_PLATFORM (offscreen runs it without a "
                   "screen)\n",
                   stderr);
        return kNoDisplay;
    }
    QApplication app(argc, argv);
    QApplication::setDesktopFileName(QStringLiteral("qzt6604-5"));
    auto usb = qzt::makeAdapter(*choice, &error);
    if (!usb) {
        std::fprintf(stderr, "qzt6604-5: %s\n", qPrintable(error));
        return 1;
    }

    // Every window and message box carries the application icon.
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/qzt6604-5-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    qzt::DeviceState state;
    qzt::QtDialogs dialogs;
    qzt::AppContext ctx{state,
                        *usb,
                        dialogs,
                        QCoreApplication::applicationDirPath(),
                        [] { return QDateTime::currentMSecsSinceEpoch(); },
                        parser.value(firmware)};

    // The adapter runs on an I/O thread of its own: the windows never wait
    // for the board. The window shows at once; the status line says what
    // the start-up is doing, and a failed start-up ends the program once
    // its message is answered.
    qzt::MainWindow window(ctx, qzt::AdapterIo::Mode::Threaded);
    // A failed download is told on standard error too, before its message
    // box asks for an answer.
    QObject::connect(&window, &qzt::MainWindow::downloadFailed, &app, [](const QString &text) {
        std::fprintf(stderr, "qzt6604-5: %s\n", qPrintable(text));
    });
    const QStringList logs = parser.positionalArguments();
    QObject::connect(&window, &qzt::MainWindow::loadFinished, &app, [&window, logs](bool ok) {
        if (!ok) {
            QCoreApplication::exit(1);
            return;
        }
        for (const QString &log : logs)
            window.openLog(log);
    });
    if (!window.MDIForm_Load())
        return 1;
    window.show();
    return app.exec();
}
