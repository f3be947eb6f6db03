// The log reader on any bytes: it either refuses with a line inside the file
// or loads, and a loaded file answers every question within its rows. The
// same bytes read on one and on three threads give the same answer.
#include "logging/LogReader.h"

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    using namespace qzt::logview;
    const std::span<const char> bytes(reinterpret_cast<const char *>(data), size);
    LoadControl one;
    LoadControl three;
    const LoadResult a = loadBytes(bytes, one, 1);
    const LoadResult b = loadBytes(bytes, three, 3);
    check(a.status == b.status && a.line == b.line);
    if (a.status != LoadStatus::Successful) {
        check(a.status == LoadStatus::Refused && !a.data);
        check(a.line <= 1 + uint64_t(std::count(bytes.begin(), bytes.end(), '\n')));
        return 0;
    }
    check(one.bytesDone.load() == size);
    const LogData &d = *a.data;
    check(d.rowCount() == b.data->rowCount());
    const uint64_t rows = d.rowCount();
    const std::vector<Summary> whole = d.summarize(Row{0}, Row{rows});
    const std::vector<Summary> part = d.summarize(Row{rows / 3}, Row{rows + 5});
    check(whole.size() == d.channelCount() && part.size() == d.channelCount());
    for (std::size_t ch = 0; ch < whole.size(); ++ch) {
        check(part[ch].count <= whole[ch].count);
        if (part[ch].count > 0)
            check(!(part[ch].min < whole[ch].min) && !(part[ch].max > whole[ch].max));
    }
    std::vector<std::vector<ColumnSummary>> cols;
    const std::vector<uint64_t> edges{0, rows / 2, rows + 1};
    d.columns(edges, cols);
    for (std::size_t ch = 0; ch < cols.size(); ++ch)
        check(cols[ch][0].count + cols[ch][1].count >= whole[ch].count);
    if (rows > 0)
        check(d.row(Row{rows - 1}).size() == d.channelCount());
    return 0;
}
