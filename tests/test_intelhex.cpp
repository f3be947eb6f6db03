// Tests of the Intel HEX reader: accepted and refused files, addressing, the
// shipped firmware image and robustness against damaged input.
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
    void extendedAddresses_data();
    void extendedAddresses();
    void shippedFirmware();
    void everyDigitChangeInShippedFirmwareIsRefused();
    void arbitraryBytesDoNotCrash();
};

void TestIntelHex::parse_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("bytes");

    QTest::newRow("multi-record LF") << lines({kData1, kData2, kEof}) << true << 6;
    QTest::newRow("multi-record CRLF") << lines({kData1, kData2, kEof}, "\r\n") << true << 6;
    QTest::newRow("lower-case digits") << lines({":0401000001020304f1", kEof}) << true << 4;
    QTest::newRow("no final newline") << QByteArray(kData1 + "\n" + kEof) << true << 4;
    QTest::newRow("blank lines around")
        << QByteArray("\n" + kData1 + "\n\n" + kEof + "\n\r\n  \n") << true << 4;
    QTest::newRow("only EOF") << kEof << true << 0;
    QTest::newRow("start address records")
        << lines({":0400000300001234B3", ":0400000500001234B1", kEof}) << true << 0;

    QTest::newRow("empty input") << QByteArray() << false << 0;
    QTest::newRow("only blank lines") << QByteArray("\n\r\n") << false << 0;
    QTest::newRow("missing EOF") << lines({kData1, kData2}) << false << 0;
    QTest::newRow("data after EOF") << lines({kData1, kEof, kData2}) << false << 0;
    QTest::newRow("two EOF records") << lines({kData1, kEof, kEof}) << false << 0;
    QTest::newRow("bad checksum") << lines({":0401000001020304F2", kEof}) << false << 0;
    QTest::newRow("truncated record") << lines({":04010000010203", kEof}) << false << 0;
    QTest::newRow("too short for a record") << lines({":00000001", kEof}) << false << 0;
    QTest::newRow("odd hex digit count") << lines({":0401000001020304F1F", kEof}) << false << 0;
    QTest::newRow("non-hex character") << lines({":04010000010G0304F1", kEof}) << false << 0;
    QTest::newRow("byte count too big") << lines({":0501000001020304F0", kEof}) << false << 0;
    QTest::newRow("byte count too small") << lines({":0301000001020304F2", kEof}) << false << 0;
    QTest::newRow("unknown record type") << lines({":00000006FA", kEof}) << false << 0;
    QTest::newRow("missing colon") << lines({"0401000001020304F1", kEof}) << false << 0;
    QTest::newRow("EOF with data") << lines({":0100000100FE"}) << false << 0;
    QTest::newRow("extended address wrong size") << lines({":0100000400FB", kEof}) << false << 0;
    QTest::newRow("space inside record") << lines({":04010000 01020304F1", kEof}) << false << 0;
    QTest::newRow("NUL byte") << QByteArray(":00000001FF\0", 12) << false << 0;
    QTest::newRow("bare CR line ends") << QByteArray(kData1 + "\r" + kEof + "\r") << false << 0;
}

void TestIntelHex::parse()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);
    QFETCH(int, bytes);

    QString error;
    const std::optional<IntelHexImage> image = parseIntelHex(text, &error);
    QCOMPARE(image.has_value(), valid);
    if (!valid) {
        QVERIFY(!error.isEmpty());
        return;
    }
    QCOMPARE(image->byteCount(), std::size_t(bytes));
}

void TestIntelHex::extendedAddresses_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<quint32>("address");

    QTest::newRow("plain") << lines({":0101000011ED", kEof}) << quint32(0x0100);
    QTest::newRow("linear 0x0001")
        << lines({":020000040001F9", ":0101000011ED", kEof}) << quint32(0x00010100);
    QTest::newRow("segment 0x1000")
        << lines({":020000021000EC", ":0101000011ED", kEof}) << quint32(0x00010100);
    QTest::newRow("linear then back to 0")
        << lines({":020000040001F9", ":020000040000FA", ":0101000011ED", kEof}) << quint32(0x0100);
}

void TestIntelHex::extendedAddresses()
{
    QFETCH(QByteArray, text);
    QFETCH(quint32, address);

    const std::optional<IntelHexImage> image = parseIntelHex(text);
    QVERIFY(image);
    QCOMPARE(image->segments.size(), std::size_t(1));
    QCOMPARE(image->segments[0].address, address);
    QCOMPARE(image->segments[0].bytes, std::vector<uint8_t>{0x11});
}

void TestIntelHex::shippedFirmware()
{
    QFile file(QStringLiteral(QZT_SOURCE_DIR "/sst/SSTFW.hex"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QString error;
    const std::optional<IntelHexImage> image = parseIntelHex(file.readAll(), &error);
    QVERIFY2(image, qPrintable(error));
    QVERIFY(image->byteCount() > 0);
    QCOMPARE(image->segments.front().address, 0u);
}

// A single changed digit alters one byte, which the checksum or the byte count
// always catches; so every such change must be refused.
void TestIntelHex::everyDigitChangeInShippedFirmwareIsRefused()
{
    QFile file(QStringLiteral(QZT_SOURCE_DIR "/sst/SSTFW.hex"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    QVERIFY(parseIntelHex(good));

    int changes = 0;
    for (qsizetype i = 0; i < good.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(good[i])))
            continue;
        QByteArray bad = good;
        bad[i] = good[i] == '0' ? '1' : '0';
        QVERIFY2(!parseIntelHex(bad), qPrintable(QStringLiteral("offset %1").arg(i)));
        ++changes;
    }
    QVERIFY(changes > 0);
}

// Must never read out of bounds or misbehave, whatever the bytes; run under
// the sanitizers this is a small fixed fuzz pass.
void TestIntelHex::arbitraryBytesDoNotCrash()
{
    const QByteArray alphabet = ":0123456789ABCDEFabcdefG \r\n\xff";
    uint32_t state = 12345;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int round = 0; round < 2000; ++round) {
        QByteArray text;
        const uint32_t length = next() % 600;
        for (uint32_t i = 0; i < length; ++i)
            text += alphabet[qsizetype(next() % uint32_t(alphabet.size()))];
        if (round % 2 == 0)
            text = ':' + text;
        QString error;
        if (!parseIntelHex(text, &error))
            QVERIFY(!error.isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestIntelHex)
#include "test_intelhex.moc"
