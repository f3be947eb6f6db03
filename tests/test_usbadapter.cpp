// The libusb adapter against a board emulated with umockdev: the real
// libusb code path, the firmware download through the RAM loader, the main
// window on the USB, an unplugged and replugged board, a stalled request,
// and the --adapter texts. Runs with libumockdev-preload.so.0 preloaded.
#include "app/MainWindow.h"
#include "sst/IntelHex.h"
#include "support/EmulatedBoard.h"
#include "support/FakeDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <map>
#include <sstream>

using namespace qzt;
using namespace qzt::test;

namespace {

constexpr UsbId kLoader{0x0041, 0x8051};  // the blank board in these tests
constexpr UsbId kRunning{0x0041, 0x5354}; // the board running our firmware
const QString kFirmwareMessage =
    QStringLiteral("Firmware failed to download. Please check USB connection.");
const std::string kShippedFirmware = QZT_SOURCE_DIR "/sst/SSTFW.hex";

// Root opens every file whatever its permissions; this takes that power from
// the calling thread for a while, so a node without permissions refuses.
class WithoutFileOverride {
public:
    WithoutFileOverride() { set(false); }
    ~WithoutFileOverride() { set(true); }

private:
    static void set(bool on)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2]{};
        syscall(SYS_capget, &header, data);
        const uint32_t mask = 1U << CAP_DAC_OVERRIDE | 1U << CAP_DAC_READ_SEARCH;
        data[0].effective =
            on ? data[0].effective | (data[0].permitted & mask) : data[0].effective & ~mask;
        syscall(SYS_capset, &header, data);
    }
};

// The program on the USB: the board, the adapter and the main window, torn
// down in the reverse order so libusb lets go before the testbed goes.
struct Bench {
    explicit Bench(std::optional<UsbId> loader = kLoader,
                   LibusbAdapter::Timing timing = fastTiming())
        : board(kLoader, kRunning, kShippedFirmware), usb(kRunning, loader, timing, &messages)
    {
    }
    static LibusbAdapter::Timing fastTiming()
    {
        LibusbAdapter::Timing t;
        t.rescanMs = 100;
        return t;
    }
    bool start(const QString &folder = QStringLiteral(QZT_SOURCE_DIR "/sst"))
    {
        ctx.appFolder = folder;
        window = std::make_unique<MainWindow>(ctx);
        window->timer().stop(); // the test drives the ticks
        return window->MDIForm_Load();
    }

    EmulatedBoard board;
    std::ostringstream messages;
    LibusbAdapter usb;
    DeviceState state;
    FakeDialogs dialogs;
    AppContext ctx{state, usb, dialogs, {}, [] { return QDateTime::currentMSecsSinceEpoch(); }};
    std::unique_ptr<MainWindow> window;
};

enum class Plug { None, Blank, Running, RunningRefusing, BlankRefusing };

void plug(EmulatedBoard &board, Plug how)
{
    switch (how) {
    case Plug::None:
        break;
    case Plug::Blank:
        board.plugBlank();
        break;
    case Plug::Running:
        board.plugRunning();
        break;
    case Plug::RunningRefusing:
        board.plugRunning(false);
        break;
    case Plug::BlankRefusing:
        board.plugBlank(false);
        break;
    }
}

// Address -> byte over every data byte of an image or of a list of writes.
std::map<uint32_t, uint8_t> bytesOf(const std::vector<IntelHexSegment> &segments)
{
    std::map<uint32_t, uint8_t> out;
    for (const auto &s : segments)
        for (std::size_t i = 0; i < s.bytes.size(); ++i)
            out[uint32_t(s.address + i)] = s.bytes[i];
    return out;
}

QByteArray hexRecord(uint8_t type, uint16_t address, const QByteArray &data)
{
    QByteArray raw;
    raw.append(char(data.size())).append(char(address >> 8)).append(char(address & 0xFF));
    raw.append(char(type)).append(data);
    uint8_t sum = 0;
    for (char c : raw)
        sum = uint8_t(sum + uint8_t(c));
    raw.append(char(uint8_t(-sum)));
    return ':' + raw.toHex().toUpper() + "\r\n";
}

} // namespace

Q_DECLARE_METATYPE(Plug)
Q_DECLARE_METATYPE(std::optional<UsbId>)

