// Tests of the simulated adapter as the program uses it: the firmware gate,
// the two-call SST transaction, the chips' answers and the injected faults.
#include "sst/SimulatedAdapter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <vector>

using namespace qzt;

namespace {

using Buffer = std::array<uint8_t, kAnswerLength>;
constexpr uint8_t k6604 = 0x48, k6605 = 0x4A;

int16_t out(SimulatedAdapter &bus, uint8_t *b)
{
    return bus.VendorIORequest(0xDA, 0, 0, 0, 7, b);
}
int16_t in(SimulatedAdapter &bus, uint8_t *b)
{
    return bus.VendorIORequest(0xDA, 0, 0, 1, 64, b);
}

// One SST transaction: OUT of bytes 0..6, then IN of all 64. All zero if
// either call fails.
Buffer transact(SimulatedAdapter &bus, uint8_t address, uint8_t writeLength, uint8_t readLength,
                std::vector<uint8_t> bytes = {})
{
    Buffer b{address, writeLength, readLength};
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 4), b.begin() + 3);
    return out(bus, b.data()) == 7 && in(bus, b.data()) == 64 ? b : Buffer{};
}
int word(const Buffer &answer, int at)
{
    return answer[at] | (answer[at + 1] << 8);
}

} // namespace

class TestSimulatedAdapter : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QByteArray firmware_ = QFile::encodeName(dir_.filePath("fw.hex"));
    int64_t now_ = 1'700'000'000'000;

    std::unique_ptr<SimulatedAdapter> bus(uint32_t seed = 1)
    {
        auto adapter = SimulatedAdapter::shippedBus([this] { return now_; }, seed);
        adapter->addChip(0x4C, kDeviceIdQzt6606);
        return adapter->LoadFirmWare(firmware_.constData()) == 0 ? std::move(adapter) : nullptr;
    }

private slots:
    void initTestCase()
    {
        QFile file(QString::fromLocal8Bit(firmware_));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(":0401000001020304F1\r\n:00000001FF\r\n");
    }

    // Before firmware, and for every wrong argument, a call is refused and
    // leaves the buffer as it was.
    void refusedCallsLeaveTheBuffer_data()
    {
        QTest::addColumn<bool>("firmware");
        QTest::addColumn<QList<int>>("call"); // request, value, direction, length
        QTest::newRow("no firmware") << false << QList<int>{0xDA, 0, 1, 64};
        QTest::newRow("other request") << true << QList<int>{0xDB, 0, 1, 64};
        QTest::newRow("value set") << true << QList<int>{0xDA, 1, 1, 64};
        QTest::newRow("direction 2") << true << QList<int>{0xDA, 0, 2, 64};
        QTest::newRow("IN of 7") << true << QList<int>{0xDA, 0, 1, 7};
    }
    void refusedCallsLeaveTheBuffer()
    {
        QFETCH(bool, firmware);
        QFETCH(QList<int>, call);
        auto adapter = SimulatedAdapter::shippedBus([this] { return now_; });
        QCOMPARE(adapter->LoadFirmWare(firmware ? firmware_.constData() : nullptr) == 0, firmware);
        Buffer buffer{k6604, 1, 16, kSstGetDib};
        out(*adapter, buffer.data());
        buffer.fill(0x5A);
        const Buffer before = buffer;
        QVERIFY(adapter->VendorIORequest(int16_t(call[0]), call[1], 0, int16_t(call[2]),
                                         int16_t(call[3]), buffer.data()) < 0);
        QCOMPARE(buffer, before);
    }

    // Extreme temperatures come back in 1/64 degree with negatives in two's
    // complement; the offset register keeps what was written and moves the
    // remote reading; the status byte is a known CRC.
    void encodings()
    {
        auto adapter = bus();
        QVERIFY(adapter);
        adapter->setTemperatures(k6605, 125.25, -55.75);
        Buffer a = transact(*adapter, k6605, 1, 4, {kSstReadTemperatures});
        QCOMPARE(QList<int>({word(a, 1), word(a, 3)}), QList<int>({0x1F50, 0xF210}));
        transact(*adapter, k6605, 3, 0, {kSstExternalOffset, 0x00, 0xFF}); // -4
        QCOMPARE(word(transact(*adapter, k6605, 1, 2, {kSstExternalOffset}), 1), 0xFF00);
        adapter->setTemperatures(k6605, 30.0, 45.0); // the offset moves the remote reading
        a = transact(*adapter, k6605, 1, 4, {kSstReadTemperatures});
        QCOMPARE(QList<int>({word(a, 1), word(a, 3)}), QList<int>({30 * 64, 41 * 64}));
        QCOMPARE(adapter->offsetRegister(k6604), uint16_t(0));
        // The status byte is the CRC-8 (polynomial 0x07) of the request bytes.
        QCOMPARE(transact(*adapter, k6604, 0, 0)[0], uint8_t(0xD7)); // of 48 00 00
    }

    // Garbage answers, undone again. (The full-road tests show the unplugged
    // board and the silent chip.)
    void garbageAnswers()
    {
        auto adapter = bus();
        QVERIFY(adapter);
        const auto dib = [&] { return transact(*adapter, k6604, 1, 16, {kSstGetDib}); };
        const Buffer proper = dib();
        adapter->setGarbageAnswers(true);
        const Buffer first = dib();
        QVERIFY(first != proper && dib() != first);
        adapter->setGarbageAnswers(false);
        QCOMPARE(dib(), proper);
    }
};

QTEST_GUILESS_MAIN(TestSimulatedAdapter)
#include "test_simulatedadapter.moc"
