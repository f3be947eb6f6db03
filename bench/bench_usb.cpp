// What the USB costs: one SST transaction, and one poll tick with all five
// polled windows open (both logs writing), through libusb and the board
// emulated with umockdev, against the simulated adapter. Needs umockdev's
// preload and sets it itself when it is missing.
// Usage: bench_usb [TICKS] (default 2000 ticks, and 2000 transactions).
#include "BenchDialogs.h"
#include "app/MainWindow.h"
#include "sst/SSTStuff.h"
#include "sst/SimulatedAdapter.h"
#include "sst/USBStuff.h"
#include "support/EmulatedBoard.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace qzt;

namespace {

constexpr UsbId kLoader{0x0041, 0x8051};
constexpr UsbId kRunning{0x0041, 0x5354};

// Counts the vendor requests that pass through it.
class Counting : public USBFunctions {
public:
    explicit Counting(USBFunctions &inner) : inner_(inner) {}
    long requests = 0;
    int16_t LoadFirmWare(const char *path) override { return inner_.LoadFirmWare(path); }
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t *buffer) override
    {
        ++requests;
        return inner_.VendorIORequest(request, value, index, direction, length, buffer);
    }

private:
    USBFunctions &inner_;
};

template <typename F> void measure(const char *name, long n, F &&call)
{
    using Clock = std::chrono::steady_clock;
    std::vector<double> us;
    us.reserve(std::size_t(n));
    for (long i = 0; i < n; ++i) {
        const auto start = Clock::now();
        call();
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    std::sort(us.begin(), us.end());
    std::printf("%-56s median %8.1f us   p99 %8.1f us   max %8.1f us\n", name, us[us.size() / 2],
                us[us.size() * 99 / 100], us.back());
}

// One adapter measured: a transaction on its own, then ticks of the whole
// program with the five polled windows open.
void run(const char *label, USBFunctions &adapter, long n,
         const QString &folder = QCoreApplication::applicationDirPath())
{
    Counting usb(adapter);
    DeviceState state;
    bench::BenchDialogs dialogs;
    AppContext ctx{state, usb, dialogs, folder, [] { return QDateTime::currentMSecsSinceEpoch(); }};
    if (DownloadFirmware(state, usb, ctx.appFolder) < 0) {
        std::fprintf(stderr, "%s: firmware download failed\n", label);
        std::exit(1);
    }
    state.SSTStuff.SSTAddress = 0x48;
    measure((std::string(label) + ": SST transaction (SSTGetTemps)").c_str(), n,
            [&] { SSTGetTemps(state, usb); });

    QTemporaryDir dir;
    MainWindow window(ctx);
    window.timer().stop(); // the benchmark drives the ticks
    if (!window.MDIForm_Load())
        std::exit(1);
    window.mTempGraph05_Click();
    window.mVoltGraph05_Click();
    if (!dialogs.startLogs(window, dir.path()))
        std::exit(1);
    const long before = usb.requests;
    measure((std::string(label) + ": tick, five polled windows").c_str(), n,
            [&] { window.Timer1_Timer(); });
    std::printf("%s: %.1f vendor requests per tick\n", label,
                double(usb.requests - before) / double(n));
    window.frmSave04()->cmdSave_Click();
    window.frmSave05()->cmdSave_Click();
}

} // namespace

int main(int argc, char *argv[])
{
    if (!std::getenv("LD_PRELOAD")) {
        setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
        execv("/proc/self/exe", argv);
        std::perror("bench_usb: cannot restart under umockdev's preload");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long n = argc > 1 ? std::atol(argv[1]) : 2000;

    auto simulated = SimulatedAdapter::shippedBus();
    run("simulated", *simulated, n);

    const std::string firmware =
        QCoreApplication::applicationDirPath().toStdString() + "/SSTFW.hex";
    test::EmulatedBoard board(kLoader, kRunning, firmware);
    if (!test::EmulatedBoard::inMockEnvironment()) {
        std::fprintf(stderr, "bench_usb: umockdev's preload is not active\n");
        return 1;
    }
    board.plug(false);
    {
        // The board takes its own image; the shipped one is the simulated
        // adapter's stand-in, which the USB adapter refuses.
        QTemporaryDir dir;
        const std::string image = test::boardImageHex();
        QFile file(dir.filePath(QStringLiteral("SSTFW.hex")));
        if (!file.open(QIODevice::WriteOnly) || file.write(image.data(), qint64(image.size())) < 0)
            return 1;
        file.close();
        LibusbAdapter usb(kRunning, kLoader);
        run("libusb + emulated board", usb, n, dir.path());
    }
    return 0;
}
