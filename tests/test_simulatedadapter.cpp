// Tests of the simulated adapter as the program uses it: the firmware gate,
// the two-call SST transaction, the chips' answers and the injected faults.
#include "sst/SimulatedAdapter.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace qzt;

namespace {

using Buffer = std::array<uint8_t, kAnswerLength>;

constexpr uint8_t k6604 = 0x48;
constexpr uint8_t k6605 = 0x4A;

// The program's decoding rules, written out independently of the adapter.
double decodeTemperature(int raw)
{
    double t = std::round(raw / 64.0 * 100.0) / 100.0;
    return t > 511 ? t - 1024 : t;
}

int decodeOffset(int raw)
{
    const int o = static_cast<int>(std::nearbyint(raw / 64.0));
    return o > 511 ? o - 1024 : o;
}

int word(const Buffer &answer, int at)
{
    return answer[at] | (answer[at + 1] << 8);
}

// One SST transaction: OUT of bytes 0..6, then IN of all 64.
Buffer transact(SimulatedAdapter &bus, uint8_t address, uint8_t writeLength, uint8_t readLength,
                std::vector<uint8_t> bytes = {})
{
    Buffer buffer{};
    buffer[0] = address;
    buffer[1] = writeLength;
    buffer[2] = readLength;
    for (std::size_t i = 0; i < bytes.size() && i < 4; ++i)
        buffer[3 + i] = bytes[i];
    if (bus.VendorIORequest(kSstVendorRequest, 0, 0, kDirectionOut, kRequestLength,
                            buffer.data()) != kRequestLength)
        return {};
    if (bus.VendorIORequest(kSstVendorRequest, 0, 0, kDirectionIn, kAnswerLength, buffer.data()) !=
        kAnswerLength)
        return {};
    return buffer;
}

} // namespace

class TestSimulatedAdapter : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QByteArray firmware_; // path of a valid firmware file
    int64_t now_ = 1'700'000'000'000;

    std::unique_ptr<SimulatedAdapter> loadedBus(uint32_t seed = 1)
    {
        auto bus = SimulatedAdapter::shippedBus([this] { return now_; }, seed);
        if (bus->LoadFirmWare(firmware_.constData()) != 0)
            return nullptr;
        return bus;
    }

    QByteArray writeFile(const QString &name, const QByteArray &text)
    {
        QFile file(dir_.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
            return {};
        return QFile::encodeName(file.fileName());
    }

private slots:
    void initTestCase();
    void init() { now_ = 1'700'000'000'000; }

    void crc8_data();
    void crc8();

    void firmwareGate_data();
    void firmwareGate();
    void refusedCallsLeaveBufferAlone_data();
    void refusedCallsLeaveBufferAlone();
    void answerWithoutRequestIsIdle();

    void dib_data();
    void dib();
    void discoveryFindsTheShippedChips();
    void ping();
    void frameChecks_data();
    void frameChecks();
    void longReadStaysInsideBuffer();

    void temperatures_data();
    void temperatures();
    void voltages_data();
    void voltages();
    void offset_data();
    void offset();

    void readingsAreRepeatable();
    void readingsArePlausible();

    void failAll();
    void failRate();
    void garbageAnswers();
    void silentChip();
    void requestLogIsCapped();
};

void TestSimulatedAdapter::initTestCase()
{
    QVERIFY(dir_.isValid());
    firmware_ = writeFile("fw.hex", ":0401000001020304F1\r\n:00000001FF\r\n");
    QVERIFY(!firmware_.isEmpty());
}

void TestSimulatedAdapter::crc8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");

    QTest::newRow("check string") << QByteArray("123456789") << 0xF4;
    QTest::newRow("empty") << QByteArray() << 0x00;
    QTest::newRow("one bit") << QByteArray("\x01", 1) << 0x07;
    QTest::newRow("top bit") << QByteArray("\x80", 1) << 0x89;
}

void TestSimulatedAdapter::crc8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    QCOMPARE(SimulatedAdapter::crc8(reinterpret_cast<const uint8_t *>(bytes.constData()),
                                    std::size_t(bytes.size())),
             uint8_t(crc));
}

