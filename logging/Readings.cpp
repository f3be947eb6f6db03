#include "logging/Readings.h"

#include "common/TextFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <array>

namespace qzt {

namespace {

constexpr std::array<const char *, kChannelCount> kChannelKeys{
    "internal", "external", "offset", "12v", "5v", "vcc", "2.5v", "vccp",
};

ReadingField channelField(Channel c, float v, const char *unit)
{
    return {QLatin1String(channelKey(c)), numberTextTrimmed(v) + QString::fromUtf8(unit),
            jsonNumber(v)};
}

} // namespace

const char *channelKey(Channel c)
{
    return kChannelKeys[std::size_t(c)];
}

QJsonValue jsonNumber(float v)
{
    return numberTextTrimmed(v).toDouble();
}

ReadingField hexField(const char *key, uint32_t v)
{
    return {QLatin1String(key), QStringLiteral("0x") + hexText(v), qint64(v)};
}

Reading dibReading(const SSTStuffModule &s)
{
    return {hexField("capability", s.DibCapability),
            hexField("version", s.DibVersion),
            hexField("vendor_id", uint32_t(s.DibVendorId)),
            hexField("device_id", uint32_t(s.DibDeviceId)),
            hexField("device_interface", s.DibDeviceInterface),
            hexField("function_interface", s.DibFunctionInterface),
            hexField("silicon_revision", s.DibSiliconRevision),
            hexField("client_address", s.DibClientAddress)};
}

Reading temperatureReading(const SSTStuffModule &s)
{
    return {channelField(Channel::Internal, s.IntTemp, "\u00B0C"),
            channelField(Channel::External, s.ExtTemp, "\u00B0C")};
}

Reading voltageReading(const SSTStuffModule &s)
{
    Reading r;
    for (std::size_t k = 0; k < s.Volts.size(); ++k)
        r.append(channelField(Channel(kTemperatureChannels + k), s.Volts[k], "V"));
    return r;
}

Reading statusReading(const SSTStuffModule &s)
{
    return {hexField("status", s.SSTStatus)};
}

Reading offsetReading(const SSTStuffModule &s)
{
    return {{QLatin1String(channelKey(Channel::ExternalOffset)), numberTextTrimmed(s.ExtOffset),
             s.ExtOffset}};
}

Reading answerReading(std::span<const uint8_t> bytes)
{
    QStringList text;
    QJsonArray json;
    for (const uint8_t b : bytes) {
        text << hexText(b);
        json.append(int(b));
    }
    return {{QStringLiteral("bytes"), text.join(QLatin1Char(' ')), json}};
}

QByteArray readingText(const Reading &reading)
{
    QStringList parts;
    for (const ReadingField &f : reading)
        parts << (f.key.isEmpty() ? f.text : f.key + QLatin1Char('=') + f.text);
    return parts.join(QLatin1Char(' ')).toUtf8();
}

QByteArray readingJson(const Reading &reading)
{
    QJsonObject object;
    for (const ReadingField &f : reading)
        object.insert(f.key, f.json);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace qzt
