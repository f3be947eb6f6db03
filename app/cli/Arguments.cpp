#include "app/cli/Arguments.h"

#include "common/TextFormat.h"

#include <QRegularExpression>

#include <algorithm>
#include <utility>

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
        QStringLiteral(R"(^(?:[+-]?\d+|&[hH][0-9A-Fa-f]{1,8})$)"));
    return number.match(text).hasMatch();
}

int32_t readNumberArgument(const QString &text, const QString &name)
{
    static const QRegularExpression fraction(
        QStringLiteral(R"(^[+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?$)"));
    if (!isWholeNumberText(text))
        throw UsageError{name + (fraction.match(text).hasMatch()
                                     ? QStringLiteral(": not a whole number")
                                     : QStringLiteral(": not a number")),
                         text};
    const std::optional<int32_t> v = readNumber(text);
    if (!v)
        throw UsageError{name + QStringLiteral(": does not fit in 32 bits"), text};
    return *v;
}

uint8_t readAddress(const QString &text, const QString &name)
{
    const UsageError range{name + QStringLiteral(": must be from 0x00 to 0xFF"), text};
    int32_t v = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{1,2}$"));
        if (!hex.match(QStringView(text).mid(2)).hasMatch())
            throw range;
        v = text.mid(2).toInt(nullptr, 16);
    } else {
        v = readNumberArgument(text, name);
    }
    if (v < 0 || v > 0xFF)
        throw range;
    return uint8_t(v);
}

std::chrono::milliseconds readDuration(const QString &text)
{
    // At most 12 digits a unit: more is "too long" whatever the unit, and
    // 12 digits of hours still fit in 64 bits of seconds.
    static const QRegularExpression form(
        QStringLiteral("^(?=\\d)(?:(\\d+)h)?(?:(\\d+)m)?(?:(\\d+)s)?$"));
    const auto m = form.match(text);
    if (!m.hasMatch())
        throw UsageError{QStringLiteral("--duration: must be whole hours, minutes or seconds, "
                                        "as 8h, 30m, 90s or 1h30m"),
                         text};
    const UsageError tooLong{
        QStringLiteral("--duration: too long (at most %1h)").arg(kMaxDuration.count()), text};
    int64_t seconds = 0;
    for (const auto &[group, unit] : {std::pair(1, 3600), std::pair(2, 60), std::pair(3, 1)}) {
        const QStringView digits = m.capturedView(group);
        if (digits.size() > 12)
            throw tooLong;
        seconds += digits.toLongLong() * unit;
    }
    if (seconds == 0)
        throw UsageError{QStringLiteral("--duration: must be longer than 0"), text};
    if (std::chrono::seconds(seconds) > kMaxDuration)
        throw tooLong;
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
            throw UsageError{QStringLiteral("--channels: names '%1' twice").arg(name), text};
        selection[*named] = true;
    }
    return selection;
}

} // namespace qzt::cli