class TestUsbAdapter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanup();
    void mainWindowStartsAndPollsOnTheBoard_data();
    void mainWindowStartsAndPollsOnTheBoard();
    void failedStartShowsTheFirmwareMessageAndTheReason_data();
    void failedStartShowsTheFirmwareMessageAndTheReason();
    void loaderWritesCoverExactlyTheImage_data();
    void loaderWritesCoverExactlyTheImage();
    void unpluggedBoardKeepsTicksFastAndComesBack_data();
    void unpluggedBoardKeepsTicksFastAndComesBack();
    void slowAndStalledRequests_data();
    void slowAndStalledRequests();
    void requestsATransferCannotCarrySendNothing_data();
    void requestsATransferCannotCarrySendNothing();
    void badAdapterTextsAreRefused_data();
    void badAdapterTextsAreRefused();
};

void TestUsbAdapter::initTestCase()
{
    EmulatedBoard probe(kLoader, kRunning, kShippedFirmware);
    if (!EmulatedBoard::inMockEnvironment())
        QSKIP("needs LD_PRELOAD=libumockdev-preload.so.0 (CTest sets it)");
}

void TestUsbAdapter::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(QApplication::topLevelWidgets().isEmpty());
}

void TestUsbAdapter::mainWindowStartsAndPollsOnTheBoard_data()
{
    QTest::addColumn<Plug>("plugged");
    QTest::addColumn<int>("downloads");
    QTest::addColumn<QList<int>>("cpuControl");
    QTest::newRow("blank board gets the image") << Plug::Blank << 1 << QList<int>{1, 0};
    QTest::newRow("running board gets no download") << Plug::Running << 0 << QList<int>{};
}

void TestUsbAdapter::mainWindowStartsAndPollsOnTheBoard()
{
    QFETCH(Plug, plugged);
    QFETCH(int, downloads);
    QFETCH(QList<int>, cpuControl);
    Bench b;
    plug(b.board, plugged);
    QVERIFY(b.start());
    QCOMPARE(b.board.downloads(), downloads);
    const auto cpu = b.board.cpuControlWrites();
    QCOMPARE(QList<int>(cpu.begin(), cpu.end()), cpuControl);
    QCOMPARE(b.state.Declarations.Address04, int16_t(0x48));
    QCOMPARE(b.state.Declarations.Address05, int16_t(0x4A));
    QVERIFY(b.window->frmTempGraph04());
    QVERIFY(b.dialogs.criticals.isEmpty());
    QCOMPARE(QString::fromStdString(b.usb.describe()),
             QStringLiteral("USB adapter 0041:5354 on bus 1, device %1").arg(2 + downloads));

    b.board.withBus([](SimulatedAdapter &bus) { bus.setTemperatures(0x48, 21.5, 33.25); });
    const int before = b.board.sstTransfers();
    b.window->Timer1_Timer();
    b.window->Timer1_Timer();
    QCOMPARE(b.board.sstTransfers() - before,
             4); // one temperature read per tick, two transfers each
    QCOMPARE(b.state.SSTStuff.IntTemp, 21.5f);
    QCOMPARE(b.state.SSTStuff.ExtTemp, 33.25f);
}

void TestUsbAdapter::failedStartShowsTheFirmwareMessageAndTheReason_data()
{
    QTest::addColumn<Plug>("plugged");
    QTest::addColumn<std::optional<UsbId>>("loader");
    QTest::addColumn<QByteArray>("firmware"); // empty: the shipped image
    QTest::addColumn<QString>("reason");
    const std::optional<UsbId> loader = kLoader;
    QTest::newRow("no board") << Plug::None << loader << QByteArray()
                              << "no board 0041:5354 or blank board 0041:8051 on the USB";
    QTest::newRow("blank board without a loader identity")
        << Plug::Blank << std::optional<UsbId>() << QByteArray() << "no board 0041:5354 on the USB";
    QTest::newRow("running board may not be opened")
        << Plug::RunningRefusing << loader << QByteArray()
        << "ATTR{idVendor}==\"0041\", ATTR{idProduct}==\"5354\", TAG+=\"uaccess\"";
    QTest::newRow("blank board may not be opened")
        << Plug::BlankRefusing << loader << QByteArray()
        << "ATTR{idVendor}==\"0041\", ATTR{idProduct}==\"8051\", TAG+=\"uaccess\"";
    QTest::newRow("bad firmware file")
        << Plug::Blank << loader << QByteArray(":00000001FE\n") << "refused";
    QTest::newRow("image beyond 64 KiB")
        << Plug::Blank << loader
        << hexRecord(4, 0, QByteArray::fromHex("0001")) + hexRecord(0, 0, "x") + hexRecord(1, 0, {})
        << "reaches past the 64 KiB";
}

