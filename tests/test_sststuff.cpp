// SST commands: decoding, untouched request bytes, out-of-contract arguments.
#include "common/TextFormat.h"
#include "sst/SSTStuff.h"
#include "sst/SimulatedAdapter.h"
#include "support/FakeAdapter.h"

#include <QTest>

using namespace qzt;
using qzt::test::FakeAdapter;

namespace {
enum Decoder { Temperature, Voltage, Offset };

using Command = int16_t (*)(DeviceState &, USBFunctions &);
} // namespace
Q_DECLARE_METATYPE(Decoder)
Q_DECLARE_METATYPE(Command)

class TestSSTStuff : public QObject {
    Q_OBJECT
private slots:
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

    // Whatever the offset write accepts reads back unchanged from the
    // simulated chip's 10-bit register (-3 once came back as 253).
    void offsetReadsBackAsWritten()
    {
        DeviceState state;
        const auto bus = SimulatedAdapter::shippedBus();
        QCOMPARE(bus->LoadFirmWare(QZT_SOURCE_DIR "/sst/SSTFW.hex"), int16_t(0));
        state.SSTStuff.SSTAddress = 0x48;
        for (int32_t o : {-512, -256, -3, -1, 0, 1, 511}) {
            QVERIFY(SSTSetExtOffset(state, *bus, o) >= 0 && SSTGetExtOffset(state, *bus) >= 0);
            QCOMPARE(state.SSTStuff.ExtOffset, o);
        }
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

QTEST_GUILESS_MAIN(TestSSTStuff)
#include "test_sststuff.moc"
