// SST commands: request bytes as they reach the adapter, and the decoding of
// answers into the device state.
#include "common/TextFormat.h"
#include "sst/SSTStuff.h"
#include "support/FakeAdapter.h"

#include <QTest>

using namespace qzt;
using qzt::test::FakeAdapter;

class TestSSTStuff : public QObject {
    Q_OBJECT
private slots:
    void temperatureDecoding_data();
    void temperatureDecoding();
    void voltageDecoding_data();
    void voltageDecoding();
    void offsetDecoding_data();
    void offsetDecoding();
    void offsetEncoding_data();
    void offsetEncoding();
    void everyTransactionIsSevenOutThenSixtyFourIn();
    void requestFrames_data();
    void requestFrames();
    void untouchedRequestBytesKeepThePreviousAnswer();
    void dibFieldsComeFromTheirAnswerBytes();
    void readingsAreDecodedFromTheAnswer();
    void freeRequestPlacesAllBytesButOnlySevenGoOut();
    void freeRequestLeavesStatusAndReadingsAlone();
    void outOfContractArgumentsSendNothing();
};

void TestSSTStuff::temperatureDecoding_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<float>("expected");
    QTest::newRow("101.00") << 0x1940 << 101.0f;
    QTest::newRow("-1.00") << 0xFFC0 << -1.0f;
    QTest::newRow("-40.00") << 0xF600 << -40.0f;
    QTest::newRow("0.125 tie goes down to even") << 0x0008 << 0.12f;
    QTest::newRow("0.375 tie goes up to even") << 0x0018 << 0.38f;
    QTest::newRow("0.015625 rounds up") << 0x0001 << 0.02f;
    QTest::newRow("511.00 stays positive") << 0x7FC0 << 511.0f;
    QTest::newRow("511.02 wraps below zero") << 0x7FC1 << -512.98f;
    QTest::newRow("zero") << 0x0000 << 0.0f;
    QTest::newRow("largest raw") << 0xFFFF << -0.02f;
    QTest::newRow("-5.38") << 0xFEA8 << -5.38f;
}

void TestSSTStuff::temperatureDecoding()
{
    QFETCH(int, raw);
    QFETCH(float, expected);
    const float t = decodeTemperature(uint16_t(raw));
    QCOMPARE(t, expected);
    // Negative readings keep their two decimals in the number text too.
    QCOMPARE(numberText(t), numberText(expected));
}

void TestSSTStuff::voltageDecoding_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<float>("expected");
    QTest::newRow("12 V") << 0x3000 << 12.0f;
    QTest::newRow("5 V") << 0x1400 << 5.0f;
    QTest::newRow("0.0625 tie goes down to even") << 0x0040 << 0.062f;
    QTest::newRow("0.1875 tie goes up to even") << 0x00C0 << 0.188f;
    QTest::newRow("largest raw has no sign") << 0xFFFF << 63.999f;
}

void TestSSTStuff::voltageDecoding()
{
    QFETCH(int, raw);
    QFETCH(float, expected);
    QCOMPARE(decodeVoltage(uint16_t(raw)), expected);
}

void TestSSTStuff::offsetDecoding_data()
{
    QTest::addColumn<int>("raw");
    QTest::addColumn<int>("expected");
    QTest::newRow("25") << 0x0640 << 25;
    QTest::newRow("-1") << 0xFFC0 << -1;
    QTest::newRow("-512") << 0x8000 << -512;
    QTest::newRow("511") << 0x7FC0 << 511;
    QTest::newRow("0.5 tie to even 0") << 0x0020 << 0;
    QTest::newRow("1.5 tie to even 2") << 0x0060 << 2;
    QTest::newRow("top raw rounds to 1024 and wraps to 0") << 0xFFFF << 0;
}

void TestSSTStuff::offsetDecoding()
{
    QFETCH(int, raw);
    QFETCH(int, expected);
    QCOMPARE(decodeExtOffset(uint16_t(raw)), expected);
}

void TestSSTStuff::offsetEncoding_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::newRow("25") << 25 << 0x40 << 0x06;
    QTest::newRow("-1 as 8-bit two's complement") << -1 << 0xC0 << 0x3F;
    QTest::newRow("1023") << 1023 << 0xC0 << 0xFF;
    QTest::newRow("-256 same as 0") << -256 << 0x00 << 0x00;
    QTest::newRow("0") << 0 << 0x00 << 0x00;
    QTest::newRow("-128 same as 128") << -128 << 0x00 << 0x20;
    QTest::newRow("128") << 128 << 0x00 << 0x20;
}