void TestUsbAdapter::failedStartShowsTheFirmwareMessageAndTheReason()
{
    QFETCH(Plug, plugged);
    QFETCH(std::optional<UsbId>, loader);
    QFETCH(QByteArray, firmware);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString folder = QStringLiteral(QZT_SOURCE_DIR "/sst");
    if (!firmware.isEmpty()) {
        QFile file(dir.filePath("SSTFW.hex"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(firmware);
        folder = dir.path();
    }
    Bench b(loader);
    plug(b.board, plugged);
    {
        WithoutFileOverride asAUser;
        QVERIFY(!b.start(folder));
    }
    QCOMPARE(b.dialogs.criticals, QStringList{kFirmwareMessage});
    QVERIFY2(QString::fromStdString(b.messages.str()).contains(reason), b.messages.str().c_str());
    QCOMPARE(b.board.downloads(), 0);
}

void TestUsbAdapter::loaderWritesCoverExactlyTheImage_data()
{
    QTest::addColumn<QByteArray>("firmware");
    QFile shipped(QString::fromStdString(kShippedFirmware));
    QVERIFY(shipped.open(QIODevice::ReadOnly));
    QTest::newRow("shipped image") << shipped.readAll();
    // 5000 bytes in one run and a second run: chunks of 4096 and the rest.
    QByteArray big;
    for (int at = 0; at < 5000; at += 200) {
        QByteArray data(200, '\0');
        for (int i = 0; i < 200; ++i)
            data[i] = char((at + i) * 7);
        big += hexRecord(0, uint16_t(0x1000 + at), data);
    }
    big += hexRecord(0, 0xFFF0, QByteArray(16, 'z')) + hexRecord(1, 0, {});
    QTest::newRow("image over several chunks up to the top of RAM") << big;
}

void TestUsbAdapter::loaderWritesCoverExactlyTheImage()
{
    QFETCH(QByteArray, firmware);
    QTemporaryDir dir;
    const QString path = dir.filePath("SSTFW.hex");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(firmware);
    file.close();
    Bench b;
    b.board.plugBlank();
    QCOMPARE(b.usb.LoadFirmWare(path.toLocal8Bit().constData()), int16_t(0));

    std::vector<IntelHexSegment> written;
    for (const LoaderWrite &w : b.board.ramWrites()) {
        QVERIFY(w.bytes.size() <= 4096);
        written.push_back({w.address, w.bytes});
    }
    QCOMPARE(bytesOf(written), bytesOf(parseIntelHex(firmware)->segments));
    std::size_t total = 0;
    for (const auto &w : written)
        total += w.bytes.size();
    QCOMPARE(total, parseIntelHex(firmware)->byteCount()); // each byte exactly once
    QCOMPARE(b.board.cpuControlWrites(), (std::vector<uint8_t>{1, 0}));
}

void TestUsbAdapter::unpluggedBoardKeepsTicksFastAndComesBack_data()
{
    QTest::addColumn<Plug>("replugged");
    QTest::addColumn<int>("downloads");
    QTest::newRow("back blank: downloaded again") << Plug::Blank << 2;
    QTest::newRow("back running: kept") << Plug::Running << 1;
}

void TestUsbAdapter::unpluggedBoardKeepsTicksFastAndComesBack()
{
    QFETCH(Plug, replugged);
    QFETCH(int, downloads);
    Bench b;
    b.board.plugBlank();
    QVERIFY(b.start());
    b.window->mVoltGraph05_Click();
    b.window->Timer1_Timer();

    b.board.unplug();
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 20; ++i)
        b.window->Timer1_Timer();
    // No call waits for the transfer time-out while the board is away.
    QVERIFY2(clock.elapsed() < 500, QByteArray::number(clock.elapsed()));
    QVERIFY(QString::fromStdString(b.messages.str()).contains("unplugged"));
    QCOMPARE(QString::fromStdString(b.usb.describe()), "USB adapter 0041:5354 (unplugged)");

    plug(b.board, replugged);
    b.board.withBus([](SimulatedAdapter &bus) {
        bus.setTemperatures(0x48, -12.5, 70);
        bus.setVoltages(0x4A, {11.5, 4.75, 3.25, 2.5, 1.25});
    });
    QTest::qWait(150); // past the rescan interval
    b.window->Timer1_Timer();
    b.window->Timer1_Timer();
    QCOMPARE(b.board.downloads(), downloads);
    QCOMPARE(b.state.SSTStuff.IntTemp, -12.5f);
    QCOMPARE(b.state.SSTStuff.Volts[1], 4.75f);
}

void TestUsbAdapter::slowAndStalledRequests_data()
{
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<bool>("stall");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    QTest::newRow("slow board answers") << 300 << false << 64 << 300 << 2500;
    QTest::newRow("stalled IN gives up after the time-out")
        << 0 << true << int(LibusbAdapter::kTransferFailed) << 950 << 2500;
}

void TestUsbAdapter::slowAndStalledRequests()
{
    QFETCH(int, delayMs);
    QFETCH(bool, stall);
    QFETCH(int, result);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    Bench b;
    b.board.plugRunning();
    QCOMPARE(b.usb.LoadFirmWare(kShippedFirmware.c_str()), int16_t(0));
    uint8_t buffer[64] = {0x48, 1, 4, 0x00};
    QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 0, 7, buffer), int16_t(7));
    b.board.setDelayMs(delayMs);
    b.board.setStallIn(stall);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(int(b.usb.VendorIORequest(0xDA, 0, 0, 1, 64, buffer)), result);
    QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= maxMs,
             QByteArray::number(clock.elapsed()));
    // The board answers again once it is well.
    b.board.setDelayMs(0);
    b.board.setStallIn(false);
    QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 0, 7, buffer), int16_t(7));
    QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 1, 64, buffer), int16_t(64));
}

