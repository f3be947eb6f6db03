#include "logging/Readings.h"

#include "common/TextFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace qzt {

namespace {

// A float channel: its key, its value and unit as text, the value as JSON.
Reading channelFields(std::span<const Channel> channels, const SSTStuffModule &s)
{
    Reading r;
    for (const Channel c : channels) {
        const ChannelInfo &info = channelInfo(c);
        const float v = info.value(s);
        r.append({QLatin1String(info.key), numberTextTrimmed(v) + QString::fromUtf16(info.unit),
                  jsonNumber(v)});
    }
    return r;
}

} // namespace

QJsonValue jsonNumber(float v)
{
    return numberTextTrimmed(v).toDouble();
}

QString fixedHex(uint32_t v, int digits)
{
    return QStringLiteral("0x") + QString::number(v, 16).toUpper().rightJustified(digits, u'0');
}

ReadingField hexField(const char *key, uint32_t v, int digits)
{
    const QString text = fixedHex(v, digits);
    return {QLatin1String(key), text, text};
}

Reading dibReading(const SSTStuffModule &s)
{
    return {hexField("capability", s.DibCapability),
            hexField("version", s.DibVersion),
            hexField("vendor_id", uint32_t(s.DibVendorId) & 0xFFFF, 4),
            hexField("device_id", uint32_t(s.DibDeviceId) & 0xFFFF, 4),
            hexField("device_interface", s.DibDeviceInterface),
            hexField("function_interface", s.DibFunctionInterface),
            hexField("silicon_revision", s.DibSiliconRevision),
            hexField("client_address", s.DibClientAddress)};
}

Reading temperatureReading(const SSTStuffModule &s)
{
    return channelFields(kTemperatures, s);
}

Reading voltageReading(const SSTStuffModule &s)
{
    return channelFields(kVoltageChannels, s);
}

Reading statusReading(const SSTStuffModule &s)
{
    return {hexField("status", s.SSTStatus)};
}

Reading offsetReading(const SSTStuffModule &s)
{
    // A whole number of degrees, shown without its unit.
    return {{QLatin1String(channelInfo(Channel::ExternalOffset).key),
             numberTextTrimmed(s.ExtOffset), s.ExtOffset}};
}

Reading answerReading(std::span<const uint8_t> bytes)
{
    QStringList text;
    QJsonArray json;
    for (const uint8_t b : bytes) {
        text << fixedHex(b).mid(2);
        json.append(text.last());
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