void TestSSTStuff::offsetEncoding()
{
    QFETCH(int, offset);
    QFETCH(int, low);
    QFETCH(int, high);
    DeviceState state;
    FakeAdapter usb;
    state.SSTStuff.SSTAddress = 0x48;
    SSTSetExtOffset(state, usb, offset);
    const auto sent = usb.sent();
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(int(sent[0][4]), low);
    QCOMPARE(int(sent[0][5]), high);
}

void TestSSTStuff::everyTransactionIsSevenOutThenSixtyFourIn()
{
    DeviceState state;
    FakeAdapter usb;
    const uint8_t data[] = {0xE0};
    SSTGetDIB(state, usb);
    SSTPing(state, usb);
    SSTGetTemps(state, usb);
    SSTGetVolts(state, usb);
    SSTGetExtOffset(state, usb);
    SSTSetExtOffset(state, usb, 5);
    SSTRequest(state, usb, 1, 2, data);
    QCOMPARE(usb.calls.size(), std::size_t(14));
    for (std::size_t i = 0; i < usb.calls.size(); ++i) {
        const auto &c = usb.calls[i];
        QCOMPARE(c.request, int16_t(0xDA));
        QCOMPARE(c.value, 0);
        QCOMPARE(c.index, 0);
        QCOMPARE(c.direction, int16_t(i % 2));
        QCOMPARE(c.length, int16_t(i % 2 ? 64 : 7));
    }
}

void TestSSTStuff::requestFrames_data()
{
    QTest::addColumn<int>("command");         // index into the table below
    QTest::addColumn<QByteArray>("expected"); // bytes 0..3
    const uint8_t a = 0x4A;
    QTest::newRow("GetDIB") << 0 << QByteArray("\x4A\x01\x10\xF7", 4);
    QTest::newRow("Ping has no write or read") << 1 << QByteArray("\x4A\x00\x00\x00", 4);
    QTest::newRow("GetTemps") << 2 << QByteArray("\x4A\x01\x04\x00", 4);
    QTest::newRow("GetVolts") << 3 << QByteArray("\x4A\x01\x10\x10", 4);
    QTest::newRow("GetExtOffset") << 4 << QByteArray("\x4A\x01\x02\xE0", 4);
    QTest::newRow("SetExtOffset") << 5 << QByteArray("\x4A\x03\x00\xE0", 4);
    Q_UNUSED(a);
}

void TestSSTStuff::requestFrames()
{
    QFETCH(int, command);
    QFETCH(QByteArray, expected);
    DeviceState state;
    FakeAdapter usb;
    state.SSTStuff.SSTAddress = 0x4A;
    switch (command) {
    case 0:
        SSTGetDIB(state, usb);
        break;
    case 1:
        SSTPing(state, usb);
        break;
    case 2:
        SSTGetTemps(state, usb);
        break;
    case 3:
        SSTGetVolts(state, usb);
        break;
    case 4:
        SSTGetExtOffset(state, usb);
        break;
    case 5:
        SSTSetExtOffset(state, usb, 25);
        break;
    }
    const auto sent = usb.sent();
    QCOMPARE(sent.size(), std::size_t(1));
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(sent[0].data()), 4), expected);
}

void TestSSTStuff::untouchedRequestBytesKeepThePreviousAnswer()
{
    DeviceState state;
    FakeAdapter usb;
    usb.answer({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77});
    SSTGetTemps(state, usb);
    SSTGetExtOffset(state, usb);
    const auto second = usb.sent().at(1);
    QCOMPARE(int(second[4]), 0x55);
    QCOMPARE(int(second[5]), 0x66);
    QCOMPARE(int(second[6]), 0x77);
}

void TestSSTStuff::dibFieldsComeFromTheirAnswerBytes()
{
    DeviceState state;
    FakeAdapter usb;
    usb.answer({0x9C, 0x05, 0xA0, 0x41, 0x00, 0x05, 0x66, 0x07, 0x08, 9, 10, 11, 12, 13, 14, 0x02,
                0x4A, 0xEE});
    SSTGetDIB(state, usb);
    const auto &s = state.SSTStuff;
    QCOMPARE(int(s.SSTStatus), 0x9C);
    QCOMPARE(int(s.DibCapability), 0x05);
    QCOMPARE(int(s.DibVersion), 0xA0);
    QCOMPARE(s.DibVendorId, 0x0041);
    QCOMPARE(s.DibDeviceId, 0x6605);
    QCOMPARE(int(s.DibDeviceInterface), 0x07);
    QCOMPARE(int(s.DibFunctionInterface), 0x08);
    QCOMPARE(int(s.DibSiliconRevision), 0x02);
    QCOMPARE(int(s.DibClientAddress), 0x4A);
}

