#include "sst/SimulatedAdapter.h"

#include "sst/IntelHex.h"
#include "sst/Models.h"
#include "sst/SimulatedChip.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace qzt {

namespace {

using Answer = std::array<uint8_t, kAnswerLength>;

// Client data fits in answer bytes 1..62; byte 63 then holds the data CRC.
constexpr std::size_t kMaxAnswerData = kAnswerLength - 2;
// At most command + 3 data bytes travel in request bytes 3..6.
constexpr std::size_t kMaxCarried = kRequestLength - 3;

// Salts that keep the hash streams of different purposes apart.
enum Salt : uint64_t {
    kSaltFailure = 0x6661696c,
};

// The model a simulated chip is: the catalogue's identity byte in the low
// byte of its device ID, and the model's family in the high byte.
const ModelInfo *modelOf(uint16_t deviceId)
{
    const ModelInfo *m = modelByIdentity(uint8_t(deviceId & 0xFF));
    return m && (deviceId >> 8) == (m->deviceId >> 8) ? m : nullptr;
}

bool hasVoltages(uint16_t deviceId)
{
    const ModelInfo *m = modelOf(deviceId);
    return m && m->hasVoltages;
}

// The remote offset as the chip applies it: word / 64 rounded half to even,
// and values above 511 are negative (two's complement in 1024).
int decodeOffset(uint16_t word)
{
    int whole = word >> 6;
    const int fraction = word & 63;
    if (fraction > 32 || (fraction == 32 && (whole & 1) != 0))
        ++whole;
    return whole > 511 ? whole - 1024 : whole;
}

// 1/64 degree steps; negative values as T + 1024. Clamped to what the word
// can express so odd inputs (huge, NaN) stay well defined.
uint16_t encodeTemperature(double celsius)
{
    if (std::isnan(celsius))
        celsius = 0.0;
    celsius = std::clamp(celsius, -512.0, 511.0 + 63.0 / 64.0);
    const double scaled = celsius >= 0.0 ? celsius * 64.0 : (celsius + 1024.0) * 64.0;
    return static_cast<uint16_t>(std::lround(scaled) & 0xFFFF);
}

// 1/1024 volt steps.
uint16_t encodeVolts(double volts)
{
    if (std::isnan(volts))
        volts = 0.0;
    volts = std::clamp(volts, 0.0, 65535.0 / 1024.0);
    return static_cast<uint16_t>(std::lround(volts * 1024.0));
}

void putWord(std::array<uint8_t, 256> &data, std::size_t at, uint16_t word)
{
    data[at] = static_cast<uint8_t>(word & 0xFF);
    data[at + 1] = static_cast<uint8_t>(word >> 8);
}

Answer idleBus()
{
    Answer answer;
    answer.fill(0xFF);
    return answer;
}

} // namespace

