// A long run of the whole program on a simulated clock: all five polled
// windows open, both logs written, ticks as fast as the machine allows.
// Reports tick cost and resident memory per simulated hour and the lines in
// each log file; fails when a line is missing. Usage: bench_longrun [TICKS]
// (default 24 hours: 1,728,000). CTest runs one hour of it.
#include "BenchDialogs.h"
#include "app/MainWindow.h"
#include "sst/SimulatedAdapter.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <vector>

using namespace qzt;

namespace {

// Resident set size in MiB, read from the kernel.
double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * 4096.0 / (1024.0 * 1024.0);
}

long countLines(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    long n = 0;
    char buffer[1 << 16];
    for (qint64 got; (got = f.read(buffer, sizeof buffer)) > 0;)
        n += long(std::count(buffer, buffer + got, '\n'));
    return n;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long ticks = argc > 1 ? std::atol(argv[1]) : 1'728'000L;
    constexpr long kTicksPerHour = 72'000;
    constexpr int kPaintEvery = 20; // the screen is repainted once a second

    int64_t nowMs = QDateTime(QDate(2026, 12, 5), QTime(0, 0)).toMSecsSinceEpoch();
    DeviceState state;
    auto usb = SimulatedAdapter::shippedBus([&nowMs] { return nowMs; });
    bench::BenchDialogs dialogs;
    AppContext ctx{state, *usb, dialogs, QCoreApplication::applicationDirPath(),
                   [&nowMs] { return nowMs; }};
    QTemporaryDir dir;
    MainWindow window(ctx);
    window.timer().stop(); // the benchmark drives the ticks
    if (!window.MDIForm_Load())
        return 1;
    window.resize(1400, 1000);
    window.show();
    window.mVoltGraph05_Click();
    window.mTempGraph05_Click();
    if (!dialogs.startLogs(window, dir.path()))
        return 1;

    using Clock = std::chrono::steady_clock;
    std::vector<double> tickUs;
    tickUs.reserve(kTicksPerHour);
    std::vector<double> paintUs;
    std::printf("hour  tick median  tick p99  tick max  paint median  paint max  RSS MiB\n");
    for (long i = 1; i <= ticks; ++i) {
        nowMs += 50;
        const auto start = Clock::now();
        window.Timer1_Timer();
        tickUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        if (i % kPaintEvery == 0) {
            const auto paintStart = Clock::now();
            QCoreApplication::processEvents();
            paintUs.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - paintStart).count());
        }
        if (i % kTicksPerHour == 0 || i == ticks) {
            std::sort(tickUs.begin(), tickUs.end());
            std::sort(paintUs.begin(), paintUs.end());
            auto at = [](const std::vector<double> &v, double q) {
                return v.empty() ? 0.0 : v[std::size_t(double(v.size() - 1) * q)];
            };
            std::printf("%4ld  %8.1f us  %6.1f us  %6.0f us  %9.0f us  %7.0f us  %7.1f\n",
                        (i + kTicksPerHour - 1) / kTicksPerHour, at(tickUs, 0.5), at(tickUs, 0.99),
                        tickUs.back(), at(paintUs, 0.5), paintUs.empty() ? 0.0 : paintUs.back(),
                        residentMiB());
            std::fflush(stdout);
            tickUs.clear();
            paintUs.clear();
        }
    }
    window.frmSave04()->cmdSave_Click();
    window.frmSave05()->cmdSave_Click();
    const long lines04 = countLines(dir.filePath(QStringLiteral("04.sav")));
    const long lines05 = countLines(dir.filePath(QStringLiteral("05.sav")));
    // However long the run, the simulated adapter's request log stays capped.
    const bool capped = usb->sentRequests().size() <= SimulatedAdapter::kRequestLogCapacity;
    const bool complete = lines04 == ticks + 3 && lines05 == ticks + 3;
    std::printf("ticks %ld; log lines QZT6604 %ld, QZT6605 %ld (header 3 + one per tick: %s); "
                "request log %s; messages %d\n",
                ticks, lines04, lines05, complete ? "none missing" : "LINES MISSING",
                capped ? "capped" : "OVER ITS CAP", dialogs.criticals);
    return complete && capped ? 0 : 1;
}
