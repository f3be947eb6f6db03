// Questions to a loaded log: values of a row, summaries over rows, and the
// columns the chart draws. Few rows are parsed again from the mapping, many
// are answered from the pyramid.
#include "logging/LogReader.h"

#include "LogLines.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace qzt::logview {

void Summary::add(float v)
{
    if (count == 0) {
        min = max = v;
    } else {
        min = std::min(min, v);
        max = std::max(max, v);
    }
    sum += double(v);
    ++count;
}

void Summary::add(const Summary &other)
{
    if (other.count == 0)
        return;
    if (count == 0) {
        min = other.min;
        max = other.max;
    } else {
        min = std::min(min, other.min);
        max = std::max(max, other.max);
    }
    sum += other.sum;
    count += other.count;
}

LogData::~LogData() = default;

std::size_t LogData::blockOfRow(Row r) const
{
    const auto it = std::upper_bound(blockRow_.begin(), blockRow_.end() - 1, r.value);
    return std::size_t(it - blockRow_.begin()) - 1;
}

ByteOffset LogData::offsetOf(Row r) const
{
    if (r.value >= rows_)
        return {blockOffset_.back()};
    const std::size_t b = blockOfRow(r);
    const char *p = bytes_.data() + blockOffset_[b];
    const char *end = bytes_.data() + blockOffset_.back();
    for (uint64_t i = blockRow_[b]; i < r.value; ++i)
        p = static_cast<const char *>(std::memchr(p, '\n', std::size_t(end - p))) + 1;
    return {uint64_t(p - bytes_.data())};
}

template <typename Fn> void LogData::parseRows(Row first, Row last, Fn &&fn) const
{
    last.value = std::min(last.value, rows_);
    if (first >= last || layout_.fieldCount == 0)
        return;
    const char *p = bytes_.data() + offsetOf(first).value;
    const char *end = bytes_.data() + blockOffset_.back();
    const std::size_t nch = channelCount();
    LineValues values;
    for (uint64_t r = first.value; r < last.value; ++r) {
        const Line line = lineAt(p, end);
        readLine(layout_, line.begin, line.end, values);
        if (values.fault != LineFault::None)
            values.values.fill(std::numeric_limits<float>::quiet_NaN());
        for (std::size_t ch = 0; ch < nch; ++ch)
            fn(r, ch, values.values[ch]);
        p = line.next ? line.next : end;
    }
}

std::vector<std::optional<float>> LogData::row(Row r) const
{
    std::vector<std::optional<float>> out(channelCount());
    parseRows(r, Row{r.value + 1}, [&](uint64_t, std::size_t ch, float v) {
        if (!std::isnan(v))
            out[ch] = v;
    });
    return out;
}

Summary LogData::nodes(std::size_t ch, std::size_t a, std::size_t b) const
{
    const std::size_t nch = channelCount();
    Summary s;
    for (std::size_t level = 0; a < b; ++level) {
        const std::vector<Summary> &nodes = levels_[level];
        if (level + 1 == levels_.size()) {
            for (; a < b; ++a)
                s.add(nodes[a * nch + ch]);
            break;
        }
        for (; a < b && a % kFanOut != 0; ++a)
            s.add(nodes[a * nch + ch]);
        for (; a < b && b % kFanOut != 0; --b)
            s.add(nodes[(b - 1) * nch + ch]);
        a /= kFanOut;
        b /= kFanOut;
    }
    return s;
}

std::vector<Summary> LogData::summarize(Row first, Row last) const
{
    std::vector<Summary> out(channelCount());
    last.value = std::min(last.value, rows_);
    if (first >= last)
        return out;
    const auto add = [&](uint64_t, std::size_t ch, float v) {
        if (!std::isnan(v))
            out[ch].add(v);
    };
    // Whole blocks from the pyramid, the ends around them line by line.
    const auto firstWhole = std::size_t(
        std::lower_bound(blockRow_.begin(), blockRow_.end(), first.value) - blockRow_.begin());
    const auto endWhole =
        std::size_t(std::upper_bound(blockRow_.begin(), blockRow_.end(), last.value) -
                    blockRow_.begin()) -
        1;
    if (firstWhole >= endWhole) {
        parseRows(first, last, add);
        return out;
    }
    parseRows(first, Row{blockRow_[firstWhole]}, add);
    for (std::size_t ch = 0; ch < channelCount(); ++ch)
        out[ch].add(nodes(ch, firstWhole, endWhole));
    parseRows(Row{blockRow_[endWhole]}, last, add);
    return out;
}

void LogData::columns(std::span<const uint64_t> edges,
                      std::vector<std::vector<chart::Column>> &out) const
{
    const std::size_t nch = channelCount();
    const std::size_t n = edges.empty() ? 0 : edges.size() - 1;
    out.resize(nch);
    for (std::vector<chart::Column> &c : out)
        c.assign(n, chart::Column{});
    if (n == 0)
        return;
    const uint64_t first = std::min(edges.front(), rows_);
    const uint64_t last = std::min(edges.back(), rows_);
    if (last <= first)
        return;
    if (last - first < kParseBelow * n) {
        std::size_t c = 0;
        std::vector<char> missed(nch, 0); // an empty field since the last value
        parseRows(Row{first}, Row{last}, [&](uint64_t r, std::size_t ch, float v) {
            while (c + 1 < n && r >= edges[c + 1])
                ++c;
            if (std::isnan(v)) {
                missed[ch] = 1;
                return;
            }
            if (r < edges[c])
                return;
            chart::Column &s = out[ch][c];
            if (s.count == 0) {
                s.first = s.min = s.max = v;
                s.gapBefore = missed[ch] != 0;
            } else {
                s.min = std::min(s.min, v);
                s.max = std::max(s.max, v);
            }
            s.last = v;
            ++s.count;
            missed[ch] = 0;
        });
        return;
    }
    for (std::size_t c = 0; c < n; ++c) {
        const uint64_t a = std::min(edges[c], rows_);
        const uint64_t b = std::min(edges[c + 1], rows_);
        if (b <= a)
            continue;
        const std::size_t firstBlock = blockOfRow(Row{a});
        const std::size_t endBlock = blockOfRow(Row{b - 1}) + 1;
        for (std::size_t ch = 0; ch < nch; ++ch) {
            const Summary s = nodes(ch, firstBlock, endBlock);
            if (s.count == 0)
                continue;
            const auto mean = float(s.mean());
            // Blocks overlap neighbouring columns, so a column left empty
            // means a gap wider than a column.
            const bool gap = c > 0 && out[ch][c - 1].count == 0;
            out[ch][c] = {std::size_t(s.count), mean, mean, s.min, s.max, gap};
        }
    }
}

std::size_t LogData::bytesAllocated() const
{
    std::size_t bytes = (blockRow_.capacity() + blockOffset_.capacity()) * sizeof(uint64_t);
    for (const std::vector<Summary> &l : levels_)
        bytes += l.capacity() * sizeof(Summary);
    return bytes;
}

} // namespace qzt::logview
