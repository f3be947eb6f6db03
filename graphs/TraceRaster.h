// Turns a decimated trace into the pixels of a one-pixel line, column by
// column, so the chart draws each pixel column of each trace as one vertical
// run instead of stroking thousands of segments. Pure chart model: depends
// on the standard library only.
#pragma once

#include "graphs/SampleRing.h"

#include <cstdint>
#include <optional>
#include <span>

namespace qzt::chart {

// Rows [top, bottom] of one pixel column; empty when top > bottom.
struct Span {
    int top = 1;
    int bottom = 0;
    bool empty() const { return top > bottom; }
    friend bool operator==(const Span &, const Span &) = default;
};

// Row position of a value: `upper` on row 0, pxPerUnit rows per unit
// downwards. Far-off values are held to +-1e5 rows so arithmetic stays
// exact; they fall outside the plot anyway.
struct ValueMap {
    double upper;
    double pxPerUnit;
    double operator()(double v) const
    {
        const double y = (upper - v) * pxPerUnit;
        return y < -1e5 ? -1e5 : (y > 1e5 ? 1e5 : y);
    }
};

// A sample outside the visible columns that the line runs in from or out
// to: its column (negative, or at least the column count) and its value.
struct Vertex {
    int64_t column;
    float value;
};

// The line visits, in order: `entry`; in each populated column c its first
// sample, its extremes and its last sample (a vertical stroke over
// [min, max]); then `exit`. Between neighbouring points it runs straight,
// except into a column marked gapBefore, where it breaks off: nothing joins
// that column to the entry or to earlier columns. A caller whose exit follows
// a gap passes no exit.
// Pixel column x shows the part of the line with x - 0.5 <= column <= x + 0.5,
// as the rows its y positions round to (halves down), clipped to
// [0, rows). out.size() must equal columns.size().
void rasterizeTrace(std::span<const Column> columns, const ValueMap &map,
                    std::optional<Vertex> entry, std::optional<Vertex> exit, int rows,
                    std::span<Span> out);

} // namespace qzt::chart