void TestUsbAdapter::requestsATransferCannotCarrySendNothing_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("buffer");
    QTest::newRow("length below 0") << 0 << 0 << -1 << true;
    QTest::newRow("length above 4096") << 0 << 0 << 4097 << true;
    QTest::newRow("null buffer") << 0 << 0 << 7 << false;
    QTest::newRow("value above 16 bits") << 0x10000 << 0 << 7 << true;
    QTest::newRow("negative value") << -1 << 0 << 7 << true;
    QTest::newRow("index above 16 bits") << 0 << 0x10000 << 7 << true;
}

void TestUsbAdapter::requestsATransferCannotCarrySendNothing()
{
    QFETCH(int, value);
    QFETCH(int, index);
    QFETCH(int, length);
    QFETCH(bool, buffer);
    Bench b;
    b.board.plugRunning();
    QCOMPARE(b.usb.LoadFirmWare(kShippedFirmware.c_str()), int16_t(0));
    std::vector<uint8_t> bytes(4200, 0x48);
    QCOMPARE(b.usb.VendorIORequest(0xDA, value, index, 0, int16_t(length),
                                   buffer ? bytes.data() : nullptr),
             LibusbAdapter::kBadArguments);
    QCOMPARE(b.board.sstTransfers(), 0);
}

void TestUsbAdapter::badAdapterTextsAreRefused_data()
{
    QTest::addColumn<QString>("text");
    for (const char *text :
         {"", "Simulated", "usb", "usb:", "usb:0041", "usb:0041:", "usb:00411:5354",
          "usb:0041:53g4", "usb:0041:5354:1", "usb:0041:5354,",
          "usb:0041:5354,loader=", "usb:0041:5354,boot=1:2", "usb:0041:5354,loader=1:2,loader=3:4",
          "usb:-41:5354", " usb:0041:5354"})
        QTest::newRow(*text ? text : "(empty)") << QString::fromLatin1(text);
}

void TestUsbAdapter::badAdapterTextsAreRefused()
{
    QFETCH(QString, text);
    QString error;
    QVERIFY(!parseAdapterOption(text, &error));
    QVERIFY(!error.isEmpty());
}

QTEST_MAIN(TestUsbAdapter)
#include "test_usbadapter.moc"
