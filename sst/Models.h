// The catalogue of chip models and their channels: every fact about a model
// or a channel that more than one part of the program needs (names, identity
// bytes, the reads of a logging tick, column names, keys, legends, units,
// colours, defaults) stands here once, as constexpr data. Discovery, the
// simulated adapter, the log format, the readings, the logging, graph and
// log viewer windows and the command-line companion all read it. No widgets:
// colours are plain 0xRRGGBB numbers.
#pragma once

#include "sst/DeviceState.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace qzt {

enum class Model { QZT6604, QZT6605 };

// The channels in column order: three temperature channels, then the five
// voltages that only the QZT6605 has.
enum class Channel {
    Internal,
    External,
    ExternalOffset,
    Volts12,
    Volts5,
    Vcc,
    Volts2_5,
    Vccp,
};
inline constexpr std::size_t kChannelCount = 8;
inline constexpr std::size_t kTemperatureChannels = 3;

// The SST reads of one logging tick, in the order they run.
enum class Read { Temperatures, Offset, Voltages };
inline constexpr std::size_t kReadCount = 3;

// The two groups of a log line: the voltages stand after an empty column.
enum class Group { Temperature, Voltage };

struct ChannelInfo {
    Channel channel;
    Group group;
    const char *column;      // column name in the log header, without its comma
    const char *key;         // short lowercase name: readings' keys, --channels
    const char16_t *legend;  // live graph legend in front of the value
    const char16_t *caption; // live graph legend before the first reading; null: not charted live
    const char16_t *unit;    // after the value in legends and readings
    uint32_t rgb;            // trace and legend colour, 0xRRGGBB
    bool loggedByDefault;    // a logging window opens with its box checked
    const char *checkBox;    // the logging window's check box: objectName
    const char *checkText;   // and caption
    Read read;               // the read of a tick that fills the field
    // The device-state field that holds the value: a float field, or the
    // integer offset when `integer` is set.
    float (*value)(const SSTStuffModule &);
    int32_t (*integer)(const SSTStuffModule &);
};

// clang-format off
inline constexpr std::array<ChannelInfo, kChannelCount> kChannels{{
    {Channel::Internal, Group::Temperature, "Internal", "internal", u"Internal: ", u"Internal: ",
     u"\u00B0C", 0xFF0000, true, "chkInternal", "Save Internal Temperature Readings",
     Read::Temperatures, [](const SSTStuffModule &s) { return s.IntTemp; }, nullptr},
    {Channel::External, Group::Temperature, "External", "external", u"External: ", u"External:",
     u"\u00B0C", 0x0000FF, true, "chkExternal", "Save External Temperature Readings",
     Read::Temperatures, [](const SSTStuffModule &s) { return s.ExtTemp; }, nullptr},
    {Channel::ExternalOffset, Group::Temperature, "External Offset", "offset", u"External Offset: ",
     nullptr, u"\u00B0C", 0x800080, false, "chkExternalOffset", "Save External Temperature Offset",
     Read::Offset, nullptr, [](const SSTStuffModule &s) { return s.ExtOffset; }},
    {Channel::Volts12, Group::Voltage, "12V", "12v", u"12V: ", u"12V", u"V", 0xFF0000, true,
     "chk12V", "Save 12V Readings", Read::Voltages,
     [](const SSTStuffModule &s) { return s.Volts[0]; }, nullptr},
    {Channel::Volts5, Group::Voltage, "5V", "5v", u"5V: ", u"5V", u"V", 0x0000FF, true,
     "chk5V", "Save 5V Readings", Read::Voltages,
     [](const SSTStuffModule &s) { return s.Volts[1]; }, nullptr},
    {Channel::Vcc, Group::Voltage, "Vcc", "vcc", u"Vcc: ", u"Vcc", u"V", 0x000080, true,
     "chkVcc", "Save Vcc Readings", Read::Voltages,
     [](const SSTStuffModule &s) { return s.Volts[2]; }, nullptr},
    {Channel::Volts2_5, Group::Voltage, "2.5V", "2.5v", u"2.5V: ", u"2.5V", u"V", 0x00FF00, true,
     "chk2V", "Save 2.5V Readings", Read::Voltages,
     [](const SSTStuffModule &s) { return s.Volts[3]; }, nullptr},
    {Channel::Vccp, Group::Voltage, "Vccp", "vccp", u"Vccp: ", u"Vccp", u"V", 0x000000, true,
     "chkVccp", "Save Vccp Readings", Read::Voltages,
     [](const SSTStuffModule &s) { return s.Volts[4]; }, nullptr},
}};
// clang-format on

