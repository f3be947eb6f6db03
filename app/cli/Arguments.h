// Reading the companion's arguments: numbers and addresses as the consoles
// read them, with the whole token required to be a number, and the one error
// type that every bad argument becomes. QtCore only.
#pragma once

#include "logging/LogFile.h"
#include "sst/Models.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdint>
#include <optional>

namespace qzt::cli {

// A bad argument: what is wrong, and the token it is wrong about (empty when
// the fault is a missing argument). Exit status 2.
struct UsageError {
    QString what;
    QString token;
};

// Whether `text` is one whole number as the consoles write it: an optional
// sign and digits, or "&h" and 1 to 8 hex digits. The consoles read the
// leading number of any text, round fractions and ignore the rest; a
// script's typo must not reach the bus, so the companion takes only whole
// numbers.
bool isWholeNumberText(QStringView text);

// A whole number read by the consoles' rule (common/TextFormat readNumber);
// `name` is the argument's name for the message.
int32_t readNumberArgument(const QString &text, const QString &name);

// An SST client address, 0 ... 255: a whole number as above, or "0x" and hex
// digits as the consoles print addresses. `name` is the argument's name.
uint8_t readAddress(const QString &text, const QString &name = QStringLiteral("ADDR"));

// The longest --duration: a year of ticks is already some 630 million lines.
inline constexpr std::chrono::hours kMaxDuration{8760};

// "8h", "30m", "90s" or combined, largest unit first: "1h30m", "2m30s".
std::chrono::milliseconds readDuration(const QString &text);

// Channel names, comma-separated: internal, external, offset, 12v, 5v, vcc,
// 2.5v, vccp. Voltages only for the QZT6605.
ChannelSelection readChannels(const QString &text, Model model);

} // namespace qzt::cli
