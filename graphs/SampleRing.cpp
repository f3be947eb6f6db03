#include "graphs/SampleRing.h"

#include <algorithm>
#include <limits>

namespace qzt::chart {

namespace {

void merge(MinMax &into, float v)
{
    into.min = std::min(into.min, v);
    into.max = std::max(into.max, v);
}

void merge(MinMax &into, const MinMax &other)
{
    into.min = std::min(into.min, other.min);
    into.max = std::max(into.max, other.max);
}

} // namespace

SampleRing::SampleRing(std::size_t capacity) : capacity_(std::max<std::size_t>(capacity, 1)) {}

void SampleRing::append(int64_t timeMs, float value)
{
    const std::size_t p = head_;
    const std::size_t chunkIndex = p / kChunk;
    if (chunkIndex == chunks_.size())
        chunks_.push_back(std::make_unique_for_overwrite<Chunk>());
    Chunk &c = *chunks_[chunkIndex];
    const std::size_t offset = p % kChunk;

    if (size_ > 0)
        timeMs = std::max(timeMs, newest_);
    newest_ = timeMs;
    c.time[offset] = timeMs;
    c.value[offset] = value;
    const uint64_t bit = uint64_t(1) << (offset % 64);
    uint64_t &gapWord = c.gapBefore[offset / 64];
    gapWord = gapPending_ ? gapWord | bit : gapWord & ~bit;
    gapPending_ = false;

    // The first write into a block or chunk starts its extremes afresh: the
    // samples it held before are the ones being dropped.
    MinMax &block = c.block[offset / kBlock];
    if (offset % kBlock == 0)
        block = {value, value};
    else
        merge(block, value);
    if (offset == 0)
        c.whole = {value, value};
    else
        merge(c.whole, value);

    head_ = p + 1 == capacity_ ? 0 : p + 1;
    size_ = std::min(size_ + 1, capacity_);
}

std::size_t SampleRing::physical(std::size_t i) const
{
    const std::size_t oldest = size_ < capacity_ ? 0 : head_;
    const std::size_t p = oldest + i;
    return p >= capacity_ ? p - capacity_ : p;
}

Sample SampleRing::at(std::size_t i) const
{
    const std::size_t p = physical(i);
    const Chunk &c = *chunks_[p / kChunk];
    return {c.time[p % kChunk], c.value[p % kChunk]};
}

int64_t SampleRing::timeAt(std::size_t i) const
{
    const std::size_t p = physical(i);
    return chunks_[p / kChunk]->time[p % kChunk];
}

bool SampleRing::gapBefore(std::size_t i) const
{
    const std::size_t p = physical(i);
    return (chunks_[p / kChunk]->gapBefore[(p % kChunk) / 64] >> (p % 64)) & 1u;
}

std::optional<Sample> SampleRing::nearest(int64_t timeMs, int64_t reach, int64_t reachInGap) const
{
    const std::size_t i = lowerBound(timeMs);
    const bool inGap =
        (i == size_ && gapPending_ && size_ > 0 && timeMs > newest_) ||
        (i > 0 && i < size_ && gapBefore(i) && timeAt(i) > timeMs && timeAt(i - 1) < timeMs);
    std::optional<Sample> best;
    if (i < size_)
        best = at(i);
    if (i > 0 && (!best || timeMs - timeAt(i - 1) <= best->timeMs - timeMs))
        best = at(i - 1);
    const int64_t distance =
        best ? (best->timeMs > timeMs ? best->timeMs - timeMs : timeMs - best->timeMs) : 0;
    if (best && distance <= (inGap ? reachInGap : reach))
        return best;
    return std::nullopt;
}

std::size_t SampleRing::lowerBound(int64_t timeMs, std::size_t from) const
{
    if (from >= size_ || timeAt(from) >= timeMs)
        return std::min(from, size_);
    // Gallop: timeAt(lo) < timeMs holds throughout.
    std::size_t lo = from;
    std::size_t step = 1;
    std::size_t hi = size_;
    while (lo + step < size_) {
        if (timeAt(lo + step) >= timeMs) {
            hi = lo + step;
            break;
        }
        lo += step;
        step *= 2;
    }
    // Binary search in (lo, hi]: timeAt(lo) < timeMs, and hi is size_ or a
    // time >= timeMs.
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (timeAt(mid) >= timeMs)
            hi = mid;
        else
            lo = mid;
    }
    return hi;
}

MinMax SampleRing::minMax(std::size_t first, std::size_t last) const
{
    const std::size_t begin = physical(first);
    const std::size_t length = last - first;
    if (begin + length <= capacity_)
        return physicalMinMax(begin, begin + length);
    MinMax r = physicalMinMax(begin, capacity_);
    merge(r, physicalMinMax(0, begin + length - capacity_));
    return r;
}