// Indexed by Channel.
inline constexpr bool kChannelsInOrder = [] {
    for (std::size_t i = 0; i < kChannels.size(); ++i)
        if (kChannels[i].channel != Channel(i))
            return false;
    return true;
}();
static_assert(kChannelsInOrder);

inline constexpr const ChannelInfo &channelInfo(Channel c)
{
    return kChannels[std::size_t(c)];
}

inline constexpr std::array<Channel, 3> kTemperatureChannelList{
    Channel::Internal, Channel::External, Channel::ExternalOffset};
inline constexpr std::array<Channel, kChannelCount> kAllChannels{
    Channel::Internal, Channel::External, Channel::ExternalOffset, Channel::Volts12,
    Channel::Volts5,   Channel::Vcc,      Channel::Volts2_5,       Channel::Vccp};
// The channels SSTGetTemps fills, those SSTGetVolts fills: the traces of
// the live temperature graph and of the voltage graph.
inline constexpr std::array<Channel, 2> kTemperatures{Channel::Internal, Channel::External};
inline constexpr std::array<Channel, 5> kVoltageChannels{
    Channel::Volts12, Channel::Volts5, Channel::Vcc, Channel::Volts2_5, Channel::Vccp};
inline constexpr std::array<Read, 2> kTemperatureReads{Read::Temperatures, Read::Offset};
inline constexpr std::array<Read, 3> kAllReads{Read::Temperatures, Read::Offset, Read::Voltages};
// Low byte of the device ID (answer byte 5 of GetDIB) that names each model.
inline constexpr std::array<uint8_t, 1> kIdentity04{0x04};
inline constexpr std::array<uint8_t, 2> kIdentity05{0x05, 0x06};

struct ModelInfo {
    Model model;
    const char *suffix; // "04" / "05": ends every per-model name
    const char *name;   // "QZT6604" / "QZT6605": line 1 of its logs, graph titles
    int16_t DeclarationsModule::*address;
    // Identity: the device ID the model's chip reports in its DIB; discovery
    // names the model by the ID's low byte, which is one of `identities`.
    uint16_t deviceId;
    std::span<const uint8_t> identities;
    std::span<const Read> reads;       // of a logging tick, in order
    std::span<const Channel> channels; // in column order
    bool hasVoltages;
};

inline constexpr ModelInfo kModel04{
    Model::QZT6604, "04",        "QZT6604",         &DeclarationsModule::Address04,
    0x6604,         kIdentity04, kTemperatureReads, kTemperatureChannelList,
    false};
inline constexpr ModelInfo kModel05{
    Model::QZT6605, "05",         "QZT6605", &DeclarationsModule::Address05, 0x6605, kIdentity05,
    kAllReads,      kAllChannels, true};
inline constexpr std::array<const ModelInfo *, 2> kModels{&kModel04, &kModel05};

inline constexpr const ModelInfo &modelInfo(Model m)
{
    return m == Model::QZT6604 ? kModel04 : kModel05;
}

// The model a chip is, from the low byte of its device ID; null for a chip
// of neither model.
inline constexpr const ModelInfo *modelByIdentity(uint8_t deviceIdLow)
{
    for (const ModelInfo *m : kModels)
        for (const uint8_t id : m->identities)
            if (id == deviceIdLow)
                return m;
    return nullptr;
}

// The model's bus address narrowed to the 8-bit SSTAddress, as every window
// stores it before a command.
inline uint8_t modelAddress(const DeviceState &state, Model m)
{
    return uint8_t(state.Declarations.*(modelInfo(m).address));
}

} // namespace qzt
