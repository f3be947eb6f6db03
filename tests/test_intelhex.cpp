// Tests of the Intel HEX reader: accepted and refused files and addressing.
// (Every whole-program test loads the shipped firmware image through it.)
#include "sst/IntelHex.h"

#include <QTest>

using namespace qzt;

// 4 bytes at 0x0100, then 2 bytes at 0x0104 continuing them; 0x11 at 0x0100.
const QByteArray kEof = ":00000001FF", kData1 = ":0401000001020304F1", kData2 = ":020104000506EE",
                 kOneByte = ":0101000011ED";

class TestIntelHex : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("bytes");       // -1: refused
        QTest::addColumn<quint32>("address"); // of the first segment
        // clang-format off
        const QList<std::tuple<const char *, QList<QByteArray>, int, quint32>> rows{
            {"multi-record", {kData1, kData2, kEof}, 6, 0x100},
            {"blank lines", {"", kData1, " \t", kEof, ""}, 4, 0x100},
            {"linear address", {":020000040001F9", kOneByte, kEof}, 1, 0x10100},
            {"segment address", {":020000021000EC", kOneByte, kEof}, 1, 0x10100},
            {"start addresses", {":0400000300001234B3", ":0400000500001234B1", kEof}, 0, 0},
            {"empty input", {}, -1, 0}, {"missing EOF", {kData1, kData2}, -1, 0},
            {"data after EOF", {kData1, kEof, kData2}, -1, 0}, {"two EOF", {kEof, kEof}, -1, 0},
            {"truncated", {":04010000010203", kEof}, -1, 0}, {"odd digits", {":0401000001020304F1F", kEof}, -1, 0},
            {"non-hex", {":04010000010G0304F1", kEof}, -1, 0}, {"count mismatch", {":0501000001020304F0", kEof}, -1, 0},
            {"unknown type", {":00000006FA", kEof}, -1, 0}, {"no colon", {"0401000001020304F1", kEof}, -1, 0},
            {"EOF with data", {":0100000100FE"}, -1, 0}, {"bad checksum", {":0401000001020304F2", kEof}, -1, 0}};
        // clang-format on
        for (const auto &[name, records, bytes, address] : rows) {
            QTest::addRow("%s LF", name) << records.join('\n') + '\n' << bytes << address;
            QTest::addRow("%s CRLF", name) << records.join("\r\n") << bytes << address;
            QTest::addRow("%s CR", name)
                << records.join('\r') + '\r' << (records.size() > 1 ? -1 : bytes) << address;
        }
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, bytes);
        QFETCH(quint32, address);
        QString error;
        const std::optional<IntelHexImage> image = parseIntelHex(text, &error);
        QCOMPARE(image ? int(image->byteCount()) : -1, bytes);
        QCOMPARE(error.isEmpty(), bool(image));
        QVERIFY(bytes <= 0 || image->segments.front().address == address);
    }
};

QTEST_GUILESS_MAIN(TestIntelHex)
#include "test_intelhex.moc"
