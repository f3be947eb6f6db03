// Firmware download: the path handed to the adapter library and how the
// simulated adapter judges the firmware file.
#include "sst/SimulatedAdapter.h"
#include "sst/USBStuff.h"
#include "support/FakeAdapter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using qzt::test::FakeAdapter;

class TestUSBStuff : public QObject {
    Q_OBJECT
private slots:
    void pathLengthLimit_data();
    void pathLengthLimit();
    void charactersWithoutSingleByteCodeAreRefused();
    void folderWithTrailingSeparatorGivesDoubleSeparator();
    void firmwareFiles_data();
    void firmwareFiles();
    void transactionsFailBeforeFirmware();
};

void TestUSBStuff::pathLengthLimit_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("510") << 510 << true;
    QTest::newRow("511 fits with its terminator") << 511 << true;
    QTest::newRow("512 is refused") << 512 << false;
    QTest::newRow("4000 is refused") << 4000 << false;
}

void TestUSBStuff::pathLengthLimit()
{
    QFETCH(int, length);
    QFETCH(bool, accepted);
    // The folder plus the separator and "SSTFW.hex" (10 characters).
    const QString folder = QStringLiteral("/") + QString(length - 11, QLatin1Char('d'));
    DeviceState state;
    state.USBStuff.PathBytes.fill(0x77);
    FakeAdapter usb;
    const int16_t result = DownloadFirmware(state, usb, folder);
    QCOMPARE(state.USBStuff.FirmwarePath.size(), qsizetype(length));
    if (accepted) {
        QCOMPARE(result, int16_t(0));
        QCOMPARE(usb.firmwarePath, state.USBStuff.FirmwarePath.toStdString());
        QCOMPARE(int(state.USBStuff.PathBytes[std::size_t(length)]), 0);
        if (length < 511) // bytes after the terminator keep what they held
            QCOMPARE(int(state.USBStuff.PathBytes[std::size_t(length) + 1]), 0x77);
    } else {
        QVERIFY(result < 0);
        QVERIFY(usb.firmwarePath.empty()); // the library was never called
    }
}

void TestUSBStuff::charactersWithoutSingleByteCodeAreRefused()
{
    DeviceState state;
    FakeAdapter usb;
    QVERIFY(DownloadFirmware(state, usb, QStringLiteral("/opt/\u6E29\u5EA6")) < 0);
    QVERIFY(usb.firmwarePath.empty());
    QVERIFY(DownloadFirmware(state, usb, QString::fromUtf16(u"/opt/a\0b", 8)) < 0);
}

void TestUSBStuff::folderWithTrailingSeparatorGivesDoubleSeparator()
{
    DeviceState state;
    FakeAdapter usb;
    DownloadFirmware(state, usb, QStringLiteral("/"));
    const QString expected = QStringLiteral("/") + QDir::separator() + QStringLiteral("SSTFW.hex");
    QCOMPARE(state.USBStuff.FirmwarePath, expected);
    QCOMPARE(QString::fromStdString(usb.firmwarePath), expected);
}

void TestUSBStuff::firmwareFiles_data()
{
    QTest::addColumn<QByteArray>("content"); // empty: no file at all
    QTest::addColumn<bool>("accepted");
    const QByteArray good = ":0400000002000300F7\r\n:00000001FF\r\n";
    QTest::newRow("good") << good << true;
    QTest::newRow("missing file") << QByteArray() << false;
    QTest::newRow("corrupt checksum")
        << QByteArray(":0400000002000300F6\r\n:00000001FF\r\n") << false;
    QTest::newRow("truncated record") << QByteArray(":04000000020003\r\n:00000001FF\r\n") << false;
    QTest::newRow("no end record") << QByteArray(":0400000002000300F7\r\n") << false;
}

void TestUSBStuff::firmwareFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, accepted);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    if (!content.isEmpty()) {
        QFile f(dir.filePath(QStringLiteral("SSTFW.hex")));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    DeviceState state;
    SimulatedAdapter usb;
    QCOMPARE(DownloadFirmware(state, usb, dir.path()) >= 0, accepted);
}

void TestUSBStuff::transactionsFailBeforeFirmware()
{
    DeviceState state;
    SimulatedAdapter usb;
    usb.addChip(0x48, 0x6604);
    state.USBStuff.SSTBuffer.fill(0x5A);
    const auto before = state.USBStuff.SSTBuffer;
    QVERIFY(SSTTransaction(state, usb) < 0);
    QCOMPARE(state.USBStuff.SSTBuffer, before);
}

QTEST_GUILESS_MAIN(TestUSBStuff)
#include "test_usbstuff.moc"
