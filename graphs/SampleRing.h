// Sample history of one chart trace: a bounded ring with cached min/max
// blocks, and the per-column decimation that drawing uses. Pure chart model:
// depends on the C++ standard library only, never on widgets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace qzt::chart {

// Division rounding towards minus infinity: the column a time falls in, for
// times before the epoch too.
inline int64_t floorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

struct Sample {
    int64_t timeMs;
    float value;
};

struct MinMax {
    float min;
    float max;
};

// What one pixel column of a trace shows: the samples whose time falls in
// the column, summarised by the first, the last and the extremes, and
// whether a gap lies right before its first sample (the line must not run
// in from the left then).
struct Column {
    std::size_t count = 0;
    float first = 0.0f;
    float last = 0.0f;
    float min = 0.0f;
    float max = 0.0f;
    bool gapBefore = false;
    friend bool operator==(const Column &, const Column &) = default;
};

// Gaps. A trace may miss readings (an adapter call failed, or a saved log
// line has an empty field). A miss is recorded as a gap: a mark between two
// neighbouring samples, never as a sample. Gaps hold no value, so sizes,
// searches and extremes see the readings alone; drawing does not join the
// line across a gap, and a read-out does not show a neighbouring value for a
// time inside one. appendGap() marks a gap after the newest sample; the next
// sample appended is the first after it (gapBefore(i) is then true).
// Consecutive misses make one gap. A gap narrower than a pixel column shows
// only as an unjoined step between two columns, or not at all when it lies
// inside one column, whose stroke covers all its samples.
//
// Holds the most recent `capacity` samples of a trace in append order.
// Storage grows in chunks as samples arrive, so a short history costs little;
// once full, each append overwrites the oldest sample. Times never go
// backwards: a time earlier than the newest one is stored as the newest time,
// so a clock that steps back does not break the order that searches rely on.
//
// Every 64-sample block and every chunk keeps its min/max, so the extremes of
// any range cost O(range / chunk + block) instead of O(range). The block that
// is being overwritten caches only its rewritten part; queries never take
// such a block whole, because its other part lies at the opposite end of the
// history.
class SampleRing {
public:
    // 24 hours of samples at one per 50 ms tick.
    static constexpr std::size_t kDefaultCapacity = 1'728'000;
    static constexpr std::size_t kBlock = 64;
    static constexpr std::size_t kChunk = 1024; // a whole number of blocks

    explicit SampleRing(std::size_t capacity = kDefaultCapacity);

    void append(int64_t timeMs, float value);
    // Marks a gap after the newest sample; see above.
    void appendGap() { gapPending_ = true; }

    std::size_t size() const { return size_; }
    std::size_t capacity() const { return capacity_; }
    bool empty() const { return size_ == 0; }

    // Index 0 is the oldest sample, size() - 1 the newest.
    Sample at(std::size_t i) const;
    int64_t timeAt(std::size_t i) const;
    // True when a gap lies between sample i - 1 and sample i.
    bool gapBefore(std::size_t i) const;
    // True when a gap follows the newest sample (no reading since a miss).
    bool gapPending() const { return gapPending_; }

    // The sample nearest to timeMs, at most `reach` away from it, or nothing.
    // Where timeMs lies inside a gap (strictly between the samples on either
    // side of it, or after the newest sample while a gap follows it) the
    // reach is `reachInGap` instead: a missed reading has no value, and only
    // a sample as close as the pixel column it is drawn in should show.
    std::optional<Sample> nearest(int64_t timeMs, int64_t reach, int64_t reachInGap) const;

    // First index >= `from` whose time is >= timeMs, or size(). Searches
    // outward from `from`, so walking forward through increasing times costs
    // O(log distance) per step.
    std::size_t lowerBound(int64_t timeMs, std::size_t from = 0) const;

    // Extremes of the samples [first, last); the range must not be empty.
    MinMax minMax(std::size_t first, std::size_t last) const;

    // Heap and object bytes this history holds now.
    std::size_t bytesAllocated() const;

private:
    struct Chunk {
        std::array<int64_t, kChunk> time;
        std::array<float, kChunk> value;
        std::array<MinMax, kChunk / kBlock> block;
        std::array<uint64_t, kChunk / 64> gapBefore; // one bit per slot
        MinMax whole;
    };

    std::size_t physical(std::size_t i) const;
    MinMax physicalMinMax(std::size_t begin, std::size_t end) const;

    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::size_t capacity_;
    std::size_t size_ = 0;
    std::size_t head_ = 0; // physical slot of the next append
    int64_t newest_ = 0;
    bool gapPending_ = false;
};

// One column per pair of neighbouring edges: column c takes the samples with
// edges[c] <= time < edges[c + 1]. `edges` must be non-decreasing and hold
// out.size() + 1 values. Costs O(columns * log) plus the min/max queries.
void decimate(const SampleRing &ring, std::span<const int64_t> edges, std::span<Column> out);

// The decimation of one trace kept from paint to paint. Columns are aligned
// to multiples of msPerColumn in epoch time (column k covers
// [k * msPerColumn, (k + 1) * msPerColumn)), so a column that no new sample
// can enter and no dropped sample has left is final and is reused; as time
// goes on only the newest columns, and the one where old samples drop out,
// are recomputed. A scrolling window then costs O(columns) copies plus the
// decimation of O(1) columns per call.
class ColumnCache {
public:
    // Summaries of columns [firstColumn, firstColumn + count), valid until
    // the next call.
    std::span<const Column> columns(const SampleRing &ring, int64_t msPerColumn,
                                    int64_t firstColumn, std::size_t count);

private:
    int64_t msPerColumn_ = 0;
    int64_t first_ = 0;
    // Columns below this one held all their samples at the last call.
    int64_t finalEnd_ = 0;
    std::vector<Column> columns_;
    std::vector<Column> next_;
    std::vector<int64_t> edges_;
};

} // namespace qzt::chart
