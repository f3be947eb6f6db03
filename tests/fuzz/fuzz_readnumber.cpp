// Text typed into the number boxes: any bytes must read without a crash, and
// whatever reads as a number must survive a round trip through its text.
#include "common/TextFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    if (const auto value = qzt::readNumber(text)) {
        const auto again = qzt::readNumber(qzt::numberText(*value));
        if (!again || *again != *value)
            std::abort();
    }
    static_cast<void>(qzt::readHexToken(text));
    if (size >= sizeof(float)) {
        float f;
        std::memcpy(&f, data, sizeof f);
        const QString shown = qzt::numberText(f);
        const QString fixed = qzt::fixed2Text(f);
        if (shown.contains(QLatin1Char(',')) || fixed.contains(QLatin1Char(',')))
            std::abort(); // a comma would shift a log file's fields
    }
    return 0;
}
