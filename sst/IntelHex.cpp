#include "sst/IntelHex.h"

#include <array>

namespace qzt {

namespace {

// Byte count, two address bytes, record type and checksum surround the data.
constexpr std::size_t kRecordOverhead = 5;
constexpr std::size_t kMaxRecordBytes = kRecordOverhead + kIntelHexMaxRecordData;

enum RecordType : uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegmentAddress = 0x02,
    kStartSegmentAddress = 0x03,
    kExtendedLinearAddress = 0x04,
    kStartLinearAddress = 0x05,
};

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool isBlank(QByteArrayView line)
{
    for (char c : line) {
        if (c != ' ' && c != '\t')
            return false;
    }
    return true;
}

uint32_t bigEndian16(const uint8_t *p)
{
    return (uint32_t{p[0]} << 8) | uint32_t{p[1]};
}

uint32_t bigEndian32(const uint8_t *p)
{
    return (bigEndian16(p) << 16) | bigEndian16(p + 2);
}

// Adds the bytes of one data record at `address`, extending the last segment
// when the record continues it.
void addData(IntelHexImage &image, uint32_t address, const uint8_t *data, std::size_t n)
{
    if (n == 0)
        return;
    if (!image.segments.empty()) {
        IntelHexSegment &last = image.segments.back();
        // 64-bit sum so a segment ending at the top of the address space
        // never appears to continue at address 0.
        if (uint64_t{last.address} + last.bytes.size() == address) {
            last.bytes.insert(last.bytes.end(), data, data + n);
            return;
        }
    }
    image.segments.push_back({address, std::vector<uint8_t>(data, data + n)});
}

} // namespace

std::size_t IntelHexImage::byteCount() const
{
    std::size_t total = 0;
    for (const IntelHexSegment &segment : segments)
        total += segment.bytes.size();
    return total;
}

std::optional<IntelHexImage> parseIntelHex(QByteArrayView text, QString *error)
{
    qsizetype lineNumber = 0;
    const auto fail = [&](const char *why) -> std::optional<IntelHexImage> {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(QLatin1StringView(why));
        return std::nullopt;
    };

    IntelHexImage image;
    uint32_t base = 0; // from the last extended address record
    bool seenEndOfFile = false;

    qsizetype pos = 0;
    const qsizetype size = text.size();
    while (pos < size) {
        qsizetype end = pos;
        while (end < size && text[end] != '\n')
            ++end;
        QByteArrayView line = text.sliced(pos, end - pos);
        pos = end + 1;
        ++lineNumber;

        if (!line.isEmpty() && line.back() == '\r')
            line.chop(1);
        if (isBlank(line))
            continue;
        if (seenEndOfFile)
            return fail("content after the end-of-file record");
        if (line.front() != ':')
            return fail("record does not start with ':'");

        const QByteArrayView digits = line.sliced(1);
        if (digits.size() % 2 != 0)
            return fail("odd number of hex digits");
        const auto byteLength = static_cast<std::size_t>(digits.size() / 2);
        if (byteLength < kRecordOverhead)
            return fail("record too short");
        if (byteLength > kMaxRecordBytes)
            return fail("record too long");

        std::array<uint8_t, kMaxRecordBytes> record{};
        for (std::size_t i = 0; i < byteLength; ++i) {
            const int high = hexValue(digits[static_cast<qsizetype>(2 * i)]);
            const int low = hexValue(digits[static_cast<qsizetype>(2 * i + 1)]);
            if (high < 0 || low < 0)
                return fail("not a hex digit");
            record[i] = static_cast<uint8_t>(high * 16 + low);
        }

        const std::size_t count = record[0];
        if (byteLength != count + kRecordOverhead)
            return fail("byte count does not match the record length");
        unsigned sum = 0;
        for (std::size_t i = 0; i < byteLength; ++i)
            sum += record[i];
        if ((sum & 0xFFu) != 0)
            return fail("checksum mismatch");

        const uint32_t offset = bigEndian16(&record[1]);
        const uint8_t *data = &record[4];
        switch (record[3]) {
        case kData:
            // Unsigned arithmetic: an address past 4 GiB wraps, defined.
            addData(image, base + offset, data, count);
            break;
        case kEndOfFile:
            if (count != 0)
                return fail("end-of-file record carries data");
            seenEndOfFile = true;
            break;
        case kExtendedSegmentAddress:
            if (count != 2)
                return fail("extended segment address record needs 2 bytes");
            base = bigEndian16(data) << 4;
            break;
        case kExtendedLinearAddress:
            if (count != 2)
                return fail("extended linear address record needs 2 bytes");
            base = bigEndian16(data) << 16;
            break;
        case kStartSegmentAddress:
        case kStartLinearAddress:
            if (count != 4)
                return fail("start address record needs 4 bytes");
            image.startAddress = bigEndian32(data);
            break;
        default:
            return fail("unknown record type");
        }
    }

    if (!seenEndOfFile)
        return fail(size == 0 ? "empty file" : "no end-of-file record");
    return image;
}

} // namespace qzt
