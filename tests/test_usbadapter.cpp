// The libusb adapter against a board emulated with umockdev (preloaded).
#include "app/MainWindow.h"
#include "sst/IntelHex.h"
#include "sst/USBStuff.h"
#include "support/EmulatedBoard.h"
#include "support/Harness.h"

#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <sstream>

using namespace qzt;
using namespace qzt::test;

namespace {

constexpr UsbId kLoader{0x0041, 0x8051}, kRunning{0x0041, 0x5354};
const std::string kShippedFirmware = QZT_SOURCE_DIR "/sst/SSTFW.hex";

// Takes root's power to open any file from this thread, or gives it back.
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

struct Bench {
    explicit Bench(LibusbTiming timing = {.rescanMs = 100})
        : board(kLoader, kRunning, kShippedFirmware), usb(kRunning, kLoader, timing, &messages)
    {
        setFirmware(QByteArray::fromStdString(boardImageHex()));
        ctx.appFolder = dir.path();
    }
    void setFirmware(const QByteArray &image)
    {
        QFile file(dir.filePath("SSTFW.hex"));
        if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
            qFatal("cannot write the firmware image");
    }
    bool start()
    {
        window = std::make_unique<MainWindow>(ctx);
        window->timer().stop();
        return window->MDIForm_Load();
    }

    QTemporaryDir dir;
    EmulatedBoard board;
    std::ostringstream messages;
    LibusbAdapter usb;
    DeviceState state;
    FakeDialogs dialogs;
    AppContext ctx{state, usb, dialogs, {}, [] { return QDateTime::currentMSecsSinceEpoch(); }};
    std::unique_ptr<MainWindow> window;
};

enum class Plug { None, Blank, Running, BlankRefusing };

std::map<uint32_t, uint8_t> bytesOf(const std::vector<IntelHexSegment> &segments)
{
    std::map<uint32_t, uint8_t> out;
    for (const auto &s : segments)
        for (std::size_t i = 0; i < s.bytes.size(); ++i)
            out[uint32_t(s.address + i)] = s.bytes[i];
    return out;
}

} // namespace

Q_DECLARE_METATYPE(Plug)

