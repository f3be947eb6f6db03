// Reports the time of one poll tick with both logging windows open, first
// reading only (Idle), then writing to files in a temporary folder, with the
// simulated bus. Also the bytes of one data line per model.
#include "BenchDialogs.h"
#include "app/MainWindow.h"
#include "sst/SimulatedAdapter.h"

#include <QApplication>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int Ticks = 20'000;

struct Stats {
    double median;
    double p99;
    double max;
};

// Runs `Ticks` ticks, moving the simulated clock 50 ms each, and returns
// microseconds per tick.
Stats timeTicks(qzt::MainWindow &window, int64_t &nowMs)
{
    std::vector<double> us(Ticks);
    for (double &t : us) {
        nowMs += 50;
        const auto start = std::chrono::steady_clock::now();
        window.Timer1_Timer();
        t = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count();
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100], us.back()};
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    int64_t nowMs = 0;
    qzt::DeviceState state;
    auto usb = qzt::SimulatedAdapter::shippedBus([&nowMs] { return nowMs; });
    qzt::bench::BenchDialogs dialogs;
    qzt::AppContext ctx{state, *usb, dialogs, QCoreApplication::applicationDirPath(),
                        [] { return QDateTime::currentMSecsSinceEpoch(); }};
    qzt::MainWindow window(ctx);
    window.timer().stop(); // ticks are driven here
    if (!window.MDIForm_Load())
        return 1;
    // Only the logging windows take part: the start-up graph goes.
    delete window.frmTempGraph04()->parentWidget();
    window.mSave04_Click();
    window.mSave05_Click();

    const Stats idle = timeTicks(window, nowMs);

    QTemporaryDir dir;
    const QString path04 = dir.filePath(QStringLiteral("04.sav"));
    const QString path05 = dir.filePath(QStringLiteral("05.sav"));
    if (!dialogs.startLogs(window, dir.path()))
        return 1;
    const qint64 header04 = QFileInfo(path04).size();
    const qint64 header05 = QFileInfo(path05).size();
    const Stats writing = timeTicks(window, nowMs);
    if (!window.frmSave04()->isWriting() || !window.frmSave05()->isWriting())
        return 1;
    const double line04 = double(QFileInfo(path04).size() - header04) / Ticks;
    const double line05 = double(QFileInfo(path05).size() - header05) / Ticks;

    std::printf("%-36s %10s %10s %10s\n", "tick, both logging windows open", "median us", "p99 us",
                "max us");
    std::printf("%-36s %10.1f %10.1f %10.1f\n", "Idle (reads only)", idle.median, idle.p99,
                idle.max);
    std::printf("%-36s %10.1f %10.1f %10.1f\n", "Writing (reads + two lines)", writing.median,
                writing.p99, writing.max);
    std::printf("bytes per data line: QZT6604 %.2f, QZT6605 %.2f (default boxes)\n", line04,
                line05);
    std::printf("(%d ticks each, simulated bus, files in %s)\n", Ticks, qPrintable(dir.path()));
    return 0;
}