void TestSimulatedAdapter::firmwareGate_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<bool>("loads");

    QTest::newRow("valid") << firmware_ << true;
    QTest::newRow("missing") << QFile::encodeName(dir_.filePath("none.hex")) << false;
    QTest::newRow("directory") << QFile::encodeName(dir_.path()) << false;
    QTest::newRow("corrupt") << writeFile("bad.hex", ":0401000001020304F2\n:00000001FF\n") << false;
    QTest::newRow("empty") << writeFile("empty.hex", "") << false;
    QTest::newRow("null path") << QByteArray() << false;
}

// Transactions work exactly when a good firmware file was loaded.
void TestSimulatedAdapter::firmwareGate()
{
    QFETCH(QByteArray, path);
    QFETCH(bool, loads);

    auto bus = SimulatedAdapter::shippedBus([this] { return now_; });
    Buffer buffer;
    buffer.fill(0x5A);
    buffer[0] = k6604;
    const Buffer before = buffer;
    QVERIFY(bus->VendorIORequest(kSstVendorRequest, 0, 0, kDirectionOut, 7, buffer.data()) < 0);
    QVERIFY(bus->VendorIORequest(kSstVendorRequest, 0, 0, kDirectionIn, 64, buffer.data()) < 0);
    QCOMPARE(buffer, before);

    const int16_t result = bus->LoadFirmWare(path.isNull() ? nullptr : path.constData());
    QCOMPARE(result >= 0, loads);
    QCOMPARE(bus->firmwareLoaded(), loads);
    QCOMPARE(transact(*bus, k6604, 1, 16, {kSstGetDib})[16] == k6604, loads);
}

void TestSimulatedAdapter::refusedCallsLeaveBufferAlone_data()
{
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("direction");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("nullBuffer");

    QTest::newRow("other request") << 0xDB << 0 << 0 << 1 << 64 << false;
    QTest::newRow("value set") << 0xDA << 1 << 0 << 1 << 64 << false;
    QTest::newRow("index set") << 0xDA << 0 << 1 << 1 << 64 << false;
    QTest::newRow("direction 2") << 0xDA << 0 << 0 << 2 << 64 << false;
    QTest::newRow("IN of 7") << 0xDA << 0 << 0 << 1 << 7 << false;
    QTest::newRow("IN of 63") << 0xDA << 0 << 0 << 1 << 63 << false;
    QTest::newRow("OUT of 64") << 0xDA << 0 << 0 << 0 << 64 << false;
    QTest::newRow("OUT of 6") << 0xDA << 0 << 0 << 0 << 6 << false;
    QTest::newRow("negative length") << 0xDA << 0 << 0 << 1 << -64 << false;
    QTest::newRow("null IN buffer") << 0xDA << 0 << 0 << 1 << 64 << true;
    QTest::newRow("null OUT buffer") << 0xDA << 0 << 0 << 0 << 7 << true;
}

// A refused call changes neither the buffer nor the pending answer.
void TestSimulatedAdapter::refusedCallsLeaveBufferAlone()
{
    QFETCH(int, request);
    QFETCH(int, value);
    QFETCH(int, index);
    QFETCH(int, direction);
    QFETCH(int, length);
    QFETCH(bool, nullBuffer);

    auto bus = loadedBus();
    QVERIFY(bus);
    Buffer buffer{k6604, 1, 16, kSstGetDib};
    QCOMPARE(bus->VendorIORequest(0xDA, 0, 0, 0, 7, buffer.data()), int16_t(7));

    buffer.fill(0x5A);
    const Buffer before = buffer;
    QVERIFY(bus->VendorIORequest(int16_t(request), value, index, int16_t(direction),
                                 int16_t(length), nullBuffer ? nullptr : buffer.data()) < 0);
    QCOMPARE(buffer, before);
    QCOMPARE(bus->outCount(), 1);
    QCOMPARE(bus->inCount(), 0);

    QCOMPARE(bus->VendorIORequest(0xDA, 0, 0, 1, 64, buffer.data()), int16_t(64));
    QCOMPARE(buffer[16], k6604);
}

