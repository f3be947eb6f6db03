// Tests of the simulated adapter as the program uses it: the firmware gate,
// the two-call SST transaction, the chips' answers and the injected faults.
#include "sst/SimulatedAdapter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

using namespace qzt;

namespace {

using Buffer = std::array<uint8_t, kAnswerLength>;

constexpr uint8_t k6604 = 0x48;
constexpr uint8_t k6605 = 0x4A;

// The program's decoding rule, written out independently of the adapter.
double decodeTemperature(int raw)
{
    const double t = std::round(raw / 64.0 * 100.0) / 100.0;
    return t > 511 ? t - 1024 : t;
}

int16_t out(SimulatedAdapter &bus, uint8_t *buffer)
{
    return bus.VendorIORequest(0xDA, 0, 0, 0, 7, buffer);
}
int16_t in(SimulatedAdapter &bus, uint8_t *buffer)
{
    return bus.VendorIORequest(0xDA, 0, 0, 1, 64, buffer);
}

// One SST transaction: OUT of bytes 0..6, then IN of all 64, into a buffer
// with guard bytes on both sides. All zero if either call fails; a write
// outside the 64 bytes ends the test run.
Buffer transact(SimulatedAdapter &bus, uint8_t address, uint8_t writeLength, uint8_t readLength,
                std::vector<uint8_t> bytes = {})
{
    std::array<uint8_t, 96> guarded;
    guarded.fill(0xA5);
    uint8_t *buffer = guarded.data() + 16;
    std::fill_n(buffer, 64, 0);
    buffer[0] = address;
    buffer[1] = writeLength;
    buffer[2] = readLength;
    std::copy_n(bytes.begin(), std::min<std::size_t>(bytes.size(), 4), buffer + 3);
    const bool ok = out(bus, buffer) == 7 && in(bus, buffer) == 64;
    if (std::count(guarded.begin(), guarded.begin() + 16, 0xA5) +
            std::count(guarded.begin() + 80, guarded.end(), 0xA5) !=
        32)
        qFatal("the adapter wrote outside the 64-byte buffer");
    Buffer answer{};
    if (ok)
        std::copy_n(buffer, 64, answer.begin());
    return answer;
}

} // namespace

class TestSimulatedAdapter : public QObject {
    Q_OBJECT

    static int word(const Buffer &answer, int at) { return answer[at] | (answer[at + 1] << 8); }
    static uint8_t crc(std::vector<uint8_t> b)
    {
        return SimulatedAdapter::crc8(b.data(), b.size());
    }
    static Buffer filled(uint8_t byte)
    {
        Buffer b;
        b.fill(byte);
        return b;
    }
    const Buffer idle = filled(0xFF);

    QTemporaryDir dir_;
    QByteArray firmware_; // path of a valid firmware file
    int64_t now_ = 0;

    std::unique_ptr<SimulatedAdapter> bus(const std::map<uint8_t, uint16_t> &chips = {},
                                          uint32_t seed = 1)
    {
        auto adapter = chips.empty()
                           ? SimulatedAdapter::shippedBus([this] { return now_; }, seed)
                           : std::make_unique<SimulatedAdapter>([this] { return now_; }, seed);
        for (const auto &[address, id] : chips)
            adapter->addChip(address, id);
        return adapter->LoadFirmWare(firmware_.constData()) == 0 ? std::move(adapter) : nullptr;
    }

