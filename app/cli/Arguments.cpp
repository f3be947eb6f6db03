#include "app/cli/Arguments.h"

#include "common/TextFormat.h"

#include <QRegularExpression>

#include <algorithm>

namespace qzt::cli {

namespace {

QString channelList(Model model)
{
    QStringList names;
    for (const Channel c : modelInfo(model).channels)
        names << QLatin1String(channelInfo(c).key);
    return names.join(QStringLiteral(", "));
}

} // namespace

bool isWholeNumberText(QStringView text)
{
    static const QRegularExpression number(
        QStringLiteral(R"(^(?:[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?|&[hH][0-9A-Fa-f]{1,8})$)"));
    return number.match(text).hasMatch();
}

int32_t readNumberArgument(const QString &text, const QString &name)
{
    if (!isWholeNumberText(text))
        throw UsageError{name + QStringLiteral(" is not a number"), text};
    const std::optional<int32_t> v = readNumber(text);
    if (!v)
        throw UsageError{name + QStringLiteral(" does not fit in 32 bits"), text};
    return *v;
}

uint8_t readAddress(const QString &text)
{
    int32_t v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{1,2}$"));
        if (!hex.match(QStringView(text).mid(2)).hasMatch())
            throw UsageError{QStringLiteral("ADDR must be from 0x0 to 0xFF"), text};
        v = text.mid(2).toInt(nullptr, 16);
    } else {
        v = readNumberArgument(text, QStringLiteral("ADDR"));
    }
    if (v < 0 || v > 0xFF)
        throw UsageError{QStringLiteral("ADDR must be from 0x0 to 0xFF"), text};
    return uint8_t(v);
}

std::chrono::milliseconds readDuration(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,7})([hms])$"));
    const auto m = form.match(text);
    if (!m.hasMatch())
        throw UsageError{QStringLiteral("--duration must be a whole number with h, m or s, "
                                        "as 8h, 30m or 90s"),
                         text};
    const int64_t n = m.captured(1).toLongLong();
    const QChar unit = m.captured(2).front();
    const int64_t seconds = unit == u'h' ? n * 3600 : unit == u'm' ? n * 60 : n;
    if (seconds == 0)
        throw UsageError{QStringLiteral("--duration must be longer than 0"), text};
    return std::chrono::seconds(seconds);
}

ChannelSelection readChannels(const QString &text, Model model)
{
    ChannelSelection selection;
    const QStringList names = text.split(QLatin1Char(','));
    const auto channels = modelInfo(model).channels;
    for (const QString &name : names) {
        const auto named = std::ranges::find_if(channels, [&](Channel c) {
            return name.compare(QLatin1String(channelInfo(c).key), Qt::CaseInsensitive) == 0;
        });
        if (named == channels.end())
            throw UsageError{
                QStringLiteral("--channels: the %1 has no channel '%2' (it has %3)")
                    .arg(QLatin1String(modelInfo(model).name), name, channelList(model)),
                text};
        if (selection[*named])
            throw UsageError{QStringLiteral("--channels names '%1' twice").arg(name), text};
        selection[*named] = true;
    }
    return selection;
}

} // namespace qzt::cli
