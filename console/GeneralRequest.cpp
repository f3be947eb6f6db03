#include "console/GeneralRequest.h"

#include "common/TextFormat.h"
#include "sst/SSTStuff.h"

#include <QList>

#include <optional>

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

// A length field as a value in 0 ... max, or nothing when it reads outside.
std::optional<uint8_t> readLengthField(QStringView text, int max)
{
    const std::optional<int32_t> v = readNumber(text);
    if (!v || *v < 0 || *v > max)
        return std::nullopt;
    return uint8_t(*v);
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
        // Four digits from 8000 up read as negative 16-bit values and more
        // than eight digits do not fit at all: all of them are above FF.
        const std::optional<int32_t> v = readHexToken(token);
        if (!v || *v < 0 || *v > 0xFF)
            return Refusal{QStringLiteral("Data byte %1 is larger than FF.").arg(quoted(token))};
        request.data.push_back(uint8_t(*v));
    }

    const std::optional<uint8_t> write = readLengthField(writeLength, 0xFF);
    if (!write)
        return Refusal{QStringLiteral("Write Length must be from 0 to 255.")};
    const std::optional<uint8_t> read = readLengthField(readLength, kMaxReadLength);
    if (!read)
        return Refusal{QStringLiteral("Read Length must be from 0 to %1.").arg(kMaxReadLength)};

    request.writeLength = *write;
    request.readLength = *read;
    return request;
}

std::variant<int32_t, Refusal> readExtOffset(QStringView text)
{
    const std::optional<int32_t> v = readNumber(text);
    if (!v || *v < kMinExtOffset || *v > kMaxExtOffset)
        return Refusal{QStringLiteral("The external offset must be from %1 to %2.")
                           .arg(kMinExtOffset)
                           .arg(kMaxExtOffset)};
    return *v;
}

} // namespace qzt
