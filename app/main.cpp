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

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("QZT6604/5 Evaluation Software"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QZT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Evaluation software for the QZT6604 and QZT6605 sensor chips."));
    parser.addHelpOption();
    parser.addVersionOption();
    qzt::addAdapterOption(parser);
    const QCommandLineOption firmware(
        QStringLiteral("firmware"),
        QStringLiteral("The adapter firmware image (Intel HEX) to download. The default, SSTFW.hex "
                       "beside the program, is the simulated adapter's stand-in: a board on the "
                       "USB needs its own image."),
        QStringLiteral("path"));
    parser.addOption(firmware);
    parser.addPositionalArgument(QStringLiteral("log"),
                                 QStringLiteral("A log file (.sav) to open after start-up."),
                                 QStringLiteral("[log]"));
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
    for (int i = 0; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (i > 0 && qtValueOptions.contains(arg)) {
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
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
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
    if (parser.positionalArguments().size() > 1) {
        std::fprintf(stderr, "qzt6604-5: unexpected argument '%s'\n",
                     qPrintable(parser.positionalArguments().at(1)));
        return 2;
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
    const QStringList logs = parser.positionalArguments();
    QObject::connect(&window, &qzt::MainWindow::loadFinished, &app, [&window, logs](bool ok) {
        if (!ok)
            QCoreApplication::exit(1);
        else if (!logs.isEmpty())
            window.openLog(logs.constFirst());
    });
    if (!window.MDIForm_Load())
        return 1;
    window.show();
    return app.exec();
}