void TestSimulatedAdapter::answerWithoutRequestIsIdle()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    Buffer buffer{};
    QCOMPARE(bus->VendorIORequest(0xDA, 0, 0, 1, 64, buffer.data()), int16_t(64));
    Buffer idle;
    idle.fill(0xFF);
    QCOMPARE(buffer, idle);

    // An answer is given once.
    transact(*bus, k6604, 0, 0);
    QCOMPARE(bus->VendorIORequest(0xDA, 0, 0, 1, 64, buffer.data()), int16_t(64));
    QCOMPARE(buffer, idle);
}

void TestSimulatedAdapter::dib_data()
{
    QTest::addColumn<int>("deviceId");
    QTest::addColumn<int>("address");

    QTest::newRow("QZT6604") << int(kDeviceIdQzt6604) << 0x40;
    QTest::newRow("QZT6605") << int(kDeviceIdQzt6605) << 0x5F;
    QTest::newRow("QZT6606") << int(kDeviceIdQzt6606) << 0x4C;
}

void TestSimulatedAdapter::dib()
{
    QFETCH(int, deviceId);
    QFETCH(int, address);

    SimulatedAdapter bus([this] { return now_; });
    bus.addChip(uint8_t(address), uint16_t(deviceId));
    QCOMPARE(bus.LoadFirmWare(firmware_.constData()), int16_t(0));

    const Buffer answer = transact(bus, uint8_t(address), 1, 16, {kSstGetDib});
    QCOMPARE(word(answer, 3), int(kSimulatedVendorId));
    QCOMPARE(word(answer, 5), deviceId);
    QCOMPARE(int(answer[16]), address);
    QCOMPARE(answer[17], SimulatedAdapter::crc8(answer.data() + 1, 16));
}

// The program's discovery rule over 0x40..0x5F finds exactly the two chips.
void TestSimulatedAdapter::discoveryFindsTheShippedChips()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    QList<int> found;
    for (int address = 0x40; address <= 0x5F; ++address) {
        const Buffer answer = transact(*bus, uint8_t(address), 1, 16, {kSstGetDib});
        if (answer[16] == address && (answer[5] == 0x04 || answer[5] == 0x05 || answer[5] == 0x06))
            found.append(address);
        if (!bus->hasChip(uint8_t(address)))
            QCOMPARE(answer[16], uint8_t(0xFF));
    }
    QCOMPARE(found, (QList<int>{k6604, k6605}));
}

void TestSimulatedAdapter::ping()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    const Buffer answer = transact(*bus, k6605, 0, 0, {0x00});
    const uint8_t request[] = {k6605, 0, 0};
    QCOMPARE(answer[0], SimulatedAdapter::crc8(request, 3));
    QCOMPARE(answer[1], uint8_t(0)); // CRC of no data
}

void TestSimulatedAdapter::frameChecks_data()
{
    QTest::addColumn<int>("writeLength");
    QTest::addColumn<int>("carried");

    QTest::newRow("command only") << 1 << 1;
    QTest::newRow("command + 2 data") << 3 << 3;
    QTest::newRow("all four") << 4 << 4;
    QTest::newRow("more than fits") << 200 << 4;
}

// The status byte covers only the request bytes that actually went out.
void TestSimulatedAdapter::frameChecks()
{
    QFETCH(int, writeLength);
    QFETCH(int, carried);

    auto bus = loadedBus();
    QVERIFY(bus);
    const std::vector<uint8_t> bytes{0x42, 0x11, 0x22, 0x33};
    const Buffer answer = transact(*bus, k6605, uint8_t(writeLength), 5, bytes);
    std::vector<uint8_t> request{k6605, uint8_t(writeLength), 5};
    request.insert(request.end(), bytes.begin(), bytes.begin() + carried);
    QCOMPARE(answer[0], SimulatedAdapter::crc8(request.data(), request.size()));
    QCOMPARE(answer[6], SimulatedAdapter::crc8(answer.data() + 1, 5));
}