    QByteArray writeFile(const QString &name, const QByteArray &text)
    {
        QFile file(dir_.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return {};
        return QFile::encodeName(file.fileName());
    }

private slots:
    void initTestCase()
    {
        firmware_ = writeFile("fw.hex", ":0401000001020304F1\r\n:00000001FF\r\n");
        QVERIFY(!firmware_.isEmpty());
    }
    void init() { now_ = 1'700'000'000'000; }

    // Check values of CRC-8 with polynomial 0x07, initial value 0.
    void crc8()
    {
        QCOMPARE(crc({'1', '2', '3', '4', '5', '6', '7', '8', '9'}), uint8_t(0xF4));
        QCOMPARE(crc({}), uint8_t(0x00));
        QCOMPARE(crc({0x80}), uint8_t(0x89));
    }

    void firmwareGate_data()
    {
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("loads");
        QTest::newRow("valid") << firmware_ << true;
        QTest::newRow("missing") << QFile::encodeName(dir_.filePath("none.hex")) << false;
        QTest::newRow("corrupt") << writeFile("bad.hex", ":0401000001020304F2\n:00000001FF\n")
                                 << false;
        QTest::newRow("null path") << QByteArray() << false;
    }
    // Transactions work exactly when a good firmware file was loaded; before
    // that every call fails and leaves the buffer alone.
    void firmwareGate()
    {
        QFETCH(QByteArray, path);
        QFETCH(bool, loads);
        auto adapter = SimulatedAdapter::shippedBus([this] { return now_; });
        Buffer buffer = filled(0x5A);
        QVERIFY(out(*adapter, buffer.data()) < 0 && in(*adapter, buffer.data()) < 0);
        QCOMPARE(buffer, filled(0x5A));
        QCOMPARE(adapter->LoadFirmWare(path.isNull() ? nullptr : path.constData()) >= 0, loads);
        QCOMPARE(transact(*adapter, k6604, 1, 16, {kSstGetDib})[16] == k6604, loads);
    }

    void refusedCalls_data()
    {
        QTest::addColumn<int>("request");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("direction");
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("nullBuffer");
        QTest::newRow("other request") << 0xDB << 0 << 1 << 64 << false;
        QTest::newRow("value set") << 0xDA << 1 << 1 << 64 << false;
        QTest::newRow("direction 2") << 0xDA << 0 << 2 << 64 << false;
        QTest::newRow("IN of 7") << 0xDA << 0 << 1 << 7 << false;
        QTest::newRow("negative length") << 0xDA << 0 << 1 << -64 << false;
        QTest::newRow("null IN buffer") << 0xDA << 0 << 1 << 64 << true;
    }
    // A refused call changes neither the buffer nor the pending answer.
    void refusedCalls()
    {
        QFETCH(int, request);
        QFETCH(int, value);
        QFETCH(int, direction);
        QFETCH(int, length);
        QFETCH(bool, nullBuffer);
        auto adapter = bus();
        QVERIFY(adapter);
        Buffer buffer{k6604, 1, 16, kSstGetDib};
        QCOMPARE(out(*adapter, buffer.data()), int16_t(7));
        buffer.fill(0x5A);
        QVERIFY(adapter->VendorIORequest(int16_t(request), value, 0, int16_t(direction),
                                         int16_t(length),
                                         nullBuffer ? nullptr : buffer.data()) < 0);
        QCOMPARE(buffer, filled(0x5A));
        QCOMPARE(in(*adapter, buffer.data()), int16_t(64));
        QCOMPARE(buffer[16], k6604);
    }

    // Without a request since the last answer the bus reads idle.
    void answerWithoutRequestIsIdle()
    {
        auto adapter = bus();
        QVERIFY(adapter);
        Buffer buffer{};
        QCOMPARE(in(*adapter, buffer.data()), int16_t(64));
        QCOMPARE(buffer, idle);
        transact(*adapter, k6604, 0, 0);
        QCOMPARE(in(*adapter, buffer.data()), int16_t(64));
        QCOMPARE(buffer, idle);
    }

    // The program's discovery rule over 0x40..0x5F finds exactly the chips,
    // each with its identifier block; every other address reads idle.
    void discovery()
    {
        const std::map<uint8_t, uint16_t> chips{
            {0x40, kDeviceIdQzt6604}, {0x4A, kDeviceIdQzt6605}, {0x5F, kDeviceIdQzt6606}};
        auto adapter = bus(chips);
        QVERIFY(adapter);
        std::map<uint8_t, uint16_t> found;
        for (int address = 0x40; address <= 0x5F; ++address) {
            const Buffer answer = transact(*adapter, uint8_t(address), 1, 16, {kSstGetDib});
            if (answer[16] != address || answer[5] < 0x04 || answer[5] > 0x06) {
                QCOMPARE(answer, idle);
                continue;
            }
            found[uint8_t(address)] = uint16_t(word(answer, 5));
            QCOMPARE(word(answer, 3), int(kSimulatedVendorId));
        }
        QCOMPARE(found, chips);
    }

    void frameChecks_data()
    {
        QTest::addColumn<int>("writeLength");
        QTest::addColumn<int>("readLength");
        QTest::addColumn<int>("carried");
        QTest::addColumn<int>("returned");
        QTest::newRow("ping") << 0 << 0 << 0 << 0;
        QTest::newRow("command only") << 1 << 5 << 1 << 5;
        QTest::newRow("all four") << 4 << 5 << 4 << 5;
        QTest::newRow("more than fits") << 200 << 5 << 4 << 5;
        QTest::newRow("read of 255 cut to 62") << 1 << 255 << 1 << 62;
    }
    // The status byte covers only the request bytes that actually went out;
    // the byte after the data covers the data, which stays inside the 64.
    void frameChecks()
    {
        QFETCH(int, writeLength);
        QFETCH(int, readLength);
        QFETCH(int, carried);
        QFETCH(int, returned);
        auto adapter = bus();
        QVERIFY(adapter);
        const std::vector<uint8_t> bytes{kSstGetDib, 0x11, 0x22, 0x33};
        const Buffer answer =
            transact(*adapter, k6605, uint8_t(writeLength), uint8_t(readLength), bytes);
        std::vector<uint8_t> request{k6605, uint8_t(writeLength), uint8_t(readLength)};
        request.insert(request.end(), bytes.begin(), bytes.begin() + carried);
        QCOMPARE(answer[0], crc(request));
        QCOMPARE(answer[returned + 1], SimulatedAdapter::crc8(answer.data() + 1, returned));
        if (returned >= 16)
            QCOMPARE(answer[16], k6605);
    }

    void temperatures_data()
    {
        QTest::addColumn<double>("celsius");
        QTest::addColumn<int>("raw");
        QTest::newRow("30") << 30.0 << 0x0780;
        QTest::newRow("125.25") << 125.25 << 0x1F50;
        QTest::newRow("-40") << -40.0 << 0xF600;
        QTest::newRow("-55.75") << -55.75 << 0xF210;
        QTest::newRow("lowest") << -512.0 << 0x8000;
    }
    // Pinned readings come back as the words the program decodes to the same
    // value, on both channels.
    void temperatures()
    {
        QFETCH(double, celsius);
        QFETCH(int, raw);
        auto adapter = bus();
        QVERIFY(adapter);
        adapter->setTemperatures(k6604, celsius, 20.0);
        Buffer answer = transact(*adapter, k6604, 1, 4, {kSstReadTemperatures});
        QCOMPARE(word(answer, 1), raw);
        QCOMPARE(decodeTemperature(word(answer, 3)), 20.0);
        adapter->setTemperatures(k6604, 20.0, celsius);
        answer = transact(*adapter, k6604, 1, 4, {kSstReadTemperatures});
        QCOMPARE(word(answer, 3), raw);
        QCOMPARE(decodeTemperature(word(answer, 3)), celsius);
    }

    void voltages_data()
    {
        QTest::addColumn<int>("deviceId");
        QTest::addColumn<bool>("hasVoltages");
        QTest::newRow("QZT6604") << int(kDeviceIdQzt6604) << false;
        QTest::newRow("QZT6605") << int(kDeviceIdQzt6605) << true;
        QTest::newRow("QZT6606") << int(kDeviceIdQzt6606) << true;
    }
    // Supplies come back in 1/1024 V steps; a QZT6604 answers with zero data.
    void voltages()
    {
        QFETCH(int, deviceId);
        QFETCH(bool, hasVoltages);
        constexpr uint8_t address = 0x4C;
        auto adapter = bus({{address, uint16_t(deviceId)}});
        QVERIFY(adapter);
        const std::array<double, 5> pinned{12.1, 4.95, 3.3, 2.5, 1.2};
        adapter->setVoltages(address, pinned);
        const Buffer answer = transact(*adapter, address, 1, 16, {kSstReadVoltages});
        for (int i = 0; i < 5; ++i)
            QCOMPARE(word(answer, 1 + 2 * i), hasVoltages ? int(std::lround(pinned[i] * 1024)) : 0);
        QVERIFY(
            std::all_of(answer.begin() + 11, answer.begin() + 17, [](int b) { return b == 0; }));
        adapter->clearOverrides(address);
        const Buffer drifting = transact(*adapter, address, 1, 16, {kSstReadVoltages});
        QCOMPARE(std::abs(word(drifting, 1) / 1024.0 - 12.0) < 0.2, hasVoltages);
    }

    void offset_data()
    {
        QTest::addColumn<int>("offsetWord");
        QTest::addColumn<int>("shift"); // added to the remote reading
        QTest::newRow("zero") << 0x0000 << 0;
        QTest::newRow("+5") << 0x0140 << 5;
        QTest::newRow("-4") << 0xFF00 << -4;
        QTest::newRow("half rounds to even 0") << 0x0020 << 0;
        QTest::newRow("1.5 rounds to even 2") << 0x0060 << 2;
        QTest::newRow("1023 is -1") << 0xFFC0 << -1;
        QTest::newRow("1023.5 rounds to even 1024, which is 0") << 0xFFE0 << 0;
    }
    // A written offset reads back unchanged and shifts only the remote
    // reading of its own chip; a write without both data bytes changes nothing.
    void offset()
    {
        QFETCH(int, offsetWord);
        QFETCH(int, shift);
        const auto low = uint8_t(offsetWord & 0xFF), high = uint8_t(offsetWord >> 8);
        auto adapter = bus();
        QVERIFY(adapter);
        adapter->setTemperatures(k6605, 30.0, 45.0);
        transact(*adapter, k6605, 3, 0, {kSstExternalOffset, low, high});
        QCOMPARE(int(adapter->offsetRegister(k6605)), offsetWord);
        QCOMPARE(word(transact(*adapter, k6605, 1, 2, {kSstExternalOffset}), 1), offsetWord);
        const Buffer temperatures = transact(*adapter, k6605, 1, 4, {kSstReadTemperatures});
        QCOMPARE(decodeTemperature(word(temperatures, 1)), 30.0);
        QCOMPARE(decodeTemperature(word(temperatures, 3)), 45.0 + shift);
        QCOMPARE(adapter->offsetRegister(k6604), uint16_t(0));
        transact(*adapter, k6605, 2, 0, {kSstExternalOffset, uint8_t(~low), uint8_t(~high)});
        QCOMPARE(int(adapter->offsetRegister(k6605)), offsetWord);
    }

    // Equal seed and clock give equal readings whatever was read before;
    // other seeds, chips and times differ; over an hour readings stay near
    // nominal yet move.
    void readingsRepeatAndDrift()
    {
        // The data bytes only: the status byte differs between addresses anyway.
        const auto read = [](SimulatedAdapter &adapter, uint8_t address, uint8_t command) {
            const Buffer answer = transact(adapter, address, 1, 16, {command});
            return std::vector<uint8_t>(answer.begin() + 1, answer.begin() + 17);
        };
        auto a = bus({}, 7), b = bus({}, 7), other = bus({}, 8);
        QVERIFY(a && b && other);
        for (int i = 0; i < 10; ++i, now_ += 1000)
            read(*a, k6605, kSstReadTemperatures);
        for (uint8_t command : {kSstReadTemperatures, kSstReadVoltages}) {
            const std::vector<uint8_t> reading = read(*a, k6605, command);
            QCOMPARE(read(*b, k6605, command), reading);
            QVERIFY(read(*other, k6605, command) != reading);
        }
        QVERIFY(read(*a, k6604, kSstReadTemperatures) != read(*a, k6605, kSstReadTemperatures));

        double low = 1e9, high = -1e9;
        const double nominal[] = {12.0, 5.0, 3.3, 2.5, 1.2};
        for (int minute = 0; minute < 60; ++minute, now_ += 60'000) {
            const Buffer t = transact(*a, k6605, 1, 4, {kSstReadTemperatures});
            const double internal = decodeTemperature(word(t, 1));
            QVERIFY2(std::abs(internal - 30.0) < 5.0, qPrintable(QString::number(internal)));
            QVERIFY(std::abs(decodeTemperature(word(t, 3)) - 45.0) < 7.0);
            low = std::min(low, internal);
            high = std::max(high, internal);
            const Buffer v = transact(*a, k6605, 1, 16, {kSstReadVoltages});
            for (int i = 0; i < 5; ++i)
                QVERIFY(std::abs(word(v, 1 + 2 * i) / 1024.0 / nominal[i] - 1.0) < 0.02);
        }
        QVERIFY(high - low > 1.0);
    }

    // Unplugged board, silent chip and garbage answers, each undone again.
    void faults()
    {
        auto adapter = bus();
        QVERIFY(adapter);
        const auto dib = [&](uint8_t address) {
            return transact(*adapter, address, 1, 16, {kSstGetDib});
        };
        const Buffer proper = dib(k6604);

        adapter->setFailAll(true);
        Buffer buffer{k6604, 1, 16, kSstGetDib};
        const Buffer before = buffer;
        QVERIFY(out(*adapter, buffer.data()) < 0 && in(*adapter, buffer.data()) < 0);
        QVERIFY(adapter->LoadFirmWare(firmware_.constData()) < 0);
        QCOMPARE(buffer, before);
        adapter->setFailAll(false);
        QCOMPARE(dib(k6604), proper);

        adapter->setSilent(k6604, true);
        QCOMPARE(dib(k6604), idle);
        QCOMPARE(dib(k6605)[16], k6605);
        adapter->setSilent(k6604, false);
        QCOMPARE(dib(k6604), proper);

        adapter->setGarbageAnswers(true);
        const Buffer first = dib(k6604);
        QVERIFY(first != proper && dib(k6604) != first);
        adapter->setGarbageAnswers(false);
        QCOMPARE(dib(k6604), proper);
    }

    // Random failures follow the rate and repeat for the same seed.
    void failRate()
    {
        const auto pattern = [this](double rate, uint32_t seed) {
            auto adapter = bus({}, seed);
            adapter->setFailRate(rate);
            QList<bool> failed;
            Buffer buffer{k6604};
            for (int i = 0; i < 400; ++i)
                failed.append(out(*adapter, buffer.data()) < 0);
            return failed;
        };
        QVERIFY(!pattern(0.0, 1).contains(true));
        QVERIFY(!pattern(1.0, 1).contains(false));
        const QList<bool> half = pattern(0.5, 1);
        QVERIFY(half.count(true) > 120 && half.count(true) < 280);
        QCOMPARE(pattern(0.5, 1), half);
        QVERIFY(pattern(0.5, 2) != half);
    }

    void requestLogKeepsTheNewestRequests()
    {
        auto adapter = bus();
        QVERIFY(adapter);
        const int total = int(SimulatedAdapter::kRequestLogCapacity) + 100;
        for (int i = 0; i < total; ++i)
            transact(*adapter, uint8_t(i), 0, 0);
        QCOMPARE(adapter->outCount(), total);
        QCOMPARE(adapter->sentRequests().size(), SimulatedAdapter::kRequestLogCapacity);
        QCOMPARE(adapter->sentRequests().front()[0], uint8_t(100));
        QCOMPARE(adapter->sentRequests().back()[0], uint8_t(total - 1));
    }
};

QTEST_GUILESS_MAIN(TestSimulatedAdapter)
#include "test_simulatedadapter.moc"
