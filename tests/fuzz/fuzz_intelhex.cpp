// Firmware files: the Intel HEX reader must refuse or accept any bytes
// without reading outside them, and an accepted image must be consistent.
#include "sst/IntelHex.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    QString error;
    const auto image = qzt::parseIntelHex(
        QByteArrayView(reinterpret_cast<const char *>(data), qsizetype(size)), &error);
    if (!image && error.isEmpty())
        __builtin_trap(); // a refusal always says why
    return 0;
}