void TestSimulatedAdapter::longReadStaysInsideBuffer()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    std::array<uint8_t, 96> guarded;
    guarded.fill(0xA5);
    uint8_t *buffer = guarded.data() + 16;
    const uint8_t request[7] = {k6605, 1, 255, kSstGetDib, 0, 0, 0};
    std::copy(std::begin(request), std::end(request), buffer);
    QCOMPARE(bus->VendorIORequest(0xDA, 0, 0, 0, 7, buffer), int16_t(7));
    QCOMPARE(bus->VendorIORequest(0xDA, 0, 0, 1, 64, buffer), int16_t(64));

    for (int i = 0; i < 16; ++i) {
        QCOMPARE(guarded[i], uint8_t(0xA5));
        QCOMPARE(guarded[80 + i], uint8_t(0xA5));
    }
    QCOMPARE(buffer[16], k6605);
    QCOMPARE(buffer[63], SimulatedAdapter::crc8(buffer + 1, 62));
}

void TestSimulatedAdapter::temperatures_data()
{
    QTest::addColumn<double>("celsius");
    QTest::addColumn<int>("raw");

    QTest::newRow("30") << 30.0 << 0x0780;
    QTest::newRow("0") << 0.0 << 0x0000;
    QTest::newRow("125.25") << 125.25 << 0x1F50;
    QTest::newRow("-0.5") << -0.5 << 0xFFE0;
    QTest::newRow("-40") << -40.0 << 0xF600;
    QTest::newRow("-55.75") << -55.75 << 0xF210;
    QTest::newRow("highest") << 511.0 << 0x7FC0;
    QTest::newRow("lowest") << -512.0 << 0x8000;
}

// Pinned readings come back as the words the program decodes to the same
// value; the remote channel carries the same encoding.
void TestSimulatedAdapter::temperatures()
{
    QFETCH(double, celsius);
    QFETCH(int, raw);

    auto bus = loadedBus();
    QVERIFY(bus);
    bus->setTemperatures(k6604, celsius, 20.0);
    Buffer answer = transact(*bus, k6604, 1, 4, {kSstReadTemperatures});
    QCOMPARE(word(answer, 1), raw);
    QCOMPARE(decodeTemperature(word(answer, 1)), celsius);
    QCOMPARE(decodeTemperature(word(answer, 3)), 20.0);

    bus->setTemperatures(k6604, 20.0, celsius);
    answer = transact(*bus, k6604, 1, 4, {kSstReadTemperatures});
    QCOMPARE(word(answer, 3), raw);
}

void TestSimulatedAdapter::voltages_data()
{
    QTest::addColumn<int>("deviceId");
    QTest::addColumn<bool>("hasVoltages");

    QTest::newRow("QZT6604") << int(kDeviceIdQzt6604) << false;
    QTest::newRow("QZT6605") << int(kDeviceIdQzt6605) << true;
    QTest::newRow("QZT6606") << int(kDeviceIdQzt6606) << true;
}

// Pinned supplies come back in 1/1024 V steps; a QZT6604 answers with zero
// data but a proper status byte.
void TestSimulatedAdapter::voltages()
{
    QFETCH(int, deviceId);
    QFETCH(bool, hasVoltages);

    constexpr uint8_t address = 0x4C;
    SimulatedAdapter bus([this] { return now_; });
    bus.addChip(address, uint16_t(deviceId));
    QCOMPARE(bus.LoadFirmWare(firmware_.constData()), int16_t(0));
    const std::array<double, 5> pinned{12.1, 4.95, 3.3, 2.5, 1.2};
    bus.setVoltages(address, pinned);

    const Buffer answer = transact(bus, address, 1, 16, {kSstReadVoltages});
    const uint8_t request[] = {address, 1, 16, kSstReadVoltages};
    QCOMPARE(answer[0], SimulatedAdapter::crc8(request, 4));
    QCOMPARE(answer[17], SimulatedAdapter::crc8(answer.data() + 1, 16));
    for (int i = 0; i < 5; ++i) {
        const int expected = hasVoltages ? int(std::lround(pinned[i] * 1024)) : 0;
        QCOMPARE(word(answer, 1 + 2 * i), expected);
    }
    for (int i = 11; i <= 16; ++i)
        QCOMPARE(answer[i], uint8_t(0));

    bus.clearOverrides(address);
    const Buffer drifting = transact(bus, address, 1, 16, {kSstReadVoltages});
    QCOMPARE(std::abs(word(drifting, 1) / 1024.0 - 12.0) < 0.2, hasVoltages);
}

