// Firmware download: the path handed to the adapter, and the file judged.
#include "sst/SimulatedAdapter.h"
#include "sst/USBStuff.h"
#include "support/FakeAdapter.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace qzt;
using qzt::test::FakeAdapter;

class TestUSBStuff : public QObject {
    Q_OBJECT
private slots:
    // The bytes that open the file, with the terminator, fit 512 bytes.
    void path_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("why");           // the warning's reason; empty if passed
        const QString e = QStringLiteral("\u00E9"); // two bytes in UTF-8
        QTest::newRow("511 bytes, 510 characters") << "/" + e + QString(498, 'd') << QString();
        QTest::newRow("512 bytes, 511 characters") << "/" + e + QString(499, 'd') << "takes 512";
        QTest::newRow("not Latin-1") << QStringLiteral("/opt/\u6E29\u5EA6") << QString();
        QTest::newRow("NUL inside") << QString::fromUtf16(u"/opt/a\0b", 8) << "NUL";
    }
    void path()
    {
        QFETCH(QString, folder);
        QFETCH(QString, why);
        DeviceState state;
        state.USBStuff.PathBytes.fill(0x77);
        FakeAdapter usb;
        const QByteArray bytes = QFile::encodeName(folder + QDir::separator() + "SSTFW.hex");
        if (!why.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("firmware path .*: .*" + why));
        const int16_t result = DownloadFirmware(state, usb, folder);
        QCOMPARE(QByteArray::fromStdString(usb.firmwarePath), why.isEmpty() ? bytes : "");
        QCOMPARE(result < 0, !why.isEmpty());
        if (why.isEmpty())
            QCOMPARE(state.USBStuff.PathBytes[std::size_t(bytes.size())], uint8_t(0));
    }

    void firmwareFiles_data()
    {
        QTest::addColumn<QString>("folder"); // inside a fresh temporary folder
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("accepted");
        const QByteArray good = ":0400000002000300F7\r\n:00000001FF\r\n";
        QTest::newRow("accented folder")
            << QStringLiteral("T\u00E9l\u00E9chargements/qzt") << good << true;
        QTest::newRow("not Intel HEX") << "qzt" << QByteArray(":0400000002000300F6\r\n") << false;
    }
    void firmwareFiles()
    {
        QFETCH(QString, folder);
        QFETCH(QByteArray, content);
        QFETCH(bool, accepted);
        QTemporaryDir dir;
        const QString program = dir.filePath(folder);
        QVERIFY(QDir().mkpath(program));
        QFile f(program + QStringLiteral("/SSTFW.hex"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(content) > 0 && f.flush());
        DeviceState state;
        SimulatedAdapter usb;
        usb.addChip(0x48, 0x6604);
        QCOMPARE(DownloadFirmware(state, usb, program) >= 0, accepted);
        QCOMPARE(SSTTransaction(state, usb) >= 0, accepted);
    }
};

QTEST_GUILESS_MAIN(TestUSBStuff)
#include "test_usbstuff.moc"
