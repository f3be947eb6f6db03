// The log reader on any bytes: it either refuses with a line inside the file
// or loads, and a loaded file answers every question within its rows. The
// same bytes read on one, two and eight threads give the same answer and
// draw the same columns. A loaded file has at most 1 % malformed lines, and
// its first data line is not one of them.
#include "logging/LogReader.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <tuple>
#include <vector>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Columns drawn from two loads of the same bytes, bit for bit.
void checkSameColumns(const qzt::logview::LogData &a, const qzt::logview::LogData &b,
                      const std::vector<uint64_t> &edges)
{
    std::vector<std::vector<qzt::chart::Column>> x, y;
    a.columns(edges, x);
    b.columns(edges, y);
    const auto bits = [](const qzt::chart::Column &s) {
        return std::tuple(s.count, std::bit_cast<uint32_t>(s.first),
                          std::bit_cast<uint32_t>(s.last), std::bit_cast<uint32_t>(s.min),
                          std::bit_cast<uint32_t>(s.max), s.gapBefore);
    };
    check(x.size() == y.size());
    for (std::size_t ch = 0; ch < x.size(); ++ch)
        for (std::size_t c = 0; c < x[ch].size(); ++c)
            check(bits(x[ch][c]) == bits(y[ch][c]));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size)
{
    using namespace qzt::logview;
    const std::span<const char> bytes(reinterpret_cast<const char *>(data), size);
    LoadControl one;
    LoadControl two;
    LoadControl eight;
    const LoadResult a = loadBytes(bytes, one, 1);
    const LoadResult b = loadBytes(bytes, two, 2);
    const LoadResult c = loadBytes(bytes, eight, 8);
    check(a.status == b.status && a.line == b.line);
    check(a.status == c.status && a.line == c.line);
    if (a.status != LoadStatus::Successful) {
        check(a.status == LoadStatus::Refused && !a.data);
        check(a.line <= 1 + uint64_t(std::count(bytes.begin(), bytes.end(), '\n')));
        return 0;
    }
    check(one.bytesDone.load() == size);
    const LogData &d = *a.data;
    check(d.rowCount() == b.data->rowCount() && d.rowCount() == c.data->rowCount());
    const uint64_t rows = d.rowCount();
    const uint64_t bad = d.malformedCount();
    const uint64_t firstBad = d.firstMalformedLine();
    check(bad == b.data->malformedCount() && firstBad == b.data->firstMalformedLine());
    check(bad == c.data->malformedCount() && firstBad == c.data->firstMalformedLine());
    check(bad * 100 <= rows && (bad == 0 ? firstBad == 0 : firstBad > kFirstDataLine));
    // Line by line, from the pyramid, with edges on and off block starts.
    std::vector<uint64_t> fine;
    for (uint64_t r = 0; r <= rows; r += std::max<uint64_t>(1, rows / 40))
        fine.push_back(r);
    for (const std::vector<uint64_t> &edges :
         {fine,
          {0, rows},
          {rows / 3, rows / 2, rows + 1},
          {0, std::min<uint64_t>(128, rows), std::min<uint64_t>(256, rows), rows}}) {
        checkSameColumns(d, *b.data, edges);
        checkSameColumns(d, *c.data, edges);
    }
    const std::vector<Summary> whole = d.summarize(Row{0}, Row{rows});
    const std::vector<Summary> part = d.summarize(Row{rows / 3}, Row{rows + 5});
    check(whole.size() == d.channelCount() && part.size() == d.channelCount());
    for (std::size_t ch = 0; ch < whole.size(); ++ch) {
        check(part[ch].count <= whole[ch].count);
        if (part[ch].count > 0)
            check(!(part[ch].min < whole[ch].min) && !(part[ch].max > whole[ch].max));
    }
    std::vector<std::vector<qzt::chart::Column>> cols;
    const std::vector<uint64_t> edges{0, rows / 2, rows + 1};
    d.columns(edges, cols);
    for (std::size_t ch = 0; ch < cols.size(); ++ch)
        check(cols[ch][0].count + cols[ch][1].count >= whole[ch].count);
    if (rows > 0)
        check(d.row(Row{rows - 1}).size() == d.channelCount());
    return 0;
}