void TestSimulatedAdapter::offset_data()
{
    QTest::addColumn<int>("offsetWord");

    QTest::newRow("zero") << 0x0000;
    QTest::newRow("+5") << 0x0140;
    QTest::newRow("-4") << 0xFF00;
    QTest::newRow("half rounds to even 0") << 0x0020;
    QTest::newRow("1.5 rounds to even 2") << 0x0060;
    QTest::newRow("just above half") << 0x0021;
    QTest::newRow("1023 is -1") << 0xFFC0;
    QTest::newRow("1023.5 rounds to even 1024, which is 0") << 0xFFE0;
}

// A written offset reads back unchanged and shifts only the remote reading.
void TestSimulatedAdapter::offset()
{
    QFETCH(int, offsetWord);
    const auto low = uint8_t(offsetWord & 0xFF);
    const auto high = uint8_t(offsetWord >> 8);

    auto bus = loadedBus();
    QVERIFY(bus);
    bus->setTemperatures(k6605, 30.0, 45.0);
    const Buffer written = transact(*bus, k6605, 3, 0, {kSstExternalOffset, low, high});
    const uint8_t request[] = {k6605, 3, 0, kSstExternalOffset, low, high};
    QCOMPARE(written[0], SimulatedAdapter::crc8(request, 6));
    QCOMPARE(int(bus->offsetRegister(k6605)), offsetWord);

    const Buffer read = transact(*bus, k6605, 1, 2, {kSstExternalOffset});
    QCOMPARE(word(read, 1), offsetWord);

    const Buffer temperatures = transact(*bus, k6605, 1, 4, {kSstReadTemperatures});
    QCOMPARE(decodeTemperature(word(temperatures, 1)), 30.0);
    QCOMPARE(decodeTemperature(word(temperatures, 3)), 45.0 + decodeOffset(offsetWord));
    QCOMPARE(bus->offsetRegister(k6604), uint16_t(0));

    // Without both data bytes the register keeps its word.
    transact(*bus, k6605, 2, 0, {kSstExternalOffset, uint8_t(~low), uint8_t(~high)});
    QCOMPARE(int(bus->offsetRegister(k6605)), offsetWord);
}

// Equal seed and clock give equal readings whatever was read before.
void TestSimulatedAdapter::readingsAreRepeatable()
{
    // The data bytes only: the status byte differs between addresses anyway.
    const auto read = [](SimulatedAdapter &bus, uint8_t address, uint8_t command) {
        const Buffer answer = transact(bus, address, 1, 16, {command});
        return std::vector<uint8_t>(answer.begin() + 1, answer.begin() + 17);
    };
    auto a = loadedBus(7);
    auto b = loadedBus(7);
    auto other = loadedBus(8);
    QVERIFY(a && b && other);

    for (int i = 0; i < 10; ++i) {
        read(*a, k6605, kSstReadTemperatures);
        now_ += 1000;
    }
    const std::vector<uint8_t> temperatures = read(*a, k6605, kSstReadTemperatures);
    const std::vector<uint8_t> volts = read(*a, k6605, kSstReadVoltages);
    QCOMPARE(read(*b, k6605, kSstReadTemperatures), temperatures);
    QCOMPARE(read(*b, k6605, kSstReadVoltages), volts);
    QVERIFY(read(*other, k6605, kSstReadTemperatures) != temperatures);
    QVERIFY(read(*a, k6604, kSstReadTemperatures) != temperatures);

    now_ += 60'000;
    QVERIFY(read(*a, k6605, kSstReadTemperatures) != temperatures);
    QVERIFY(read(*a, k6605, kSstReadVoltages) != volts);
}

// Over an hour the drifting model stays near its nominal values and moves.
void TestSimulatedAdapter::readingsArePlausible()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    double lowInternal = 1e9, highInternal = -1e9;
    for (int minute = 0; minute < 60; ++minute, now_ += 60'000) {
        for (uint8_t address : {k6604, k6605}) {
            const Buffer t = transact(*bus, address, 1, 4, {kSstReadTemperatures});
            const double internal = decodeTemperature(word(t, 1));
            const double remote = decodeTemperature(word(t, 3));
            QVERIFY2(std::abs(internal - 30.0) < 5.0, qPrintable(QString::number(internal)));
            QVERIFY2(std::abs(remote - 45.0) < 7.0, qPrintable(QString::number(remote)));
            lowInternal = std::min(lowInternal, internal);
            highInternal = std::max(highInternal, internal);
        }
        const Buffer v = transact(*bus, k6605, 1, 16, {kSstReadVoltages});
        const double nominal[] = {12.0, 5.0, 3.3, 2.5, 1.2};
        for (int i = 0; i < 5; ++i)
            QVERIFY(std::abs(word(v, 1 + 2 * i) / 1024.0 / nominal[i] - 1.0) < 0.02);
    }
    QVERIFY(highInternal - lowInternal > 1.0);
}

