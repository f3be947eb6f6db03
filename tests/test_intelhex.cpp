// Tests of the Intel HEX reader: accepted and refused files, addressing and
// the shipped firmware image.
#include "sst/IntelHex.h"

#include <QFile>
#include <QTest>

#include <cctype>

#ifndef QZT_SOURCE_DIR
#define QZT_SOURCE_DIR "."
#endif

using namespace qzt;

namespace {

const QByteArray kEof = ":00000001FF";
// 4 bytes at 0x0100, then 2 bytes at 0x0104 continuing them.
const QByteArray kData1 = ":0401000001020304F1";
const QByteArray kData2 = ":020104000506EE";
const QByteArray kOneByte = ":0101000011ED"; // 0x11 at 0x0100

QByteArray lines(const QList<QByteArray> &records, const QByteArray &end = "\n")
{
    QByteArray text;
    for (const QByteArray &record : records)
        text += record + end;
    return text;
}

} // namespace

class TestIntelHex : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void shippedFirmware();
};

void TestIntelHex::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<quint32>("address"); // of the first segment
    QTest::addColumn<int>("bytes");

    QTest::newRow("multi-record LF") << lines({kData1, kData2, kEof}) << true << 0x100u << 6;
    QTest::newRow("multi-record CRLF")
        << lines({kData1, kData2, kEof}, "\r\n") << true << 0x100u << 6;
    QTest::newRow("blank lines, no final newline")
        << QByteArray("\n" + kData1 + "\n\r\n  \n" + kEof) << true << 0x100u << 4;
    QTest::newRow("blank lines after EOF")
        << lines({kData1, kEof, "", " \t"}, "\r\n") << true << 0x100u << 4;
    QTest::newRow("linear address")
        << lines({":020000040001F9", kOneByte, kEof}) << true << 0x10100u << 1;
    QTest::newRow("segment address")
        << lines({":020000021000EC", kOneByte, kEof}) << true << 0x10100u << 1;
    QTest::newRow("start address records")
        << lines({":0400000300001234B3", ":0400000500001234B1", kEof}) << true << 0u << 0;

    QTest::newRow("empty input") << QByteArray() << false << 0u << 0;
    QTest::newRow("missing EOF") << lines({kData1, kData2}) << false << 0u << 0;
    QTest::newRow("data after EOF") << lines({kData1, kEof, kData2}) << false << 0u << 0;
    QTest::newRow("two EOF records") << lines({kData1, kEof, kEof}) << false << 0u << 0;
    QTest::newRow("bad checksum") << lines({":0401000001020304F2", kEof}) << false << 0u << 0;
    QTest::newRow("truncated record") << lines({":04010000010203", kEof}) << false << 0u << 0;
    QTest::newRow("odd hex digit count")
        << lines({":0401000001020304F1F", kEof}) << false << 0u << 0;
    QTest::newRow("non-hex character") << lines({":04010000010G0304F1", kEof}) << false << 0u << 0;
    QTest::newRow("byte count mismatch")
        << lines({":0501000001020304F0", kEof}) << false << 0u << 0;
    QTest::newRow("unknown record type") << lines({":00000006FA", kEof}) << false << 0u << 0;
    QTest::newRow("missing colon") << lines({"0401000001020304F1", kEof}) << false << 0u << 0;
    QTest::newRow("EOF with data") << lines({":0100000100FE"}) << false << 0u << 0;
    QTest::newRow("bare CR line ends")
        << QByteArray(kData1 + "\r" + kEof + "\r") << false << 0u << 0;
}

void TestIntelHex::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(quint32, address);
    QFETCH(int, bytes);

    QString error;
    const std::optional<IntelHexImage> image = parseIntelHex(text, &error);
    QCOMPARE(image.has_value(), valid);
    if (!valid) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(image->byteCount(), std::size_t(bytes));
    if (bytes > 0)
        QCOMPARE(image->segments.front().address, address);
}

// The shipped image parses; and since one changed digit alters one byte,
// which the checksum or the byte count always catches, every such change is
// refused.
void TestIntelHex::shippedFirmware()
{
    QFile file(QStringLiteral(QZT_SOURCE_DIR "/sst/SSTFW.hex"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray good = file.readAll();
    QString error;
    const std::optional<IntelHexImage> image = parseIntelHex(good, &error);
    QVERIFY2(image, qPrintable(error));
    QVERIFY(image->byteCount() > 0);

    for (qsizetype i = 0; i < good.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(good[i])))
            continue;
        QByteArray bad = good;
        bad[i] = good[i] == '0' ? '1' : '0';
        QVERIFY2(!parseIntelHex(bad), qPrintable(QStringLiteral("offset %1").arg(i)));
    }
}

QTEST_GUILESS_MAIN(TestIntelHex)
#include "test_intelhex.moc"
