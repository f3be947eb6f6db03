// The simulated adapter: firmware gate, chip answers, injected faults.
#include "sst/SimulatedAdapter.h"

#include <QTest>

#include <algorithm>
#include <vector>

using namespace qzt;

namespace {

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

} // namespace

class TestSimulatedAdapter : public QObject {
    Q_OBJECT
private slots:
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

    // 1/64 degree, two's complement; the offset moves the remote reading;
    // garbage answers, undone again.
    void encodingsAndGarbage()
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
