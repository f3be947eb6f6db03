#include "logging/Exposition.h"

#include "common/TextFormat.h"

#include <QList>

#include <string_view>

namespace qzt {

namespace {

enum class Kind { Gauge, Counter, Info };

struct Family {
    const char *name; // as in the text format: counters end in _total, info in _info
    Kind kind;
    const char *help;
};

constexpr Family kAdapterUp{"qzt_adapter_up", Kind::Gauge,
                            "1 when the adapter answered in the last poll tick, else 0."};
constexpr Family kBuildInfo{"qzt_build_info", Kind::Info,
                            "The version of the program serving these metrics."};
constexpr Family kTemperature{"qzt_temperature_celsius", Kind::Gauge,
                              "Temperature the chip read in the last poll tick."};
constexpr Family kOffset{"qzt_external_offset_celsius", Kind::Gauge,
                         "The chip's external temperature offset register."};
constexpr Family kSupply{"qzt_supply_volts", Kind::Gauge,
                         "Supply voltage the chip read in the last poll tick."};
constexpr Family kReads{"qzt_reads_total", Kind::Counter,
                        "SST reads of the poll ticks on the chip."};
constexpr Family kFailures{
    "qzt_read_failures_total", Kind::Counter,
    "SST reads on the chip that failed or missed their 50 ms slot, by read."};
constexpr Family kLastSuccess{"qzt_last_success_timestamp_seconds", Kind::Gauge,
                              "When every read of a poll tick last succeeded on the chip."};

// The name a family carries in its # HELP and # TYPE lines: OpenMetrics names
// the family without the _total and _info of its samples.
QByteArray familyName(const Family &f, ExpositionFormat format)
{
    QByteArray name(f.name);
    if (format == ExpositionFormat::OpenMetrics && f.kind == Kind::Counter)
        name.chop(int(sizeof("_total")) - 1);
    if (format == ExpositionFormat::OpenMetrics && f.kind == Kind::Info)
        name.chop(int(sizeof("_info")) - 1);
    return name;
}

const char *typeName(Kind kind, ExpositionFormat format)
{
    switch (kind) {
    case Kind::Counter:
        return "counter";
    case Kind::Info:
        return format == ExpositionFormat::OpenMetrics ? "info" : "gauge";
    case Kind::Gauge:
        break;
    }
    return "gauge";
}

void header(QByteArray &out, const Family &f, ExpositionFormat format)
{
    const QByteArray name = familyName(f, format);
    out += "# HELP " + name + ' ' + f.help + "\n# TYPE " + name + ' ' + typeName(f.kind, format) +
           '\n';
}

using Label = std::pair<const char *, QString>;

void sample(QByteArray &out, const Family &f, const QList<Label> &labels, const QByteArray &value)
{
    out += f.name;
    if (!labels.isEmpty()) {
        out += '{';
        for (qsizetype i = 0; i < labels.size(); ++i) {
            if (i)
                out += ',';
            out += labels[i].first + QByteArray("=\"") + escapeLabelValue(labels[i].second) + '"';
        }
        out += '}';
    }
    out += ' ' + value + '\n';
}

// The reading as the consoles print it (7 significant digits), with the
// zero before a leading point that both formats' grammars want.
QByteArray valueText(float v)
{
    QByteArray text = numberTextTrimmed(v).toLatin1();
    if (text.startsWith('.'))
        text.prepend('0');
    else if (text.startsWith("-."))
        text.insert(1, '0');
    return text;
}

QList<Label> chipLabels(const ChipMetrics &chip)
{
    return {{"address", QStringLiteral("0x") + hexText(chip.address)},
            {"model", QLatin1String(modelInfo(chip.model).name)}};
}

// The family of a channel's samples, by the catalogue: the integer offset
// register, and by unit the temperatures and the supplies.
const Family *familyOf(const ChannelInfo &info)
{
    const std::u16string_view unit(info.unit);
    if (info.integer)
        return &kOffset;
    if (unit == u"V")
        return &kSupply;
    return unit == u"\u00B0C" ? &kTemperature : nullptr;
}

// One quality value of a media range in an Accept header: "q=0.5"; 1 when
// there is none.
double quality(const QList<QByteArray> &parameters)
{
    for (const QByteArray &p : parameters) {
        const QByteArray t = p.trimmed();
        if (t.startsWith("q=")) {
            bool ok = false;
            const double q = t.mid(2).toDouble(&ok);
            return ok ? q : 0.0;
        }
    }
    return 1.0;
}

} // namespace

ExpositionFormat negotiateFormat(QByteArrayView accept)
{
    double openMetrics = 0.0;
    double text = 0.0;
    for (const QByteArray &range : accept.toByteArray().split(',')) {
        QList<QByteArray> parts = range.split(';');
        const QByteArray type = parts.takeFirst().trimmed().toLower();
        const double q = quality(parts);
        if (type == "application/openmetrics-text")
            openMetrics = std::max(openMetrics, q);
        else if (type == "text/plain")
            text = std::max(text, q);
    }
    return openMetrics > 0.0 && openMetrics >= text ? ExpositionFormat::OpenMetrics
                                                    : ExpositionFormat::Text;
}

QByteArray contentType(ExpositionFormat format)
{
    return format == ExpositionFormat::OpenMetrics
               ? "application/openmetrics-text; version=1.0.0; charset=utf-8"
               : "text/plain; version=0.0.4; charset=utf-8";
}

QByteArray escapeLabelValue(QStringView value)
{
    QByteArray out;
    out.reserve(value.size());
    for (const char c : value.toUtf8()) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"')
            out += "\\\"";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}

QByteArray exposition(const MetricsSnapshot &snapshot, ExpositionFormat format)
{
    QByteArray out;
    out.reserve(4096);

    header(out, kAdapterUp, format);
    sample(out, kAdapterUp, {}, snapshot.adapterUp ? "1" : "0");
    header(out, kBuildInfo, format);
    sample(out, kBuildInfo, {{"version", snapshot.version}}, "1");

    // The channels of each family, in the catalogue's order; the label that
    // tells a chip's channels apart comes from the catalogue too.
    const auto channels = [&](const Family &family, const char *label, auto name) {
        header(out, family, format);
        for (const ChipMetrics &chip : snapshot.chips)
            for (const Channel c : modelInfo(chip.model).channels)
                if (familyOf(channelInfo(c)) == &family)
                    if (const auto v = chip.values[std::size_t(c)]) {
                        QList<Label> labels = chipLabels(chip);
                        if (label)
                            labels << Label{label, QLatin1String(name(channelInfo(c)))};
                        sample(out, family, labels, valueText(*v));
                    }
    };
    channels(kTemperature, "sensor", [](const ChannelInfo &i) { return i.key; });
    channels(kOffset, nullptr, [](const ChannelInfo &i) { return i.key; });
    channels(kSupply, "rail", [](const ChannelInfo &i) { return i.column; });

    header(out, kReads, format);
    for (const ChipMetrics &chip : snapshot.chips)
        sample(out, kReads, chipLabels(chip), QByteArray::number(chip.reads));
    header(out, kFailures, format);
    for (const ChipMetrics &chip : snapshot.chips)
        // Only the model's reads: a QZT6604 has no voltage read to fail.
        for (const Read r : modelInfo(chip.model).reads)
            sample(out, kFailures,
                   chipLabels(chip) << Label{"read", QLatin1String(kReadLabels[std::size_t(r)])},
                   QByteArray::number(chip.failures[std::size_t(r)]));
    header(out, kLastSuccess, format);
    for (const ChipMetrics &chip : snapshot.chips)
        if (chip.lastSuccess)
            sample(out, kLastSuccess, chipLabels(chip),
                   QByteArray::number(*chip.lastSuccess, 'f', 3));

    if (format == ExpositionFormat::OpenMetrics)
        out += "# EOF\n";
    return out;
}

} // namespace qzt