class TestUsbAdapter : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        EmulatedBoard probe(kLoader, kRunning, kShippedFirmware);
        if (!EmulatedBoard::inMockEnvironment())
            QSKIP("needs LD_PRELOAD=libumockdev-preload.so.0 (CTest sets it)");
    }

    void cleanup() { QVERIFY(noWindowsLeft()); }

    void startsOnTheBoard_data()
    {
        QTest::addColumn<Plug>("plugged");
        QTest::addColumn<QByteArray>("firmware"); // empty: the board's own image
        QTest::addColumn<QString>("reason");      // empty: the start succeeds
        std::string big;
        for (int at = 0; at < 5000; at += 200) {
            std::string data(200, '\0');
            for (int i = 0; i < 200; ++i)
                data[std::size_t(i)] = char((at + i) * 7);
            big += hexRecord(0, uint16_t(at), data);
        }
        big += hexRecord(0, 0xFFF0, std::string(16, 'z')) + hexRecord(1, 0, {}); // two runs
        QTest::newRow("blank board gets an image over several chunks up to the top of RAM")
            << Plug::Blank << QByteArray::fromStdString(big) << "";
        QTest::newRow("running board gets no download") << Plug::Running << QByteArray() << "";
        QTest::newRow("no board") << Plug::None << QByteArray()
                                  << "no board 0041:5354 or blank board 0041:8051 on the USB";
        // The rules for both identities: the board comes back as the other.
        QTest::newRow("blank board may not be opened")
            << Plug::BlankRefusing << QByteArray()
            << "ATTR{idVendor}==\"0041\", ATTR{idProduct}==\"5354\", TAG+=\"uaccess\"\n    "
               "SUBSYSTEM==\"usb\", ATTR{idVendor}==\"0041\", ATTR{idProduct}==\"8051\"";
        QTest::newRow("bad firmware file")
            << Plug::Blank << QByteArray(":00000001FE\n") << "refused";
        QTest::newRow("the simulated adapter's stand-in")
            << Plug::Blank << QByteArray("stand-in")
            << "stand-in image, not firmware for the board; start with --firmware";
    }

    void startsOnTheBoard()
    {
        QFETCH(Plug, plugged);
        QFETCH(QByteArray, firmware);
        QFETCH(QString, reason);
        Bench b;
        if (firmware == "stand-in") // named with --firmware, as a user might
            b.ctx.firmwareFile = QString::fromStdString(kShippedFirmware);
        else if (!firmware.isEmpty())
            b.setFirmware(firmware);
        if (plugged != Plug::None)
            b.board.plug(plugged == Plug::Running, plugged != Plug::BlankRefusing);
        if (!reason.isEmpty()) {
            overrideFilePermissions(false);
            const bool started = b.start();
            overrideFilePermissions(true);
            QVERIFY(!started);
            QCOMPARE(b.dialogs.criticals,
                     QStringList{"Firmware failed to download. Please check USB connection."});
            QVERIFY2(QString::fromStdString(b.messages.str()).contains(reason),
                     b.messages.str().c_str());
            // A desktop launch shows no stderr: the box gives the reason and what to do.
            const QString details = b.dialogs.details.value(0);
            QVERIFY2(details.contains(reason, Qt::CaseInsensitive) && details.contains("lsusb") &&
                         details.contains("--firmware"),
                     qPrintable(details));
            QCOMPARE(b.board.record().downloads, 0);
            return;
        }
        QVERIFY(b.start());
        const auto record = b.board.record();
        const int downloads = plugged == Plug::Blank;
        QCOMPARE(record.downloads, downloads);
        QCOMPARE(record.cpuWrites,
                 (downloads ? std::vector<uint8_t>{1, 0} : std::vector<uint8_t>{}));
        std::vector<IntelHexSegment> written;
        std::size_t total = 0;
        for (const LoaderWrite &w : record.ramWrites) {
            QVERIFY(w.bytes.size() <= 4096);
            written.push_back({w.address, w.bytes});
            total += w.bytes.size();
        }
        if (downloads) // every byte once
            QCOMPARE(std::pair(bytesOf(written), total),
                     std::pair(bytesOf(parseIntelHex(firmware)->segments),
                               parseIntelHex(firmware)->byteCount()));
        QCOMPARE(std::pair(b.state.Declarations.Address04, b.state.Declarations.Address05),
                 std::pair(int16_t(0x48), int16_t(0x4A)));
        QVERIFY(b.window->frmTempGraph04() && b.dialogs.criticals.isEmpty());
        QCOMPARE(QString::fromStdString(b.usb.describe()),
                 QStringLiteral("USB adapter 0041:5354 on bus 1, device %1").arg(2 + downloads));
    }

    // Unplugged mid-run, back blank; then arguments a control transfer
    // cannot carry, and a short IN.
    void unpluggedBoardComesBackAndOddRequests()
    {
        Bench b;
        b.board.plug(false);
        QVERIFY(b.start());
        b.board.unplug();
        for (int i = 0; i < 20; ++i)
            b.window->Timer1_Timer();
        QVERIFY(QString::fromStdString(b.messages.str()).contains("unplugged"));
        QCOMPARE(QString::fromStdString(b.usb.describe()), "USB adapter 0041:5354 (unplugged)");
        b.board.plug(false);

        const int transfers = b.board.record().sstTransfers;
        std::vector<uint8_t> bytes(4200, 0x48);
        // value, index, length, buffer
        const std::array<int, 4> bad[] = {
            {0, 0, -1, 1}, {0, 0, 4097, 1}, {0, 0, 7, 0}, {0x10000, 0, 7, 1}, {0, 0x10000, 7, 1}};
        for (const auto &[value, index, length, buffer] : bad)
            QCOMPARE(b.usb.VendorIORequest(0xDA, value, index, 0, int16_t(length),
                                           buffer ? bytes.data() : nullptr),
                     LibusbAdapter::kBadArguments);
        QCOMPARE(b.board.record().sstTransfers, transfers);

        uint8_t *buffer = bytes.data();
        buffer[1] = 1, buffer[2] = 4, buffer[3] = 0x00;
        // Calls fail until the rescan finds the board and gives it its image
        // again, which a loaded machine may take a while to see.
        QTRY_COMPARE_WITH_TIMEOUT(b.usb.VendorIORequest(0xDA, 0, 0, 0, 7, buffer), int16_t(7),
                                  10000);
        // A short answer fails: the rest of the buffer holds stale bytes.
        b.board.setShortIn(10);
        QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 0, 7, buffer), int16_t(7));
        QCOMPARE(b.usb.VendorIORequest(0xDA, 0, 0, 1, 64, buffer), LibusbAdapter::kTransferFailed);
    }

    // The board leaving the bus may end the CPU-release write in a stall or
    // an I/O error: it has taken the release. A release never answered has
    // not, and fails at once rather than after the wait for the board.
    void cpuReleaseEndings_data()
    {
        QTest::addColumn<int>("ending");
        QTest::addColumn<int>("result");
        QTest::newRow("stall (LIBUSB_ERROR_PIPE)") << -EPIPE << 0;
        QTest::newRow("protocol error (LIBUSB_ERROR_IO)") << -EPROTO << 0;
        QTest::newRow("time-out") << EmulatedBoard::kStallOut
                                  << int(LibusbAdapter::kTransferFailed);
    }
    void cpuReleaseEndings()
    {
        QFETCH(int, ending);
        QFETCH(int, result);
        Bench b({.transferMs = 200, .comeBackMs = 2000});
        b.board.plug(false);
        b.board.setReleaseEnding(ending);
        const QByteArray path = QFile::encodeName(b.dir.filePath("SSTFW.hex"));
        QCOMPARE(b.usb.LoadFirmWare(path.constData()), int16_t(result));
        QCOMPARE(b.board.record().downloads, int(result == 0));
    }

    // Every window open and both logs writing, the adapter on its thread, at
    // 2 ms per transfer; then IN transfers stall for a while, and a console
    // command is clicked meanwhile. The chips read the number of the slot
    // they are asked in, so every reading shows which slot it belongs to.
    void ticksKeepTheirSlots_data()
    {
        QTest::addColumn<bool>("stall");
        QTest::addColumn<bool>("closeInStall"); // else writing stops after the stall
        QTest::newRow("2 ms per transfer") << false << false;
        QTest::newRow("2 ms per transfer, IN stalled, console command meanwhile") << true << false;
        QTest::newRow("2 ms per transfer, closed while IN stalls") << true << true;
    }

    void ticksKeepTheirSlots()
    {
        using namespace std::chrono_literals;
        using Clock = std::chrono::steady_clock;
        QFETCH(bool, stall);
        QFETCH(bool, closeInStall);
        Bench b({.rescanMs = 300});
        EmulatedBoard &board = b.board;
        board.plug(true);
        board.setTransferDelay(2ms);
        MainWindow window(b.ctx, AdapterIo::Mode::Threaded);
        QSignalSpy loaded(&window, &MainWindow::loadFinished);
        std::vector<qint64> delivered;
        connect(&window, &MainWindow::slotDelivered, this,
                [&](qint64 number) { delivered.push_back(number); });
        QVERIFY(window.MDIForm_Load());
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 10000);
        QVERIFY(loaded.at(0).at(0).toBool());
        QTRY_VERIFY(!delivered.empty()); // slot 0 has begun

        const Clock::time_point zero = window.slotZero();
        board.setBeforeTransfer([zero](SimulatedAdapter &bus, bool, const uint8_t *) {
            const double slot = double(MainWindow::slotNumber(zero, Clock::now()) % 500);
            bus.setTemperatures(0x48, slot, slot);
            bus.setTemperatures(0x4A, slot, slot);
        });
        window.mTempGraph05_Click();
        window.mVoltGraph05_Click();
        window.mSet04_Click();
        window.mSave04_Click();
        window.mSave05_Click();
        const std::size_t opened = board.record().requests.size();
        // A tick on its way reads for the windows that were open when it
        // set out: the next one reads for all.
        const std::size_t settled = delivered.size() + 2;
        QTRY_VERIFY_WITH_TIMEOUT(delivered.size() >= settled, 5000);
        b.dialogs.nextFile = b.dir.filePath("04.sav");
        window.frmSave04()->cmdSave_Click();
        b.dialogs.nextFile = b.dir.filePath("05.sav");
        window.frmSave05()->cmdSave_Click();
        const std::size_t first = delivered.size();
        const auto waitSlots = [&](std::size_t n) {
            const std::size_t until = delivered.size() + n;
            QTRY_VERIFY_WITH_TIMEOUT(delivered.size() >= until, 20000);
        };
        waitSlots(10);
        const auto requests = board.record().requests;

        int emptyAtLeast = 0;
        if (closeInStall) {
            // Both logs end with whole lines, one for every slot so far.
            // The close comes while a tick waits for its IN transfer's time-out.
            board.setStallIn(true);
            QTest::qWait(400);
            QCOMPARE(window.io().health().failingRun, 0u);
            emptyAtLeast = 5;
            QVERIFY(window.close());
        } else if (stall) {
            board.setStallIn(true);
            QTRY_VERIFY_WITH_TIMEOUT(window.io().health().failingRun > 0, 5000);
            auto *get = window.frmSettings04()->findChild<QPushButton *>("cmdGetAllTemps");
            get->click();
            QVERIFY(!get->isEnabled()); // until its answer is back
            QTRY_VERIFY_WITH_TIMEOUT(get->isEnabled(), 5000);
            QCOMPARE(b.dialogs.criticals,
                     QStringList{"Get All Temps: the adapter did not answer."});
            waitSlots(10);
            board.setStallIn(false);
            emptyAtLeast = 10;
            QTRY_VERIFY_WITH_TIMEOUT(window.io().health().failingRun == 0, 5000);
            waitSlots(5);
        }
        if (!closeInStall) {
            window.frmSave04()->cmdSave_Click();
            window.frmSave05()->cmdSave_Click();
        }
        const std::vector<qint64> numbers(delivered.begin() + qsizetype(first), delivered.end());
        // Every slot up to now has had its line.
        QVERIFY(!numbers.empty());
        QVERIFY(std::abs(MainWindow::slotNumber(zero, Clock::now()) - numbers.back()) <= 1);

        // Each tick's transactions in the poll cycle's order. A tick whose
        // slot ends before its reads do makes no more transfers, so each
        // tick is a beginning of the full order: the record must split into
        // such runs.
        const std::vector<std::pair<uint8_t, uint8_t>> tick{
            {0x48, 0x00}, {0x4A, 0x10}, {0x4A, 0x00}, {0x48, 0x00},
            {0x48, 0xE0}, {0x4A, 0x00}, {0x4A, 0xE0}, {0x4A, 0x10}};
        // (The one tick that may have set out before the windows opened read
        // the first graph alone, which fits too.)
        const std::size_t at = opened;
        QVERIFY(requests.size() > at + tick.size());
        std::vector<bool> splits(requests.size() + 1, false); // from here on it splits
        splits.back() = true;
        for (std::size_t i = requests.size(); i-- > at;)
            for (std::size_t n = 1; n <= tick.size() && i + n <= requests.size(); ++n) {
                if (requests[i + n - 1] != tick[n - 1])
                    break;
                if (splits[i + n] || i + n == requests.size())
                    splits[i] = true;
            }
        QVERIFY(splits[at]);

        // One line per slot, in slot order; a reading only in its own slot.
        for (const char *name : {"04.sav", "05.sav"}) {
            QFile file(b.dir.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QList<QByteArray> lines = file.readAll().split('\n').mid(3, -1);
            QCOMPARE(lines.size() - 1, qsizetype(numbers.size())); // the last is empty
            int empty = 0;
            for (std::size_t i = 0; i < numbers.size(); ++i) {
                QCOMPARE(numbers[i], numbers[0] + qint64(i));
                const QList<QByteArray> fields = lines[qsizetype(i)].split(',');
                if (fields[0].trimmed().isEmpty()) {
                    ++empty;
                    QVERIFY(fields[1].trimmed().isEmpty());
                    continue;
                }
                QCOMPARE(fields[0].trimmed().toInt(), int(numbers[i] % 500));
                QCOMPARE(fields[1].trimmed().toInt(), int(numbers[i] % 500));
            }
            QVERIFY2(empty >= emptyAtLeast, QByteArray::number(empty));
        }
    }

    // A board that runs but does not answer: the first probe waits out its
    // time-out, the other 31 fail without a transfer.
    void silentBoardEndsStartUpAfterOneTimeOut()
    {
        Bench b;
        b.board.plug(true);
        b.board.setStallIn(true);
        QVERIFY(!b.start());
        QCOMPARE(b.dialogs.criticals, QStringList{"No devices found"});
        QCOMPARE(b.board.record().sstTransfers, 2);
        QCOMPARE(b.state.link.failed, 32u);
    }
};

QTEST_MAIN(TestUsbAdapter)
#include "test_usbadapter.moc"
