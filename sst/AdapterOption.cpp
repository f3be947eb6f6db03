#include "sst/AdapterOption.h"

#include <QStringList>

namespace qzt {

namespace {

std::optional<uint16_t> hexId(const QString &text)
{
    if (text.isEmpty() || text.size() > 4)
        return std::nullopt;
    uint16_t value = 0;
    for (QChar c : text) {
        const int digit =
            c.isDigit()                                        ? c.unicode() - '0'
            : (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ? c.unicode() - 'a' + 10
            : (c >= QLatin1Char('A') && c <= QLatin1Char('F')) ? c.unicode() - 'A' + 10
                                                               : -1;
        if (digit < 0)
            return std::nullopt;
        value = uint16_t(value * 16 + digit);
    }
    return value;
}

// "VVVV:PPPP"
std::optional<UsbId> usbId(const QString &text, const char *what, QString *error)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    std::optional<uint16_t> vendor, product;
    if (parts.size() == 2) {
        vendor = hexId(parts[0]);
        product = hexId(parts[1]);
    }
    if (!vendor || !product) {
        if (error)
            *error = QStringLiteral("the %1 identity '%2' is not VVVV:PPPP in hex")
                         .arg(QLatin1String(what), text);
        return std::nullopt;
    }
    return UsbId{*vendor, *product};
}

} // namespace

std::optional<AdapterChoice> parseAdapterOption(const QString &text, QString *error)
{
    if (text == QLatin1String("simulated"))
        return AdapterChoice{};
    const QLatin1String usbPrefix("usb:");
    if (!text.startsWith(usbPrefix)) {
        if (error)
            *error = QStringLiteral("'%1' is neither 'simulated' nor 'usb:VVVV:PPPP'").arg(text);
        return std::nullopt;
    }
    AdapterChoice choice;
    choice.kind = AdapterChoice::Kind::Usb;
    const QStringList parts = text.mid(usbPrefix.size()).split(QLatin1Char(','));
    const auto running = usbId(parts[0], "board", error);
    if (!running)
        return std::nullopt;
    choice.running = *running;
    if (parts.size() > 2) {
        if (error)
            *error = QStringLiteral("'%1' has more than one ',loader=' part").arg(text);
        return std::nullopt;
    }
    if (parts.size() == 2) {
        const QLatin1String loaderPrefix("loader=");
        if (!parts[1].startsWith(loaderPrefix)) {
            if (error)
                *error = QStringLiteral("'%1' is not 'loader=VVVV:PPPP'").arg(parts[1]);
            return std::nullopt;
        }
        const auto loader = usbId(parts[1].mid(loaderPrefix.size()), "loader", error);
        if (!loader)
            return std::nullopt;
        choice.loader = *loader;
    }
    return choice;
}

QString usbIdText(UsbId id)
{
    return QStringLiteral("%1:%2")
        .arg(id.vendor, 4, 16, QLatin1Char('0'))
        .arg(id.product, 4, 16, QLatin1Char('0'));
}

QString udevRules(const AdapterChoice &choice)
{
    if (choice.kind != AdapterChoice::Kind::Usb)
        return {};
    QString rules;
    for (const std::optional<UsbId> id : {std::optional(choice.running), choice.loader})
        if (id)
            rules += QStringLiteral("SUBSYSTEM==\"usb\", ATTR{idVendor}==\"%1\", "
                                    "ATTR{idProduct}==\"%2\", TAG+=\"uaccess\"\n")
                         .arg(id->vendor, 4, 16, QLatin1Char('0'))
                         .arg(id->product, 4, 16, QLatin1Char('0'));
    return rules;
}

QString udevRecipe(const AdapterChoice &choice)
{
    QString rules = udevRules(choice);
    rules.replace(QLatin1Char('\n'), QLatin1String("\n    "));
    return QStringLiteral("as root, put these lines in %1, then run 'udevadm control "
                          "--reload-rules' and 'udevadm trigger':\n    %2")
        .arg(QLatin1String(kUdevRulesFile), rules.trimmed());
}

} // namespace qzt
