// How late the window thread handles a timer it posts every 5 ms while the
// program runs with every window open and both logs writing, and how many
// log lines a run gets against its length (one per 50 ms). Cases: the
// simulated adapter; the board emulated with umockdev at 2 ms per transfer;
// a 6 s stall of its IN transfers; an unplug, then a blank board plugged in
// again that gets the firmware anew. Needs umockdev's preload and sets it
// itself when it is missing.
// Usage: bench_responsiveness [SECONDS] (default 10 s per case).
#include "BenchDialogs.h"
#include "app/MainWindow.h"
#include "sst/SimulatedAdapter.h"
#include "support/EmulatedBoard.h"

#include <QApplication>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

// The program before its adapter got a thread of its own was measured with
// this source too (with that time's dialog interface), to compare.
#if __has_include("sst/AdapterIo.h")
#define QZT_ADAPTER_THREAD 1
#endif

using namespace qzt;
using Clock = std::chrono::steady_clock;

namespace {

constexpr UsbId kLoader{0x0041, 0x8051};
constexpr UsbId kRunning{0x0041, 0x5354};

// Writes a board's own image as SSTFW.hex into `folder` and returns the folder.
QString writeBoardImage(const QString &folder)
{
    const std::string image = test::boardImageHex();
    QFile file(folder + QStringLiteral("/SSTFW.hex"));
    if (!file.open(QIODevice::WriteOnly) || file.write(image.data(), qint64(image.size())) < 0) {
        std::fprintf(stderr, "cannot write the board image\n");
        std::exit(1);
    }
    return folder;
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Runs the event loop for `seconds`, calling each event of `script` at its
// time; returns how late each 5 ms timer came, in ms.
std::vector<double> runLoop(double seconds,
                            const std::vector<std::pair<double, std::function<void()>>> &script)
{
    std::vector<double> late;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    probe.setInterval(5);
    auto last = Clock::now();
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        late.push_back(std::max(0.0, ms(now - last) - 5.0));
        last = now;
    });
    for (const auto &[at, action] : script)
        QTimer::singleShot(int(at * 1000), action);
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000), &loop, &QEventLoop::quit);
    probe.start();
    last = Clock::now();
    loop.exec();
    return late;
}

int dataLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    return int(f.readAll().count('\n')) - 3;
}

void run(const char *label, USBFunctions &usb, double seconds,
         const std::vector<std::pair<double, std::function<void()>>> &script,
         const QString &folder = QCoreApplication::applicationDirPath())
{
    DeviceState state;
    bench::BenchDialogs dialogs;
    AppContext ctx{state, usb, dialogs, folder, [] { return QDateTime::currentMSecsSinceEpoch(); }};
#ifdef QZT_ADAPTER_THREAD
    MainWindow window(ctx, AdapterIo::Mode::Threaded);
#else
    MainWindow window(ctx);
#endif
    window.show();
    if (!window.MDIForm_Load())
        std::exit(1);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (!window.frmTempGraph04() && Clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (!window.frmTempGraph04()) {
        std::fprintf(stderr, "%s: start-up did not finish\n", label);
        std::exit(1);
    }
    window.mTempGraph05_Click();
    window.mVoltGraph05_Click();
    window.mSet04_Click();
    window.mSet05_Click();
    QTemporaryDir dir;
    if (!dialogs.startLogs(window, dir.path()))
        std::exit(1);
    const auto start = Clock::now();
    std::vector<double> late = runLoop(seconds, script);
    window.frmSave04()->cmdSave_Click();
    window.frmSave05()->cmdSave_Click();
    const double expected = ms(Clock::now() - start) / 50.0;
    std::sort(late.begin(), late.end());
    std::printf("%-34s latency median %6.2f ms  p99 %7.2f ms  max %7.1f ms | lines 04 %4d "
                "05 %4d, elapsed/50ms %6.1f\n",
                label, late[late.size() / 2], late[late.size() * 99 / 100], late.back(),
                dataLines(dir.filePath(QStringLiteral("04.sav"))),
                dataLines(dir.filePath(QStringLiteral("05.sav"))), expected);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!std::getenv("LD_PRELOAD")) {
        setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
        execv("/proc/self/exe", argv);
        std::perror("bench_responsiveness: cannot restart under umockdev's preload");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
#ifdef QZT_ADAPTER_THREAD
    std::printf("adapter on an I/O thread\n");
#else
    std::printf("adapter on the window thread\n");
#endif

    {
        auto simulated = SimulatedAdapter::shippedBus();
        run("simulated adapter", *simulated, seconds, {});
    }

    const std::string firmware =
        QCoreApplication::applicationDirPath().toStdString() + "/SSTFW.hex";
    test::EmulatedBoard board(kLoader, kRunning, firmware);
    if (!test::EmulatedBoard::inMockEnvironment()) {
        std::fprintf(stderr, "bench_responsiveness: umockdev's preload is not active\n");
        return 1;
    }
    board.plug(false);
    board.setTransferDelay(std::chrono::milliseconds(2));
    {
        QTemporaryDir dir;
        const QString folder = writeBoardImage(dir.path());
        LibusbAdapter usb(kRunning, kLoader);
        run("emulated board, 2 ms per transfer", usb, seconds, {}, folder);
        run("6 s IN stall", usb, seconds,
            {{1.0, [&] { board.setStallIn(true); }}, {7.0, [&] { board.setStallIn(false); }}},
            folder);
        run("unplug, blank replug, download", usb, seconds,
            {{1.0, [&] { board.unplug(); }}, {3.0, [&] { board.plug(false); }}}, folder);
    }
    return 0;
}
