// Tests of the Intel HEX reader: accepted and refused files and addressing.
// (Every whole-program test loads the shipped firmware image through it.)
#include "sst/IntelHex.h"

#include <QTest>

using namespace qzt;

// 4 bytes at 0x0100, then 2 bytes at 0x0104 continuing them; 0x11 at 0x0100.
const QByteArray kEof = ":00000001FF", kData1 = ":0401000001020304F1", kData2 = ":020104000506EE",
                 kOneByte = ":0101000011ED";

namespace {

// The image as "ADDRESS:BYTES" per segment, then "start=ADDRESS" if given.
QByteArray describe(const IntelHexImage &image)
{
    QByteArrayList out;
    for (const IntelHexSegment &s : image.segments)
        out << QByteArray::number(s.address, 16) + ':' +
                   QByteArray::fromRawData(reinterpret_cast<const char *>(s.bytes.data()),
                                           qsizetype(s.bytes.size()))
                       .toHex();
    if (image.startAddress)
        out << "start=" + QByteArray::number(*image.startAddress, 16);
    return out.join(' ');
}

} // namespace

class TestIntelHex : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("image"); // as describe() gives it; "-": refused
        // clang-format off
        const QList<std::tuple<const char *, QList<QByteArray>, QByteArray>> rows{
            {"continuing record merged", {kData1, kData2, kEof}, "100:010203040506"},
            {"gap starts a segment", {kData1, ":020200000506F1", kEof}, "100:01020304 200:0506"},
            {"overlap kept as written", {kData1, kOneByte, kEof}, "100:01020304 100:11"},
            {"blank lines", {"", kData1, " \t", kEof, ""}, "100:01020304"},
            {"linear address", {":020000040001F9", kOneByte, kEof}, "10100:11"},
            {"segment address", {":020000021000EC", kOneByte, kEof}, "10100:11"},
            {"start CS:IP", {":0400000312345678E5", kEof}, "start=12345678"},
            {"last start address wins", {":0400000312345678E5", ":0400000500001234B1", kEof}, "start=1234"},
            {"empty input", {}, "-"}, {"missing EOF", {kData1, kData2}, "-"},
            {"data after EOF", {kData1, kEof, kData2}, "-"}, {"two EOF", {kEof, kEof}, "-"},
            {"truncated", {":04010000010203", kEof}, "-"}, {"odd digits", {":0401000001020304F1F", kEof}, "-"},
            {"non-hex", {":04010000010G0304F1", kEof}, "-"}, {"count mismatch", {":0501000001020304F0", kEof}, "-"},
            {"unknown type", {":00000006FA", kEof}, "-"}, {"no colon", {"0401000001020304F1", kEof}, "-"},
            {"EOF with data", {":0100000100FE"}, "-"}, {"bad checksum", {":0401000001020304F2", kEof}, "-"}};
        // clang-format on
        for (const auto &[name, records, image] : rows) {
            QTest::addRow("%s LF", name) << records.join('\n') + '\n' << image;
            QTest::addRow("%s CRLF", name) << records.join("\r\n") << image;
            QTest::addRow("%s CR", name)
                << records.join('\r') + '\r' << (records.size() > 1 ? "-" : image);
        }
    }
    void parse()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, image);
        QString error;
        const std::optional<IntelHexImage> got = parseIntelHex(text, &error);
        QCOMPARE(got ? describe(*got) : "-", image);
        QCOMPARE(error.isEmpty(), bool(got));
    }
};

QTEST_GUILESS_MAIN(TestIntelHex)
#include "test_intelhex.moc"
