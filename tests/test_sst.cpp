// The SST layer without a board: the Intel HEX reader, the --adapter option,
// firmware download, the simulated adapter and the SST commands.
// (Every whole-program test loads the shipped firmware image through them.)
#include "common/TextFormat.h"
#include "sst/AdapterOption.h"
#include "sst/IntelHex.h"
#include "sst/SSTStuff.h"
#include "sst/SimulatedAdapter.h"
#include "sst/USBStuff.h"
#include "support/FakeAdapter.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace qzt;
using qzt::test::FakeAdapter;

namespace {

// 4 bytes at 0x0100, then 2 bytes at 0x0104 continuing them; 0x11 at 0x0100.
const QByteArray kEof = ":00000001FF", kData1 = ":0401000001020304F1", kData2 = ":020104000506EE",
                 kOneByte = ":0101000011ED";

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

using Buffer = std::array<uint8_t, kAnswerLength>;
constexpr uint8_t k6604 = 0x48, k6605 = 0x4A;
constexpr const char *kFirmware = QZT_SOURCE_DIR "/sst/SSTFW.hex";

// OUT of bytes 0..6, then IN of 64; all zero if either call fails.
Buffer transact(SimulatedAdapter &bus, uint8_t address, uint8_t writeLength, uint8_t readLength,
                std::vector<uint8_t> bytes = {})
{
    Buffer b{address, writeLength, readLength};
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 4), b.begin() + 3);
    const bool ok = bus.VendorIORequest(0xDA, 0, 0, 0, 7, b.data()) == 7 &&
                    bus.VendorIORequest(0xDA, 0, 0, 1, 64, b.data()) == 64;
    return ok ? b : Buffer{};
}
int word(const Buffer &answer, int at)
{
    return answer[at] | (answer[at + 1] << 8);
}

enum Decoder { Temperature, Voltage, Offset };
using Command = int16_t (*)(DeviceState &, USBFunctions &);

} // namespace

Q_DECLARE_METATYPE(Decoder)
Q_DECLARE_METATYPE(Command)