// Extremes of the physical slots [begin, end), which hold valid samples in
// one run without wrapping.
MinMax SampleRing::physicalMinMax(std::size_t begin, std::size_t end) const
{
    const Chunk *c = chunks_[begin / kChunk].get();
    MinMax r{c->value[begin % kChunk], c->value[begin % kChunk]};
    std::size_t p = begin;
    const auto blockEnd = [this](std::size_t q) { return std::min(q + kBlock, capacity_); };
    const auto chunkEnd = [this](std::size_t q) { return std::min(q + kChunk, capacity_); };

    // Single samples up to the first block boundary.
    for (; p < end && p % kBlock != 0; ++p)
        merge(r, chunks_[p / kChunk]->value[p % kChunk]);
    // Whole blocks up to the first chunk boundary.
    for (; p < end && p % kChunk != 0 && blockEnd(p) <= end; p = blockEnd(p))
        merge(r, chunks_[p / kChunk]->block[(p % kChunk) / kBlock]);
    // Whole chunks.
    for (; p < end && p % kChunk == 0 && chunkEnd(p) <= end; p = chunkEnd(p))
        merge(r, chunks_[p / kChunk]->whole);
    // Whole blocks of the last chunk.
    for (; p < end && blockEnd(p) <= end; p = blockEnd(p))
        merge(r, chunks_[p / kChunk]->block[(p % kChunk) / kBlock]);
    // Single samples of the last block.
    for (; p < end; ++p)
        merge(r, chunks_[p / kChunk]->value[p % kChunk]);
    return r;
}

std::size_t SampleRing::bytesAllocated() const
{
    return sizeof(*this) + chunks_.capacity() * sizeof(chunks_[0]) + chunks_.size() * sizeof(Chunk);
}

void decimate(const SampleRing &ring, std::span<const int64_t> edges, std::span<Column> out)
{
    if (edges.empty())
        return;
    std::size_t i = ring.lowerBound(edges[0]);
    for (std::size_t c = 0; c < out.size(); ++c) {
        const std::size_t j = ring.lowerBound(edges[c + 1], i);
        Column &col = out[c];
        col.count = j - i;
        if (j > i) {
            const MinMax mm = ring.minMax(i, j);
            col.first = ring.at(i).value;
            col.last = ring.at(j - 1).value;
            col.min = mm.min;
            col.max = mm.max;
            col.gapBefore = ring.gapBefore(i);
        } else {
            col = Column{};
        }
        i = j;
    }
}

std::span<const Column> ColumnCache::columns(const SampleRing &ring, int64_t msPerColumn,
                                             int64_t firstColumn, std::size_t count)
{
    if (msPerColumn != msPerColumn_) {
        msPerColumn_ = msPerColumn;
        columns_.clear();
    }
    // A column is reusable when it was final at the last call and none of
    // its samples has been dropped since. Dropped samples are never newer
    // than the oldest one kept, which may share their time, so the column
    // must start after it.
    const int64_t oldest = ring.empty() ? std::numeric_limits<int64_t>::max() : ring.timeAt(0);
    const auto reusable = [&](int64_t k) {
        return k >= first_ && k < first_ + int64_t(columns_.size()) && k < finalEnd_ &&
               k * msPerColumn > oldest;
    };

    next_.resize(count);
    std::size_t c = 0;
    while (c < count) {
        const int64_t k = firstColumn + int64_t(c);
        if ((k + 1) * msPerColumn <= oldest) {
            // Wholly before the oldest sample: empty, and stays so.
            next_[c++] = Column{};
            continue;
        }
        if (reusable(k)) {
            next_[c] = columns_[std::size_t(k - first_)];
            ++c;
            continue;
        }
        // Columns before the oldest sample come only first, so a run of
        // columns to recompute ends at the next reusable one.
        std::size_t end = c + 1;
        while (end < count && !reusable(firstColumn + int64_t(end)))
            ++end;
        edges_.resize(end - c + 1);
        for (std::size_t e = 0; e < edges_.size(); ++e)
            edges_[e] = (firstColumn + int64_t(c + e)) * msPerColumn;
        decimate(ring, edges_, std::span<Column>(next_).subspan(c, end - c));
        c = end;
    }
    columns_.swap(next_);
    first_ = firstColumn;
    // Later samples come at the newest time or after it, so every column
    // that ends at or before it is complete.
    finalEnd_ = ring.empty() ? std::numeric_limits<int64_t>::min()
                             : floorDiv(ring.timeAt(ring.size() - 1), msPerColumn);
    return columns_;
}

} // namespace qzt::chart
