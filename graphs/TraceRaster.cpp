#include "graphs/TraceRaster.h"

#include <algorithm>
#include <cmath>

namespace qzt::chart {

namespace {

struct Point {
    double x;
    double y;
};

// floor(y + 0.5) without a library call (positions are held within +-1e5
// rows, so they fit an int): truncation, one lower for negative fractions.
int row(double y)
{
    const double v = y + 0.5;
    const int t = int(v);
    return double(t) > v ? t - 1 : t;
}

// Widens the span to cover y positions a and b. Rounding is monotonic, so
// rounding each piece and joining gives the rows of the joined range.
void cover(Span &s, double a, double b)
{
    const int top = row(std::min(a, b));
    const int bottom = row(std::max(a, b));
    if (s.empty()) {
        s = {top, bottom};
    } else {
        s.top = std::min(s.top, top);
        s.bottom = std::max(s.bottom, bottom);
    }
}

} // namespace

void rasterizeTrace(std::span<const Column> columns, const ValueMap &map,
                    std::optional<Vertex> entry, std::optional<Vertex> exit, int rows,
                    std::span<Span> out)
{
    const int64_t count = int64_t(columns.size());
    std::fill(out.begin(), out.end(), Span{});

    // A straight piece from a to b (a.x < b.x, both whole columns) over the
    // pixel columns it crosses.
    const auto segment = [&](Point a, Point b) {
        const int64_t from = std::max<int64_t>(int64_t(a.x), 0);
        const int64_t to = std::min<int64_t>(int64_t(b.x), count - 1);
        const double slope = (b.y - a.y) / (b.x - a.x);
        // Exact at the ends, so a piece never pokes past the points it joins.
        const auto y = [&](double s) { return s == b.x ? b.y : a.y + (s - a.x) * slope; };
        for (int64_t x = from; x <= to; ++x)
            cover(out[std::size_t(x)], y(std::max(a.x, double(x) - 0.5)),
                  y(std::min(b.x, double(x) + 0.5)));
    };

    std::optional<Point> previous;
    if (entry)
        previous = Point{double(entry->column), map(entry->value)};
    for (int64_t c = 0; c < count; ++c) {
        const Column &col = columns[std::size_t(c)];
        if (col.count == 0)
            continue;
        // After a gap the line starts afresh at this column.
        if (col.gapBefore)
            previous.reset();
        const double first = map(col.first);
        const double low = map(col.min);
        const double high = map(col.max);
        if (previous && previous->x == double(c - 1)) {
            // The common case, a neighbour: the piece between them splits
            // at its middle; this column's half joins its own stroke, which
            // holds `first`.
            const double middle = previous->y + 0.5 * (first - previous->y);
            if (c > 0)
                cover(out[std::size_t(c - 1)], previous->y, middle);
            // map() turns the larger value into the smaller row: low >= high.
            cover(out[std::size_t(c)], std::min(middle, high), std::max(middle, low));
        } else {
            if (previous)
                segment(*previous, Point{double(c), first});
            cover(out[std::size_t(c)], low, high);
        }
        previous = Point{double(c), map(col.last)};
    }
    if (exit && previous)
        segment(*previous, Point{double(exit->column), map(exit->value)});

    for (Span &s : out)
        if (!s.empty()) {
            s.top = std::max(s.top, 0);
            s.bottom = std::min(s.bottom, rows - 1);
        }
}

} // namespace qzt::chart
