// SST commands: the decoding of answers into the device state, the request
// bytes a command leaves alone, and arguments out of contract.
#include "common/TextFormat.h"
#include "sst/SSTStuff.h"
#include "support/FakeAdapter.h"

#include <QTest>

using namespace qzt;
using qzt::test::FakeAdapter;

namespace {
enum Decoder { Temperature, Voltage, Offset };

using Command = int16_t (*)(DeviceState &, USBFunctions &);
int16_t setOffset(DeviceState &state, USBFunctions &usb)
{
    return SSTSetExtOffset(state, usb, 25);
}
int16_t freeRequest(DeviceState &state, USBFunctions &usb)
{
    static const uint8_t data[] = {0xE0, 0x00};
    return SSTRequest(state, usb, 2, 1, data);
}
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
        // clang-format off
        QTest::newRow("temp -1.00") << Temperature << 0xFFC0 << -1.0;
        QTest::newRow("temp 0.125 tie down to even") << Temperature << 0x0008 << 0.12;
        QTest::newRow("temp 0.375 tie up to even") << Temperature << 0x0018 << 0.38;
        QTest::newRow("temp 0.015625 rounds up") << Temperature << 0x0001 << 0.02;
        QTest::newRow("temp 511.00 stays positive") << Temperature << 0x7FC0 << 511.0;
        QTest::newRow("temp 511.02 wraps below zero") << Temperature << 0x7FC1 << -512.98;
        QTest::newRow("temp largest raw") << Temperature << 0xFFFF << -0.02;
        QTest::newRow("volt 12") << Voltage << 0x3000 << 12.0;
        QTest::newRow("volt 0.0625 tie down to even") << Voltage << 0x0040 << 0.062;
        QTest::newRow("volt 0.1875 tie up to even") << Voltage << 0x00C0 << 0.188;
        QTest::newRow("volt largest raw has no sign") << Voltage << 0xFFFF << 63.999;
        QTest::newRow("offset -512") << Offset << 0x8000 << -512.0;
        QTest::newRow("offset 0.5 tie to even 0") << Offset << 0x0020 << 0.0;
        QTest::newRow("offset 1.5 tie to even 2") << Offset << 0x0060 << 2.0;
        // clang-format on
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

    void untouchedRequestBytesKeepThePreviousAnswer()
    {
        DeviceState state;
        FakeAdapter usb;
        usb.answer({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77});
        SSTGetTemps(state, usb);
        SSTGetExtOffset(state, usb);
        const auto second = usb.sent().at(1);
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(&second[4]), 3),
                 QByteArray("\x55\x66\x77"));
    }

    void outOfContractArgumentsSendNothing()
    {
        DeviceState state;
        FakeAdapter usb;
        state.USBStuff.SSTBuffer.fill(0xA5);
        const auto before = state.USBStuff.SSTBuffer;
        for (int32_t offset : {-257, 1024, INT32_MIN, INT32_MAX})
            QVERIFY(SSTSetExtOffset(state, usb, offset) < 0);
        const std::vector<uint8_t> tooMany(62, 0x11);
        QVERIFY(SSTRequest(state, usb, 1, 1, tooMany) < 0);
        QVERIFY(usb.calls.empty());
        QCOMPARE(state.USBStuff.SSTBuffer, before);
        // 61 bytes fill the buffer exactly up to its last byte.
        const std::vector<uint8_t> fits(61, 0x22);
        SSTRequest(state, usb, 1, 1, fits);
        QCOMPARE(int(usb.calls.at(0).bytes[63]), 0x22);
    }

    void failedCallDecodesNothing_data()
    {
        QTest::addColumn<Command>("command");
        QTest::addColumn<bool>("outFails");
        const std::pair<const char *, Command> commands[] = {{"GetDIB", SSTGetDIB},
                                                             {"Ping", SSTPing},
                                                             {"GetTemps", SSTGetTemps},
                                                             {"GetVolts", SSTGetVolts},
                                                             {"GetExtOffset", SSTGetExtOffset},
                                                             {"SetExtOffset", setOffset},
                                                             {"free request", freeRequest}};
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
        QVERIFY(state.link.failed == 1 && state.link.failingRun == 1 &&
                state.link.lastFailure == -4);
        usb.outResult = 7;
        usb.inResult = 64;
        command(state, usb);
        QVERIFY(state.link.transactions == 3 && state.link.failingRun == 0);
    }
};

QTEST_GUILESS_MAIN(TestSSTStuff)
#include "test_sststuff.moc"