void TestSSTStuff::readingsAreDecodedFromTheAnswer()
{
    DeviceState state;
    FakeAdapter usb;
    usb.answer({0x01, 0x40, 0x19, 0x00, 0xF6});
    SSTGetTemps(state, usb);
    QCOMPARE(state.SSTStuff.IntTemp, 101.0f);
    QCOMPARE(state.SSTStuff.ExtTemp, -40.0f);
    QCOMPARE(int(state.SSTStuff.SSTStatus), 0x01);

    usb.answer({0x02, 0x00, 0x30, 0x00, 0x14, 0x40, 0x00, 0xC0, 0x00, 0xFF, 0xFF});
    SSTGetVolts(state, usb);
    const std::array<float, 5> volts{12.0f, 5.0f, 0.062f, 0.188f, 63.999f};
    QCOMPARE(state.SSTStuff.Volts, volts);

    usb.answer({0x03, 0xC0, 0xFF});
    SSTGetExtOffset(state, usb);
    QCOMPARE(state.SSTStuff.ExtOffset, -1);

    usb.answer({0x00});
    SSTPing(state, usb);
    QCOMPARE(int(state.SSTStuff.SSTStatus), 0);
}

void TestSSTStuff::freeRequestPlacesAllBytesButOnlySevenGoOut()
{
    DeviceState state;
    FakeAdapter usb;
    state.SSTStuff.SSTAddress = 0x48;
    const uint8_t data[] = {1, 2, 3, 4, 5, 6};
    // Keep the buffer as the request left it, to see where the bytes went.
    usb.inResult = 64;
    SSTRequest(state, usb, 2, 1, data);
    const auto &out = usb.calls.at(0);
    QCOMPARE(out.length, int16_t(7));
    const uint8_t expected[] = {0x48, 2, 1, 1, 2, 3, 4, 5, 6};
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(out.bytes.data()), 9),
             QByteArray(reinterpret_cast<const char *>(expected), 9));
}

void TestSSTStuff::freeRequestLeavesStatusAndReadingsAlone()
{
    DeviceState state;
    FakeAdapter usb;
    state.SSTStuff.SSTStatus = 0x5A;
    state.SSTStuff.ExtOffset = 7;
    usb.answer({0x99, 0x40, 0x06});
    const uint8_t data[] = {0xE0, 0x00};
    SSTRequest(state, usb, 2, 1, data);
    QCOMPARE(int(state.SSTStuff.SSTStatus), 0x5A);
    QCOMPARE(state.SSTStuff.ExtOffset, 7);
    const auto sent = usb.sent().at(0);
    QCOMPARE(int(sent[1]), 2);
    QCOMPARE(int(sent[2]), 1);
    QCOMPARE(int(sent[3]), 0xE0);
    QCOMPARE(int(sent[4]), 0x00);
    QCOMPARE(int(state.USBStuff.SSTBuffer[0]), 0x99);
}

void TestSSTStuff::outOfContractArgumentsSendNothing()
{
    DeviceState state;
    FakeAdapter usb;
    state.USBStuff.SSTBuffer.fill(0xA5);
    const auto before = state.USBStuff.SSTBuffer;
    QVERIFY(SSTSetExtOffset(state, usb, -257) < 0);
    QVERIFY(SSTSetExtOffset(state, usb, 1024) < 0);
    QVERIFY(SSTSetExtOffset(state, usb, INT32_MIN) < 0);
    std::vector<uint8_t> tooMany(62, 0x11);
    QVERIFY(SSTRequest(state, usb, 1, 1, tooMany) < 0);
    QVERIFY(usb.calls.empty());
    QCOMPARE(state.USBStuff.SSTBuffer, before);

    // 61 bytes fill the buffer exactly up to its last byte.
    std::vector<uint8_t> fits(61, 0x22);
    SSTRequest(state, usb, 1, 1, fits);
    QCOMPARE(int(usb.calls.at(0).bytes[63]), 0x22);
}

QTEST_GUILESS_MAIN(TestSSTStuff)
#include "test_sststuff.moc"