class TestSst : public QObject {
    Q_OBJECT
private slots:
    void intelHex_data()
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
    void intelHex()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, image);
        QString error;
        const std::optional<IntelHexImage> got = parseIntelHex(text, &error);
        QCOMPARE(got ? describe(*got) : "-", image);
        QCOMPARE(error.isEmpty(), bool(got));
    }

    void adapterOption_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("choice"); // "usb BOARD [LOADER]", "simulated", or "-": refused
        // clang-format off
        const std::pair<const char *, const char *> rows[] = {{"simulated", "simulated"},
            {"usb:0041:5354", "usb 0041:5354"}, {"usb:41:a", "usb 0041:000a"}, {"usb:FfFf:0", "usb ffff:0000"},
            {"usb:0041:5354,loader=04b4:8613", "usb 0041:5354 04b4:8613"},
            {"usb:4B4:F3,loader=4B4:8613", "usb 04b4:00f3 04b4:8613"}, {"", "-"}, {"Simulated", "-"},
            {"usb:", "-"}, {"usb:0041", "-"}, {"usb:00411:5354", "-"}, {"usb:0041:53g4", "-"},
            {"usb:0041:5354:1", "-"}, {"usb:0041:5354,loader=", "-"}, {"usb:0041:5354,boot=1:2", "-"},
            {"usb:1:2,loader=1:2,loader=1:2", "-"}, {"usb:-1:5354", "-"}, {" usb:0041:5354", "-"}};
        // clang-format on
        for (const auto &[text, choice] : rows)
            QTest::newRow(*text ? text : "(empty)") << QString::fromLatin1(text) << choice;
    }
    void adapterOption()
    {
        QFETCH(QString, text);
        QFETCH(QString, choice);
        QString error, got = "-";
        if (const std::optional<AdapterChoice> c = parseAdapterOption(text, &error))
            got = c->kind == AdapterChoice::Kind::Simulated
                      ? "simulated"
                      : "usb " + usbIdText(c->running) +
                            (c->loader ? ' ' + usbIdText(*c->loader) : QString());
        QCOMPARE(got, choice);
        QCOMPARE(error.isEmpty(), got != "-");
        if (!got.startsWith("usb"))
            return;
        // The udev rules name the same identities, as udev writes them.
        QStringList rules{"usb"};
        static const QRegularExpression rule(R"re(^SUBSYSTEM=="usb", ATTR\{idVendor\}=="(.*)", )re"
                                             R"re(ATTR\{idProduct\}=="(.*)", TAG\+="uaccess"$)re");
        for (const QString &line : udevRules(*parseAdapterOption(text)).split('\n'))
            if (const auto m = rule.match(line); m.hasMatch())
                rules << m.captured(1) + ':' + m.captured(2);
        QCOMPARE(rules.join(' '), choice);
    }

    // The bytes that open the file, with the terminator, fit 512 bytes.
    void firmwarePath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("why");           // the warning's reason; empty if passed
        const QString e = QStringLiteral("\u00E9"); // two bytes in UTF-8
        QTest::newRow("511 bytes, 510 characters") << "/" + e + QString(498, 'd') << QString();
        QTest::newRow("512 bytes, 511 characters") << "/" + e + QString(499, 'd') << "takes 512";
        QTest::newRow("not Latin-1") << QStringLiteral("/opt/\u6E29\u5EA6") << QString();
        QTest::newRow("NUL inside") << QString::fromUtf16(u"/opt/a\0b", 8) << "NUL";
    }
    void firmwarePath()
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

    void refusedCallsLeaveTheBuffer_data()
    {
        QTest::addColumn<bool>("firmware");
        QTest::addColumn<QList<int>>("call"); // request, value, direction, length
        QTest::newRow("no firmware") << false << QList<int>{0xDA, 0, 1, 64};
        QTest::newRow("other request") << true << QList<int>{0xDB, 0, 1, 64};
        QTest::newRow("value set") << true << QList<int>{0xDA, 1, 1, 64};
        QTest::newRow("IN of 7") << true << QList<int>{0xDA, 0, 1, 7};
    }
    void refusedCallsLeaveTheBuffer()
    {
        QFETCH(bool, firmware);
        QFETCH(QList<int>, call);
        auto adapter = SimulatedAdapter::shippedBus();
        QCOMPARE(adapter->LoadFirmWare(firmware ? kFirmware : nullptr) == 0, firmware);
        Buffer buffer{k6604, 1, 16, kSstGetDib};
        adapter->VendorIORequest(0xDA, 0, 0, 0, 7, buffer.data());
        buffer.fill(0x5A);
        const Buffer before = buffer;
        QVERIFY(adapter->VendorIORequest(int16_t(call[0]), call[1], 0, int16_t(call[2]),
                                         int16_t(call[3]), buffer.data()) < 0);
        QCOMPARE(buffer, before);
    }

    // 1/64 degree, two's complement; the offset moves the remote reading.
    void encodings()
    {
        auto adapter = SimulatedAdapter::shippedBus();
        QCOMPARE(adapter->LoadFirmWare(kFirmware), int16_t(0));
        adapter->setTemperatures(k6605, 125.25, -55.75);
        Buffer a = transact(*adapter, k6605, 1, 4, {kSstReadTemperatures});
        QCOMPARE(QList<int>({word(a, 1), word(a, 3)}), QList<int>({0x1F50, 0xF210}));
        transact(*adapter, k6605, 3, 0, {kSstExternalOffset, 0x00, 0xFF}); // -4
        QCOMPARE(word(transact(*adapter, k6605, 1, 2, {kSstExternalOffset}), 1), 0xFF00);
        adapter->setTemperatures(k6605, 30.0, 45.0);
        a = transact(*adapter, k6605, 1, 4, {kSstReadTemperatures});
        QCOMPARE(QList<int>({word(a, 1), word(a, 3)}), QList<int>({30 * 64, 41 * 64}));
        QCOMPARE(adapter->offsetRegister(k6604), uint16_t(0));
    }

    void decoding_data()
    {
        QTest::addColumn<Decoder>("decoder");
        QTest::addColumn<int>("raw");
        QTest::addColumn<double>("expected");
        QTest::newRow("temp 0.125 tie down to even") << Temperature << 0x0008 << 0.12;
        QTest::newRow("temp 0.375 tie up to even") << Temperature << 0x0018 << 0.38;
        QTest::newRow("temp 511.00 stays positive") << Temperature << 0x7FC0 << 511.0;
        QTest::newRow("temp 511.02 wraps below zero") << Temperature << 0x7FC1 << -512.98;
        QTest::newRow("volt 0.0625 tie down to even") << Voltage << 0x0040 << 0.062;
        QTest::newRow("volt 0.1875 tie up to even") << Voltage << 0x00C0 << 0.188;
        QTest::newRow("volt largest raw has no sign") << Voltage << 0xFFFF << 63.999;
        QTest::newRow("offset -512") << Offset << 0x8000 << -512.0;
        QTest::newRow("offset 511 stays positive") << Offset << 0x7FC0 << 511.0;
        QTest::newRow("offset 1.5 tie to even 2") << Offset << 0x0060 << 2.0;
    }

    void decoding()
    {
        QFETCH(Decoder, decoder);
        QFETCH(int, raw);
        QFETCH(double, expected);
        const auto r = uint16_t(raw);
        if (decoder == Offset) {
            QCOMPARE(decodeExtOffset(r), int32_t(expected));
            return;
        }
        const float v = decoder == Temperature ? decodeTemperature(r) : decodeVoltage(r);
        QCOMPARE(v, float(expected));
        // The stored float shows its decimals and nothing more.
        QCOMPARE(numberText(v), numberText(float(expected)));
    }

    // Request bytes a command does not set keep the previous answer; arguments
    // out of contract send nothing and leave the buffer.
    void requestBytes()
    {
        DeviceState state;
        FakeAdapter usb;
        usb.answer({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77});
        SSTGetTemps(state, usb);
        SSTGetExtOffset(state, usb);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&usb.sent().at(1)[4]), 3),
                 QByteArray("\x55\x66\x77"));
        usb.calls.clear();
        const auto before = state.USBStuff.SSTBuffer;
        for (int32_t offset : {-513, 512, INT32_MIN, INT32_MAX})
            QVERIFY(SSTSetExtOffset(state, usb, offset) < 0);
        QVERIFY(SSTRequest(state, usb, 1, 1, std::vector<uint8_t>(62, 0x11)) < 0);
        QVERIFY(usb.calls.empty());
        QCOMPARE(state.USBStuff.SSTBuffer, before);
    }

    void failedCallDecodesNothing_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<bool>("outFails");
        const std::pair<const char *, Command> commands[] = {
            {"GetDIB", SSTGetDIB},
            {"Ping", SSTPing},
            {"GetTemps", SSTGetTemps},
            {"GetVolts", SSTGetVolts},
            {"GetExtOffset", SSTGetExtOffset},
            {"SetExtOffset",
             [](DeviceState &s, USBFunctions &u) { return SSTSetExtOffset(s, u, 25); }},
            {"free request", [](DeviceState &s, USBFunctions &u) {
                 return SSTRequest(s, u, 2, 1, std::vector<uint8_t>{0xE0, 0x00});
             }}};
        for (const auto &[name, command] : commands) {
            QTest::addRow("%s, request not taken", name) << command << true;
            QTest::addRow("%s, answer not fetched", name) << command << false;
        }
    }

    void failedCallDecodesNothing()
    {
        QFETCH(Command, command);
        QFETCH(bool, outFails);
        DeviceState state;
        FakeAdapter usb;
        // Readings left by a successful command, and a failing call that
        // scribbles an answer into the buffer all the same.
        usb.answer({0x01, 0x40, 0x19, 0x00, 0xF6});
        SSTGetTemps(state, usb);
        const SSTStuffModule before = state.SSTStuff;
        usb.answer({0x9C, 0x05, 0xA0, 0x41, 0x00, 0x05, 0x66, 0x07, 0x08, 9, 10, 11, 12, 13, 14, 15,
                    0x4A});
        (outFails ? usb.outResult : usb.inResult) = -4;
        usb.calls.clear();

        QCOMPARE(command(state, usb), int16_t(-4));
        QVERIFY(state.SSTStuff == before);
        // A request that did not go out has no answer to fetch.
        QCOMPARE(usb.calls.size(), std::size_t(outFails ? 1 : 2));
        QVERIFY(state.link.failed == 1 && state.link.lastFailure == -4);
    }
};

QTEST_GUILESS_MAIN(TestSst)
#include "test_sst.moc"
