// Composition root: builds the device state, the adapter, the dialogs and
// the main window, and wires them together.
#include "app/MainWindow.h"
#include "app/QtDialogs.h"
#include "sst/DeviceState.h"
#include "sst/SimulatedAdapter.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QZT6604/5 Evaluation Software"));
    QApplication::setDesktopFileName(QStringLiteral("qzt6604-5"));
    // Every window and message box carries the application icon.
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/qzt6604-5-%1.png").arg(size), QSize(size, size));
    QApplication::setWindowIcon(icon);

    qzt::DeviceState state;
    auto usb = qzt::SimulatedAdapter::shippedBus();
    qzt::QtDialogs dialogs;
    qzt::AppContext ctx{state, *usb, dialogs, QCoreApplication::applicationDirPath(),
                        [] { return QDateTime::currentMSecsSinceEpoch(); }};

    qzt::MainWindow window(ctx);
    if (!window.MDIForm_Load())
        return 1;
    window.show();
    return app.exec();
}