SimulatedAdapter::SimulatedAdapter(Clock clockMs, uint32_t seed)
    : clock_(std::move(clockMs)), seed_(seed)
{
    if (!clock_) {
        clock_ = [] {
            using namespace std::chrono;
            return static_cast<int64_t>(
                duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
        };
    }
}

std::unique_ptr<SimulatedAdapter> SimulatedAdapter::shippedBus(Clock clockMs, uint32_t seed)
{
    auto adapter = std::make_unique<SimulatedAdapter>(std::move(clockMs), seed);
    adapter->addChip(0x48, kDeviceIdQzt6604);
    adapter->addChip(0x4A, kDeviceIdQzt6605);
    return adapter;
}

int16_t SimulatedAdapter::LoadFirmWare(const char *path)
{
    // An unplugged board cannot take firmware, but what it holds is kept so
    // a restored link works again without a second download.
    const auto fail = [this](int16_t result, std::string why) {
        failure_ = std::move(why);
        return result;
    };
    if (failAll_)
        return fail(kUnplugged, "the simulated board is unplugged");
    firmwareLoaded_ = false;
    pending_.reset();

    if (path == nullptr)
        return fail(kFileUnreadable, "no firmware file was given");
    QFile file(QFile::decodeName(path));
    const std::string name = std::string("the firmware file ") + path;
    if (!file.open(QIODevice::ReadOnly))
        return fail(kFileUnreadable, name + " cannot be read: " + file.errorString().toStdString());
    // Read one byte past the limit to tell an oversized file from a full one.
    const QByteArray text = file.read(kMaxFirmwareFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return fail(kFileUnreadable, name + " cannot be read: " + file.errorString().toStdString());
    if (text.size() > kMaxFirmwareFileBytes)
        return fail(kBadFirmware, name + " is larger than 16 MiB");
    QString error;
    if (!parseIntelHex(text, &error))
        return fail(kBadFirmware, name + " is not Intel HEX: " + error.toStdString());
    firmwareLoaded_ = true;
    failure_.clear();
    return 0;
}

bool isStandInFirmware(const IntelHexImage &image)
{
    const std::string_view mark(kStandInFirmwareMark);
    return std::any_of(image.segments.begin(), image.segments.end(), [&](const auto &segment) {
        return std::search(segment.bytes.begin(), segment.bytes.end(), mark.begin(), mark.end()) !=
               segment.bytes.end();
    });
}

int16_t SimulatedAdapter::VendorIORequest(int16_t request, int32_t value, int32_t index,
                                          int16_t direction, int16_t length, uint8_t *buffer)
{
    const uint64_t serial = callSerial_++;
    const auto refuse = [](int16_t result) { return result; };

    if (failAll_)
        return refuse(kUnplugged);

    const bool out = direction == kDirectionOut && length == kRequestLength;
    const bool in = direction == kDirectionIn && length == kAnswerLength;
    if (request != kSstVendorRequest || value != 0 || index != 0 || !(out || in) ||
        buffer == nullptr)
        return refuse(kBadRequest);
    if (!firmwareLoaded_)
        return refuse(kNoFirmware);
    if (failRate_ > 0.0 && unitOf(simulationHash({seed_, serial, kSaltFailure})) < failRate_)
        return refuse(kTransferFailed);

    if (out) {
        Request taken{};
        std::copy_n(buffer, kRequestLength, taken.begin());
        pending_ = transfer(taken, clock_());
        sentRequests_.push_back(taken);
        if (sentRequests_.size() > kRequestLogCapacity)
            sentRequests_.pop_front();
        return kRequestLength;
    }

    const Answer answer = pending_.value_or(idleBus());
    pending_.reset();
    std::copy(answer.begin(), answer.end(), buffer);
    return kAnswerLength;
}

std::string SimulatedAdapter::describe() const
{
    std::string text = "simulated bus";
    const char *separator = ": ";
    for (const auto &[address, chip] : chips_) {
        char entry[48];
        if (modelOf(chip.deviceId))
            std::snprintf(entry, sizeof entry, "QZT%04X at 0x%02X", unsigned(chip.deviceId),
                          unsigned(address));
        else
            std::snprintf(entry, sizeof entry, "chip 0x%04X at 0x%02X", unsigned(chip.deviceId),
                          unsigned(address));
        text += separator;
        text += entry;
        separator = ", ";
    }
    if (chips_.empty())
        text += " without chips";
    return text;
}

void SimulatedAdapter::addChip(uint8_t address, uint16_t deviceId)
{
    chips_.insert_or_assign(address, Chip{deviceId, 0, ChipSignals(seed_, address)});
}

void SimulatedAdapter::setTemperatures(uint8_t address, double internal, double remote)
{
    if (auto it = chips_.find(address); it != chips_.end())
        it->second.signalModel.pinTemperatures(internal, remote);
}

void SimulatedAdapter::setVoltages(uint8_t address, const std::array<double, 5> &volts)
{
    if (auto it = chips_.find(address); it != chips_.end())
        it->second.signalModel.pinVolts(volts);
}

uint16_t SimulatedAdapter::offsetRegister(uint8_t address) const
{
    const auto it = chips_.find(address);
    return it == chips_.end() ? 0 : it->second.offsetWord;
}

void SimulatedAdapter::setFailRate(double probability)
{
    // NaN and anything not above 0 mean never.
    failRate_ = probability > 0.0 ? std::min(probability, 1.0) : 0.0;
}

uint8_t SimulatedAdapter::crc8(const uint8_t *data, std::size_t n)
{
    uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

SimulatedAdapter::Answer SimulatedAdapter::transfer(const Request &request, int64_t nowMs)
{
    // Nobody answers: the bus stays high and the adapter reads all ones.
    const auto it = chips_.find(request[0]);
    if (it == chips_.end())
        return idleBus();

    // A write length above 4 still carries only what fits in bytes 3..6.
    const std::size_t carried = std::min<std::size_t>(request[1], kMaxCarried);
    const std::size_t readLength = request[2];

    Answer answer{};
    // Bytes 0..2 (address, lengths) and 3.. (command, data) lie in sequence.
    answer[0] = crc8(request.data(), 3 + carried);

    std::array<uint8_t, 256> data{};
    if (carried >= 1)
        respond(request[0], it->second, request, carried, nowMs, data);

    // Longer reads are cut so the data CRC still fits at byte 63; it then
    // covers only the bytes that were returned.
    const std::size_t returned = std::min(readLength, kMaxAnswerData);
    std::copy_n(data.begin(), returned, answer.begin() + 1);
    answer[returned + 1] = crc8(data.data(), returned);
    return answer;
}

void SimulatedAdapter::respond(uint8_t address, Chip &chip, const Request &request,
                               std::size_t carried, int64_t nowMs,
                               std::array<uint8_t, 256> &data) const
{
    switch (request[3]) {
    case kSstGetDib:
        data[0] = 0xC1; // device capability: fixed address, FCS supported
        data[1] = 0x10; // interface version 1, revision 0
        putWord(data, 2, kSimulatedVendorId);
        putWord(data, 4, chip.deviceId);
        data[6] = 0x01;  // device interface: sensor
        data[7] = 0x03;  // function interface: temperature and voltage monitor
        data[14] = 0x02; // silicon revision
        data[15] = address;
        break;
    case kSstReadTemperatures: {
        // The remote reading adds the offset register, as the chip does.
        const std::array<double, 2> celsius = chip.signalModel.temperatures(nowMs);
        putWord(data, 0, encodeTemperature(celsius[0]));
        putWord(data, 2, encodeTemperature(celsius[1] + decodeOffset(chip.offsetWord)));
        break;
    }
    case kSstReadVoltages:
        // A QZT6604 has no voltage registers and answers with zero data, as
        // it does for any command it does not know.
        if (hasVoltages(chip.deviceId)) {
            const std::array<double, 5> supply = chip.signalModel.volts(nowMs);
            for (std::size_t i = 0; i < supply.size(); ++i)
                putWord(data, 2 * i, encodeVolts(supply[i]));
        }
        break;
    case kSstExternalOffset:
        // The write needs both data bytes; a shorter write changes nothing.
        // Any read returns the register as it now stands.
        if (carried >= 3)
            chip.offsetWord = static_cast<uint16_t>(request[4] | (request[5] << 8));
        putWord(data, 0, chip.offsetWord);
        break;
    default:
        break;
    }
}

} // namespace qzt