void TestSimulatedAdapter::failAll()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    bus->setFailAll(true);
    Buffer buffer{k6604, 1, 16, kSstGetDib};
    const Buffer before = buffer;
    QVERIFY(bus->VendorIORequest(0xDA, 0, 0, 0, 7, buffer.data()) < 0);
    QVERIFY(bus->VendorIORequest(0xDA, 0, 0, 1, 64, buffer.data()) < 0);
    QVERIFY(bus->LoadFirmWare(firmware_.constData()) < 0);
    QCOMPARE(buffer, before);
    QCOMPARE(bus->outCount(), 0);
    QCOMPARE(bus->failedCount(), 3);

    // Plugged in again, the board works with the firmware it had.
    bus->setFailAll(false);
    QCOMPARE(transact(*bus, k6604, 1, 16, {kSstGetDib})[16], k6604);
}

void TestSimulatedAdapter::failRate()
{
    const auto pattern = [this](double rate, uint32_t seed) {
        auto bus = loadedBus(seed);
        bus->setFailRate(rate);
        QList<bool> failed;
        Buffer buffer{k6604, 0, 0};
        for (int i = 0; i < 400; ++i)
            failed.append(bus->VendorIORequest(0xDA, 0, 0, 0, 7, buffer.data()) < 0);
        return failed;
    };
    QVERIFY(!pattern(0.0, 1).contains(true));
    QVERIFY(!pattern(1.0, 1).contains(false));
    const QList<bool> half = pattern(0.5, 1);
    QVERIFY(half.count(true) > 120 && half.count(true) < 280);
    QCOMPARE(pattern(0.5, 1), half);
    QVERIFY(pattern(0.5, 2) != half);
}

void TestSimulatedAdapter::garbageAnswers()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    const Buffer proper = transact(*bus, k6604, 1, 16, {kSstGetDib});
    bus->setGarbageAnswers(true);
    const Buffer first = transact(*bus, k6604, 1, 16, {kSstGetDib});
    const Buffer second = transact(*bus, k6604, 1, 16, {kSstGetDib});
    QVERIFY(first != proper);
    QVERIFY(first != second);
    bus->setGarbageAnswers(false);
    QCOMPARE(transact(*bus, k6604, 1, 16, {kSstGetDib}), proper);
}

void TestSimulatedAdapter::silentChip()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    bus->setSilent(k6605, true);
    Buffer idle;
    idle.fill(0xFF);
    QCOMPARE(transact(*bus, k6605, 1, 16, {kSstGetDib}), idle);
    QCOMPARE(transact(*bus, k6604, 1, 16, {kSstGetDib})[16], k6604);
    bus->setSilent(k6605, false);
    QCOMPARE(transact(*bus, k6605, 1, 16, {kSstGetDib})[16], k6605);
}

void TestSimulatedAdapter::requestLogIsCapped()
{
    auto bus = loadedBus();
    QVERIFY(bus);
    const int total = int(SimulatedAdapter::kRequestLogCapacity) + 100;
    for (int i = 0; i < total; ++i)
        transact(*bus, uint8_t(i), 0, 0);
    QCOMPARE(bus->outCount(), total);
    QCOMPARE(bus->inCount(), total);
    QCOMPARE(bus->sentRequests().size(), SimulatedAdapter::kRequestLogCapacity);
    QCOMPARE(bus->sentRequests().back()[0], uint8_t(total - 1));
    QCOMPARE(bus->sentRequests().front()[0], uint8_t(100));
}

QTEST_GUILESS_MAIN(TestSimulatedAdapter)
#include "test_simulatedadapter.moc"
