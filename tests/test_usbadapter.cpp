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
// the calling thread (`on` false) or gives it back, so a node without
// permissions refuses.
void overrideFilePermissions(bool on)
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    syscall(SYS_capget, &header, data);
    const uint32_t mask = 1U << CAP_DAC_OVERRIDE | 1U << CAP_DAC_READ_SEARCH;
    data[0].effective =
        on ? data[0].effective | (data[0].permitted & mask) : data[0].effective & ~mask;
    syscall(SYS_capset, &header, data);
}

// The program on the USB: the board, the adapter and the main window, torn
// down in the reverse order so libusb lets go before the testbed goes.
struct Bench {
    explicit Bench(std::optional<UsbId> loader = kLoader)
        : board(kLoader, kRunning, kShippedFirmware),
          usb(kRunning, loader, {.rescanMs = 100}, &messages) // back sooner after an unplug
    {
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

enum class Plug { None, Blank, Running, BlankRefusing, RunningRefusing };

void plug(EmulatedBoard &board, Plug how)
{
    if (how != Plug::None)
        board.plug(how == Plug::Running || how == Plug::RunningRefusing,
                   how != Plug::BlankRefusing && how != Plug::RunningRefusing);
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
    void initTestCase()
    {
        EmulatedBoard probe(kLoader, kRunning, kShippedFirmware);
        if (!EmulatedBoard::inMockEnvironment())
            QSKIP("needs LD_PRELOAD=libumockdev-preload.so.0 (CTest sets it)");
    }

    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(QApplication::topLevelWidgets().isEmpty());
    }

    // Start-up on the USB: a blank board gets the image, in chunks the loader
    // takes, with the CPU held in reset meanwhile; a running board keeps its
    // firmware; the window then polls through libusb. A start that fails shows
    // the firmware message and writes the reason on stderr.
    void startsOnTheBoard_data()
    {
        QTest::addColumn<Plug>("plugged");
        QTest::addColumn<std::optional<UsbId>>("loader");
        QTest::addColumn<QByteArray>("firmware"); // empty: the shipped image
        QTest::addColumn<QString>("reason");      // empty: the start succeeds
        const std::optional<UsbId> loader = kLoader;
        // 5000 bytes in one run and a second run: chunks of 4096 and the rest.
        QByteArray big;
        for (int at = 0; at < 5000; at += 200) {
            QByteArray data(200, '\0');
            for (int i = 0; i < 200; ++i)
                data[i] = char((at + i) * 7);
            big += hexRecord(0, uint16_t(0x1000 + at), data);
        }
        big += hexRecord(0, 0xFFF0, QByteArray(16, 'z')) + hexRecord(1, 0, {});
        QTest::newRow("blank board gets the image") << Plug::Blank << loader << QByteArray() << "";
        QTest::newRow("image over several chunks up to the top of RAM")
            << Plug::Blank << loader << big << "";
        QTest::newRow("running board gets no download")
            << Plug::Running << loader << QByteArray() << "";
        QTest::newRow("no board") << Plug::None << loader << QByteArray()
                                  << "no board 0041:5354 or blank board 0041:8051 on the USB";
        QTest::newRow("blank board without a loader identity")
            << Plug::Blank << std::optional<UsbId>() << QByteArray()
            << "no board 0041:5354 on the USB";
        QTest::newRow("running board may not be opened")
            << Plug::RunningRefusing << loader << QByteArray()
            << "ATTR{idVendor}==\"0041\", ATTR{idProduct}==\"5354\", TAG+=\"uaccess\"";
        QTest::newRow("blank board may not be opened")
            << Plug::BlankRefusing << loader << QByteArray()
            << "ATTR{idVendor}==\"0041\", ATTR{idProduct}==\"8051\", TAG+=\"uaccess\"";
        QTest::newRow("bad firmware file")
            << Plug::Blank << loader << QByteArray(":00000001FE\n") << "refused";
        QTest::newRow("image beyond 64 KiB") << Plug::Blank << loader
                                             << hexRecord(4, 0, QByteArray::fromHex("0001")) +
                                                    hexRecord(0, 0, "x") + hexRecord(1, 0, {})
                                             << "reaches past the 64 KiB";
    }

    void startsOnTheBoard()
    {
        QFETCH(Plug, plugged);
        QFETCH(std::optional<UsbId>, loader);
        QFETCH(QByteArray, firmware);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString folder = QStringLiteral(QZT_SOURCE_DIR "/sst");
        if (!firmware.isEmpty()) {
            QFile file(dir.filePath("SSTFW.hex"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(firmware) > 0);
            folder = dir.path();
        } else {
            QFile shipped(QString::fromStdString(kShippedFirmware));
            QVERIFY(shipped.open(QIODevice::ReadOnly));
            firmware = shipped.readAll();
        }
        Bench b(loader);
        plug(b.board, plugged);
        if (!reason.isEmpty()) {
            overrideFilePermissions(false);
            const bool started = b.start(folder);
            overrideFilePermissions(true);
            QVERIFY(!started);
            QCOMPARE(b.dialogs.criticals, QStringList{kFirmwareMessage});
            QVERIFY2(QString::fromStdString(b.messages.str()).contains(reason),
                     b.messages.str().c_str());
            QCOMPARE(b.board.record().downloads, 0);
            return;
        }
        QVERIFY(b.start(folder));
        const auto record = b.board.record();
        const int downloads = plugged == Plug::Blank;
        QCOMPARE(record.downloads, downloads);
        QCOMPARE(record.cpuWrites,
                 (downloads ? std::vector<uint8_t>{1, 0} : std::vector<uint8_t>{}));
        // Every byte of the image written exactly once, in chunks of at most 4 KiB.
        std::vector<IntelHexSegment> written;
        std::size_t total = 0;
        for (const LoaderWrite &w : record.ramWrites) {
            QVERIFY(w.bytes.size() <= 4096);
            written.push_back({w.address, w.bytes});
            total += w.bytes.size();
        }
        if (downloads) {
            QCOMPARE(bytesOf(written), bytesOf(parseIntelHex(firmware)->segments));
            QCOMPARE(total, parseIntelHex(firmware)->byteCount());
        }
        QCOMPARE(b.state.Declarations.Address04, int16_t(0x48));
        QCOMPARE(b.state.Declarations.Address05, int16_t(0x4A));
        QVERIFY(b.window->frmTempGraph04());
        QVERIFY(b.dialogs.criticals.isEmpty());
        QCOMPARE(QString::fromStdString(b.usb.describe()),
                 QStringLiteral("USB adapter 0041:5354 on bus 1, device %1").arg(2 + downloads));

        b.board.withBus([](SimulatedAdapter &bus) { bus.setTemperatures(0x48, 21.5, 33.25); });
        b.window->Timer1_Timer();
        b.window->Timer1_Timer();
        // One temperature read per tick, two transfers each.
        QCOMPARE(b.board.record().sstTransfers - record.sstTransfers, 4);
        QCOMPARE(b.state.SSTStuff.IntTemp, 21.5f);
        QCOMPARE(b.state.SSTStuff.ExtTemp, 33.25f);
    }

    void unpluggedBoardKeepsTicksFastAndComesBack_data()
    {
        QTest::addColumn<Plug>("replugged");
        QTest::addColumn<int>("downloads");
        QTest::newRow("back blank: downloaded again") << Plug::Blank << 2;
        QTest::newRow("back running: kept") << Plug::Running << 1;
    }

    void unpluggedBoardKeepsTicksFastAndComesBack()
    {
        QFETCH(Plug, replugged);
        QFETCH(int, downloads);
        Bench b;
        b.board.plug(false);
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
        QCOMPARE(b.board.record().downloads, downloads);
        QCOMPARE(b.state.SSTStuff.IntTemp, -12.5f);
        QCOMPARE(b.state.SSTStuff.Volts[1], 4.75f);
    }

    // Arguments a control transfer cannot carry send nothing. A stalled IN gives
    // up after the time-out, and the board answers again once it is well.
    void badArgumentsAndStalledRequests()
    {
        Bench b;
        b.board.plug(true);
        QCOMPARE(b.usb.LoadFirmWare(kShippedFirmware.c_str()), int16_t(0));
        std::vector<uint8_t> bytes(4200, 0x48);
        // value, index, length, whether there is a buffer
        const std::tuple<int, int, int, bool> bad[] = {{0, 0, -1, true}, {0, 0, 4097, true},
                                                       {0, 0, 7, false}, {0x10000, 0, 7, true},
                                                       {-1, 0, 7, true}, {0, 0x10000, 7, true}};
        for (const auto &[value, index, length, buffer] : bad)
            QCOMPARE(b.usb.VendorIORequest(0xDA, value, index, 0, int16_t(length),
                                           buffer ? bytes.data() : nullptr),
                     LibusbAdapter::kBadArguments);
        QCOMPARE(b.board.record().sstTransfers, 0);

        uint8_t *buffer = bytes.data();
        buffer[1] = 1, buffer[2] = 4, buffer[3] = 0x00;
        QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 0, 7, buffer), int16_t(7));
        b.board.setStallIn(true);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 1, 64, buffer), LibusbAdapter::kTransferFailed);
        QVERIFY2(clock.elapsed() >= 950 && clock.elapsed() <= 2500,
                 QByteArray::number(clock.elapsed()));
        b.board.setStallIn(false);
        QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 0, 7, buffer), int16_t(7));
        QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 1, 64, buffer), int16_t(64));
    }

    void badAdapterTextsAreRefused_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *text :
             {"", "Simulated", "usb", "usb:", "usb:0041", "usb:0041:", "usb:00411:5354",
              "usb:0041:53g4", "usb:0041:5354:1", "usb:0041:5354,",
              "usb:0041:5354,loader=", "usb:0041:5354,boot=1:2",
              "usb:0041:5354,loader=1:2,loader=3:4", "usb:-41:5354", " usb:0041:5354"})
            QTest::newRow(*text ? text : "(empty)") << QString::fromLatin1(text);
    }

    void badAdapterTextsAreRefused()
    {
        QFETCH(QString, text);
        QString error;
        QVERIFY(!parseAdapterOption(text, &error));
        QVERIFY(!error.isEmpty());
    }
};

QTEST_MAIN(TestUsbAdapter)
#include "test_usbadapter.moc"
