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
    // The path is the folder, a separator and "SSTFW.hex"; with its
    // terminator it must fit the 512 path bytes.
    void path_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("path"); // handed to the library; empty if refused
        const QString file = QDir::separator() + QStringLiteral("SSTFW.hex");
        const QString fits = "/" + QString(500, 'd'), tooLong = "/" + QString(501, 'd');
        QTest::newRow("511 fits") << fits << fits + file;
        QTest::newRow("512 refused") << tooLong << QString();
        QTest::newRow("double separator") << "/"
                                          << "/" + file;
        QTest::newRow("no single-byte code") << QStringLiteral("/opt/\u6E29\u5EA6") << QString();
        QTest::newRow("NUL inside") << QString::fromUtf16(u"/opt/a\0b", 8) << QString();
    }
    void path()
    {
        QFETCH(QString, folder);
        QFETCH(QString, path);
        DeviceState state;
        state.USBStuff.PathBytes.fill(0x77);
        FakeAdapter usb;
        const int16_t result = DownloadFirmware(state, usb, folder);
        QCOMPARE(QString::fromStdString(usb.firmwarePath), path);
        QCOMPARE(result < 0, path.isEmpty());
        if (!path.isEmpty())
            QCOMPARE(state.USBStuff.PathBytes[std::size_t(path.size())], uint8_t(0));
    }

    void firmwareFiles_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: no file at all
        QTest::addColumn<bool>("accepted");
        QTest::newRow("good") << QByteArray(":0400000002000300F7\r\n:00000001FF\r\n") << true;
        QTest::newRow("missing file") << QByteArray() << false;
        QTest::newRow("bad checksum")
            << QByteArray(":0400000002000300F6\r\n:00000001FF\r\n") << false;
        QTest::newRow("no end record") << QByteArray(":0400000002000300F7\r\n") << false;
    }
    void firmwareFiles()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        QFile f(dir.filePath(QStringLiteral("SSTFW.hex")));
        QVERIFY(content.isEmpty() || (f.open(QIODevice::WriteOnly) && f.write(content) > 0));
        f.close();
        DeviceState state;
        SimulatedAdapter usb;
        usb.addChip(0x48, 0x6604);
        QCOMPARE(DownloadFirmware(state, usb, dir.path()) >= 0, accepted);
        QCOMPARE(SSTTransaction(state, usb) >= 0, accepted);
    }
};

QTEST_GUILESS_MAIN(TestUSBStuff)
#include "test_usbstuff.moc"
