// Where a strip chart's traces come from. The live graphs keep their samples
// in rings (RingSource); the log viewer answers from a file's pyramid and
// its mapping. Either way the chart asks for the same things: each pixel
// column summarised, the samples just outside the window that the line runs
// in from and out to, and the oldest time there is. Pure chart model:
// QtCore and the standard library only.
#pragma once

#include "graphs/SampleRing.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qzt::chart {

class ChartSource {
public:
    virtual ~ChartSource() = default;

    // Time of the oldest sample of any trace; nothing when there is none.
    virtual std::optional<int64_t> oldest() const = 0;
    // Summaries of the aligned columns [firstColumn, firstColumn + count) of
    // msPerColumn each (column k covers [k * msPerColumn, (k + 1) *
    // msPerColumn)), valid until the next call for the same trace.
    virtual std::span<const Column> columns(int trace, int64_t msPerColumn, int64_t firstColumn,
                                            std::size_t count) = 0;
    // The sample the line runs in from: the newest one earlier than timeMs
    // (a gap after it shows as the next column's gapBefore).
    virtual std::optional<Sample> entry(int trace, int64_t timeMs) const = 0;
    // The sample the line runs out to: the oldest at or after timeMs;
    // nothing when a gap lies just before it.
    virtual std::optional<Sample> exit(int trace, int64_t timeMs) const = 0;
    // For the read-out: the sample nearest to timeMs within `reach`, or
    // within `reachInGap` where timeMs lies inside a gap (as
    // SampleRing::nearest).
    virtual std::optional<Sample> nearest(int trace, int64_t timeMs, int64_t reach,
                                          int64_t reachInGap) const = 0;
    // A word for the hover read-out about the moment timeMs (the viewer
    // names the file's line there); empty for none.
    virtual QString readoutNote(int64_t timeMs) const
    {
        (void)timeMs;
        return {};
    }
};

// The live charts' source: one ring of samples per trace, and the column
// cache that makes a scrolling window cheap.
class RingSource : public ChartSource {
public:
    RingSource(std::size_t traces, std::size_t capacity);

    void append(int trace, int64_t timeMs, float value);
    void appendGap(int trace) { traces_.at(std::size_t(trace)).ring.appendGap(); }
    const SampleRing &ring(int trace) const { return traces_.at(std::size_t(trace)).ring; }
    std::size_t traceCount() const { return traces_.size(); }

    std::optional<int64_t> oldest() const override;
    std::span<const Column> columns(int trace, int64_t msPerColumn, int64_t firstColumn,
                                    std::size_t count) override;
    std::optional<Sample> entry(int trace, int64_t timeMs) const override;
    std::optional<Sample> exit(int trace, int64_t timeMs) const override;
    std::optional<Sample> nearest(int trace, int64_t timeMs, int64_t reach,
                                  int64_t reachInGap) const override;

private:
    struct Trace {
        SampleRing ring;
        ColumnCache cache;
    };
    std::vector<Trace> traces_;
};

} // namespace qzt::chart
