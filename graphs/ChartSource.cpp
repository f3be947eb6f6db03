#include "graphs/ChartSource.h"

namespace qzt::chart {

RingSource::RingSource(std::size_t traces, std::size_t capacity)
{
    traces_.reserve(traces);
    for (std::size_t i = 0; i < traces; ++i)
        traces_.push_back({SampleRing(capacity), {}});
}

void RingSource::append(int trace, int64_t timeMs, float value)
{
    traces_[std::size_t(trace)].ring.append(timeMs, value);
}

std::optional<int64_t> RingSource::oldest() const
{
    std::optional<int64_t> oldest;
    for (const Trace &t : traces_)
        if (!t.ring.empty() && (!oldest || t.ring.timeAt(0) < *oldest))
            oldest = t.ring.timeAt(0);
    return oldest;
}

std::span<const Column> RingSource::columns(int trace, int64_t msPerColumn, int64_t firstColumn,
                                            std::size_t count)
{
    Trace &t = traces_[std::size_t(trace)];
    return t.cache.columns(t.ring, msPerColumn, firstColumn, count);
}

std::optional<Sample> RingSource::entry(int trace, int64_t timeMs) const
{
    const SampleRing &ring = traces_[std::size_t(trace)].ring;
    const std::size_t i = ring.lowerBound(timeMs);
    return i > 0 ? std::optional(ring.at(i - 1)) : std::nullopt;
}

std::optional<Sample> RingSource::exit(int trace, int64_t timeMs) const
{
    const SampleRing &ring = traces_[std::size_t(trace)].ring;
    const std::size_t i = ring.lowerBound(timeMs);
    return i < ring.size() && !ring.gapBefore(i) ? std::optional(ring.at(i)) : std::nullopt;
}

std::optional<Sample> RingSource::nearest(int trace, int64_t timeMs, int64_t reach,
                                          int64_t reachInGap) const
{
    return traces_[std::size_t(trace)].ring.nearest(timeMs, reach, reachInGap);
}

} // namespace qzt::chart
