#include "console/GeneralRequest.h"

#include "common/TextFormat.h"
#include "sst/SSTStuff.h"

#include <QList>

#include <algorithm>
#include <optional>
#include <utility>

namespace qzt {

namespace {

// A message quotes at most this many characters of a token, so that a
// pasted page of digits does not make a message box as wide as the screen.
constexpr qsizetype kQuotedTokenChars = 16;

QString quoted(QStringView token)
{
    if (token.size() <= kQuotedTokenChars)
        return token.toString();
    return token.left(kQuotedTokenChars).toString() + QStringLiteral("...");
}

QString notANumber(const char *field, QStringView text)
{
    return QStringLiteral("%1: \"%2\" is not a number.").arg(QLatin1String(field), quoted(text));
}

// A length field as a value in 0 ... max, or the refusal. Text that holds no
// digits would read as 0, which is not what the user typed; an empty box
// still means 0.
std::variant<uint8_t, Refusal> readLengthField(QStringView text, int max, const char *name,
                                               InputField field)
{
    if (!text.trimmed().isEmpty() && !holdsNumber(text))
        return Refusal{notANumber(name, text), field};
    const std::optional<int32_t> v = readNumber(text);
    if (!v || *v < 0 || *v > max)
        return Refusal{QStringLiteral("%1 must be from 0 to %2.").arg(QLatin1String(name)).arg(max),
                       field};
    return uint8_t(*v);
}

bool isHexDigit(QChar c)
{
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// One data token as a value, nothing when it is not a hexadecimal number.
// Tabs and line feeds are ignored as the number reader ignores them; a token
// without anything else is empty and stands for 0. A value beyond 32 bits
// comes back as -1, which is out of range like any value above 255.
std::optional<int32_t> readDataToken(QStringView token)
{
    QString digits = token.toString();
    digits.remove(u'\t');
    digits.remove(u'\n');
    if (digits.isEmpty())
        return 0;
    if (digits.startsWith(u"0x", Qt::CaseInsensitive))
        digits.remove(0, 2);
    else if (digits.endsWith(u'h', Qt::CaseInsensitive))
        digits.chop(1);
    if (digits.isEmpty() || !std::all_of(digits.cbegin(), digits.cend(), isHexDigit))
        return std::nullopt;
    // Four digits from 8000 up read as negative 16-bit values and more than
    // eight digits do not fit at all: all of them are above FF.
    return readHexToken(digits).value_or(-1);
}

} // namespace

std::variant<GeneralRequest, Refusal> readGeneralRequest(QStringView data, QStringView writeLength,
                                                         QStringView readLength)
{
    if (data.isEmpty())
        return Refusal{QStringLiteral("No command byte set")};

    // Only blanks separate tokens; two blanks in a row, or one at either end,
    // leave an empty token, which reads as 0.
    const auto tokens = data.split(u' ', Qt::KeepEmptyParts);
    if (std::size_t(tokens.size()) > kMaxRequestData)
        return Refusal{QStringLiteral("Data To Send holds %1 bytes; at most %2 fit in one request.")
                           .arg(tokens.size())
                           .arg(kMaxRequestData)};

    GeneralRequest request;
    request.data.reserve(std::size_t(tokens.size()));
    for (const QStringView token : tokens) {
        const std::optional<int32_t> v = readDataToken(token);
        if (!v)
            return Refusal{QStringLiteral("Data To Send: \"%1\" is not a hexadecimal byte.")
                               .arg(quoted(token))};
        if (*v < 0 || *v > 0xFF)
            return Refusal{QStringLiteral("Data byte %1 is larger than FF.").arg(quoted(token))};
        request.data.push_back(uint8_t(*v));
    }

    const auto write = readLengthField(writeLength, 0xFF, "Write Length", InputField::WriteLength);
    if (const auto *refusal = std::get_if<Refusal>(&write))
        return *refusal;
    const auto read =
        readLengthField(readLength, kMaxReadLength, "Read Length", InputField::ReadLength);
    if (const auto *refusal = std::get_if<Refusal>(&read))
        return *refusal;

    request.writeLength = std::get<uint8_t>(write);
    request.readLength = std::get<uint8_t>(read);
    return request;
}

std::variant<int32_t, Refusal> readExtOffset(QStringView text)
{
    // An empty box, like any text without digits, would write offset 0.
    if (!holdsNumber(text))
        return Refusal{notANumber("External Offset", text), InputField::Offset};
    const std::optional<int32_t> v = readNumber(text);
    if (!v || *v < kMinExtOffset || *v > kMaxExtOffset)
        return Refusal{QStringLiteral("The external offset must be from %1 to %2.")
                           .arg(kMinExtOffset)
                           .arg(kMaxExtOffset),
                       InputField::Offset};
    return *v;
}

} // namespace qzt
