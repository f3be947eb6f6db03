// Log lines from whatever the decoders leave in the device state: any
// readings, any channel selection and any failed reads must give a line with
// exactly the fields of its column-name line, ending in CR LF, and a date
// line of four fields whatever text the locale gives.
#include "logging/LogFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    qzt::SSTStuffModule readings;
    constexpr std::size_t kNeeded = 2 + 7 * sizeof(float) + sizeof(int32_t);
    if (size < kNeeded)
        return 0;
    const qzt::Model model = data[0] & 1 ? qzt::Model::QZT6605 : qzt::Model::QZT6604;
    const auto selection = qzt::ChannelSelection::fromMask(data[1]);
    const uint8_t *p = data + 2;
    std::memcpy(&readings.IntTemp, p, sizeof(float));
    std::memcpy(&readings.ExtTemp, p + 4, sizeof(float));
    std::memcpy(readings.Volts.data(), p + 8, 5 * sizeof(float));
    std::memcpy(&readings.ExtOffset, p + 28, sizeof(int32_t));

    const qzt::FailedReads failed{(data[0] & 2) != 0, (data[0] & 4) != 0, (data[0] & 8) != 0};
    const QByteArray line = qzt::dataLine(model, selection, readings, failed);
    const QByteArray columns = qzt::columnLine(model, selection);
    check(line.endsWith("\r\n") && columns.endsWith("\r\n"));
    check(line.count('\n') == 1 && line.count('\r') == 1);
    // The QZT6605's column-name line ends in one empty field more.
    const qsizetype extra = model == qzt::Model::QZT6605 ? 1 : 0;
    if (line != "\r\n")
        check(line.count(',') + extra == columns.count(','));

    // The rest of the input stands in for a locale's date and time texts.
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(p + 32), qsizetype(size - kNeeded));
    const QByteArray date = qzt::dateLine(text.left(text.size() / 2), text.mid(text.size() / 2));
    check(date.count(',') == 3 && date.endsWith("\r\n") && date.count('\n') == 1);
    return 0;
}
