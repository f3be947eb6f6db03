// The chart model without widgets: the history ring and its decimation
// against a brute-force reference, the time-label texts against the C
// library's strftime, tick placement, the visible time window, and the
// value-axis fitting of both graph designs.
#include "graphs/ChartScales.h"
#include "graphs/GraphRules.h"
#include "graphs/SampleRing.h"
#include "graphs/TraceRaster.h"

#include <QRandomGenerator>
#include <QTest>

#include <algorithm>
#include <clocale>
#include <ctime>
#include <deque>
#include <limits>
#include <set>

using namespace qzt::chart;

using Floats = std::vector<float>;
Q_DECLARE_METATYPE(Floats)

namespace {

// Everything the ring promises, done the slow and obvious way.
struct ReferenceRing {
    std::size_t capacity;
    std::deque<Sample> samples;

    void append(int64_t t, float v)
    {
        if (!samples.empty())
            t = std::max(t, samples.back().timeMs);
        samples.push_back({t, v});
        if (samples.size() > capacity)
            samples.pop_front();
    }
    std::size_t lowerBound(int64_t t, std::size_t from) const
    {
        for (std::size_t i = from; i < samples.size(); ++i)
            if (samples[i].timeMs >= t)
                return i;
        return samples.size();
    }
    MinMax minMax(std::size_t a, std::size_t b) const
    {
        MinMax r{samples[a].value, samples[a].value};
        for (std::size_t i = a; i < b; ++i) {
            r.min = std::min(r.min, samples[i].value);
            r.max = std::max(r.max, samples[i].value);
        }
        return r;
    }
    std::vector<Column> decimate(const std::vector<int64_t> &edges) const
    {
        std::vector<Column> out(edges.size() - 1);
        for (std::size_t c = 0; c + 1 < edges.size(); ++c)
            for (const Sample &s : samples)
                if (s.timeMs >= edges[c] && s.timeMs < edges[c + 1]) {
                    Column &col = out[c];
                    if (col.count == 0)
                        col = {0, s.value, s.value, s.value, s.value};
                    ++col.count;
                    col.last = s.value;
                    col.min = std::min(col.min, s.value);
                    col.max = std::max(col.max, s.value);
                }
        return out;
    }
};

// Compares every stored sample and a batch of random queries.
void compareWithReference(const SampleRing &ring, const ReferenceRing &ref, QRandomGenerator &rng)
{
    QCOMPARE(ring.size(), ref.samples.size());
    const std::size_t n = ref.samples.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Sample s = ring.at(i);
        if (s.timeMs != ref.samples[i].timeMs || s.value != ref.samples[i].value)
            QFAIL(qPrintable(QStringLiteral("sample %1 of %2 differs").arg(i).arg(n)));
    }
    if (n == 0)
        return;
    const int64_t t0 = ref.samples.front().timeMs - 3;
    const int64_t t1 = ref.samples.back().timeMs + 3;
    for (int k = 0; k < 60; ++k) {
        const int64_t t = t0 + int64_t(rng.bounded(quint64(t1 - t0 + 1)));
        const std::size_t from = std::size_t(rng.bounded(quint64(n + 1)));
        QCOMPARE(ring.lowerBound(t, from), ref.lowerBound(t, from));
    }
    for (int k = 0; k < 200; ++k) {
        std::size_t a = std::size_t(rng.bounded(quint64(n)));
        std::size_t b = std::size_t(rng.bounded(quint64(n)));
        if (k == 0) {
            a = 0;
            b = n - 1;
        }
        if (a > b)
            std::swap(a, b);
        const MinMax got = ring.minMax(a, b + 1);
        const MinMax want = ref.minMax(a, b + 1);
        if (got.min != want.min || got.max != want.max)
            QFAIL(qPrintable(
                QStringLiteral("minMax(%1, %2) of %3 differs").arg(a).arg(b + 1).arg(n)));
    }
    for (int k = 0; k < 8; ++k) {
        std::vector<int64_t> edges(1 + rng.bounded(40u));
        for (auto &e : edges)
            e = t0 + int64_t(rng.bounded(quint64(t1 - t0 + 1)));
        std::sort(edges.begin(), edges.end());
        if (edges.size() < 2)
            edges.push_back(edges.front());
        std::vector<Column> got(edges.size() - 1);
        decimate(ring, edges, got);
        QCOMPARE(got, ref.decimate(edges));
    }
}

std::tm toTm(const CivilTime &t)
{
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    return tm;
}

} // namespace

namespace QTest {
template <> inline char *toString(const Column &c)
{
    return qstrdup(QByteArray("Column{") + QByteArray::number(qulonglong(c.count)) + ", " +
                   QByteArray::number(c.first) + ", " + QByteArray::number(c.last) + ", " +
                   QByteArray::number(c.min) + ", " + QByteArray::number(c.max) + "}");
}
} // namespace QTest

class TestChartModel : public QObject {
    Q_OBJECT
private slots:
    void ringAndDecimationMatchReference_data();
    void ringAndDecimationMatchReference();
    void cachedColumnsMatchFreshDecimation_data();
    void cachedColumnsMatchFreshDecimation();
    void rasterMatchesSegmentBySegmentReference_data();
    void rasterMatchesSegmentBySegmentReference();
    void historyMemoryGrowsOnlyWithSamples();

    void formatMatchesCStrftime_data();
    void formatMatchesCStrftime();
    void tickTimesAreLocalMultiples();
    void valueTicks_data();
    void valueTicks();

    void liveViewEndsWithThePresentColumn();
    void zoomKeepsTheTimeUnderTheCursor();
    void panStopsAtOldestAndTurnsLiveAtPresent();

    void roundingHalvesGoToEven_data();
    void roundingHalvesGoToEven();
    void temperatureFit_data();
    void temperatureFit();
    void voltageExtremesPass_data();
    void voltageExtremesPass();
    void voltageFit_data();
    void voltageFit();
    void legendTexts_data();
    void legendTexts();
};

void TestChartModel::ringAndDecimationMatchReference_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("appends");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("empty") << 10 << 0 << 1u;
    QTest::newRow("capacity one") << 1 << 7 << 2u;
    QTest::newRow("partly filled") << 100 << 57 << 4u;
    QTest::newRow("exactly one block") << 64 << 64 << 5u;
    QTest::newRow("one past a block") << 64 << 65 << 6u;
    QTest::newRow("wraps many times") << 100 << 1000 << 7u;
    QTest::newRow("not whole blocks") << 1000 << 3500 << 8u;
    QTest::newRow("chunks and a partial one") << 1537 << 6000 << 10u;
    QTest::newRow("many chunks") << 5000 << 12000 << 11u;
    QTest::newRow("many chunks, barely wrapped") << 4096 << 4100 << 12u;
}

void TestChartModel::ringAndDecimationMatchReference()
{
    QFETCH(int, capacity);
    QFETCH(int, appends);
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    SampleRing ring{std::size_t(capacity)};
    ReferenceRing ref{std::size_t(capacity), {}};

    // Check at the wrap points and at random moments, not only at the end:
    // a half-rewritten block is where cached extremes go wrong.
    std::set<int> checks{appends};
    for (int k : {capacity - 1, capacity, capacity + 1, 2 * capacity, 2 * capacity + 1,
                  capacity + 63, capacity + 64, capacity + 1023})
        checks.insert(k);
    for (int k = 0; k < 25; ++k)
        checks.insert(int(rng.bounded(appends + 1)));

    int64_t t = 1'700'000'000'000;
    for (int k = 1; k <= appends; ++k) {
        // Mostly forward in small steps, often equal, sometimes backwards.
        t += rng.bounded(20) == 0 ? -int64_t(rng.bounded(1, 10)) : int64_t(rng.bounded(4));
        // A narrow set of values so that extremes tie often.
        const float v = float(int(rng.bounded(400)) - 200) / 4.0f;
        ring.append(t, v);
        ref.append(t, v);
        if (checks.count(k)) {
            compareWithReference(ring, ref, rng);
            if (QTest::currentTestFailed())
                QFAIL(qPrintable(QStringLiteral("after %1 appends").arg(k)));
        }
    }
    compareWithReference(ring, ref, rng);
}

void TestChartModel::cachedColumnsMatchFreshDecimation_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("drops samples often") << 50 << 21u;
    QTest::newRow("drops now and then") << 300 << 22u;
    QTest::newRow("several chunks") << 2000 << 23u;
}

void TestChartModel::cachedColumnsMatchFreshDecimation()
{
    QFETCH(int, capacity);
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    SampleRing ring{std::size_t(capacity)};
    ColumnCache cache;
    int64_t t = -5000; // negative times too: columns are floor-aligned
    int64_t perColumn = 7;
    std::size_t count = 40;
    for (int step = 0; step < 600; ++step) {
        // A tick's worth of samples (sometimes none), then a repaint that
        // usually follows the newest sample, sometimes looks back, and now
        // and then changes zoom or width.
        for (int n = int(rng.bounded(12)); n > 0; --n) {
            t += rng.bounded(4);
            ring.append(t, float(int(rng.bounded(100)) - 50));
        }
        if (rng.bounded(25) == 0)
            perColumn = std::array<int64_t, 3>{3, 7, 10}[rng.bounded(3)];
        if (rng.bounded(25) == 0)
            count = 1 + rng.bounded(80u);
        int64_t first = t / perColumn - int64_t(count) + 1;
        if (t < 0 && t % perColumn != 0)
            --first;
        if (rng.bounded(5) == 0)
            first -= rng.bounded(30);
        const std::span<const Column> got = cache.columns(ring, perColumn, first, count);
        std::vector<int64_t> edges(count + 1);
        for (std::size_t e = 0; e <= count; ++e)
            edges[e] = (first + int64_t(e)) * perColumn;
        std::vector<Column> want(count);
        decimate(ring, edges, want);
        QCOMPARE(std::vector<Column>(got.begin(), got.end()), want);
    }
}

void TestChartModel::rasterMatchesSegmentBySegmentReference_data()
{
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("emptyPercent");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("dense") << 120 << 0 << 31u;
    QTest::newRow("some gaps") << 120 << 40 << 32u;
    QTest::newRow("sparse, zoomed in") << 200 << 90 << 33u;
    QTest::newRow("one column") << 1 << 0 << 34u;
    QTest::newRow("nothing inside") << 50 << 100 << 35u;
}

void TestChartModel::rasterMatchesSegmentBySegmentReference()
{
    QFETCH(int, columns);
    QFETCH(int, emptyPercent);
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    const auto value = [&] { return float(int(rng.bounded(160)) - 80) / 4.0f; };
    const std::size_t n = std::size_t(columns);
    for (int round = 0; round < 200; ++round) {
        std::vector<Column> cols(n);
        for (Column &c : cols) {
            if (int(rng.bounded(100)) < emptyPercent)
                continue;
            const int k = 1 + int(rng.bounded(4));
            float v[4];
            for (int i = 0; i < k; ++i)
                v[i] = value();
            c = {std::size_t(k), v[0], v[k - 1], *std::min_element(v, v + k),
                 *std::max_element(v, v + k)};
        }
        const ValueMap map{double(rng.bounded(5, 20)), double(rng.bounded(1, 9)) / 2.0};
        const int rows = 1 + int(rng.bounded(120));
        std::optional<Vertex> entry, exit;
        if (rng.bounded(3))
            entry = Vertex{-1 - int64_t(rng.bounded(6)), value()};
        if (rng.bounded(3))
            exit = Vertex{columns + int64_t(rng.bounded(6)), value()};

        // Reference: every piece of the line against every pixel column.
        struct P {
            double x, y;
        };
        std::vector<P> line;
        if (entry)
            line.push_back({double(entry->column), map(entry->value)});
        for (int c = 0; c < columns; ++c) {
            const Column &col = cols[std::size_t(c)];
            if (col.count == 0)
                continue;
            for (float v : {col.first, col.min, col.max, col.last})
                line.push_back({double(c), map(v)});
        }
        if (exit && !line.empty())
            line.push_back({double(exit->column), map(exit->value)});
        std::vector<Span> want(n);
        for (int x = 0; x < columns; ++x) {
            double lo = 1e300, hi = -1e300;
            for (std::size_t i = 0; i + 1 < line.size(); ++i) {
                const P a = line[i], b = line[i + 1];
                if (a.x == b.x) {
                    if (a.x == x) {
                        lo = std::min({lo, a.y, b.y});
                        hi = std::max({hi, a.y, b.y});
                    }
                    continue;
                }
                const double s0 = std::max(a.x, x - 0.5), s1 = std::min(b.x, x + 0.5);
                if (s0 > s1)
                    continue;
                const double slope = (b.y - a.y) / (b.x - a.x);
                for (double s : {s0, s1}) {
                    const double y = s == b.x ? b.y : a.y + (s - a.x) * slope;
                    lo = std::min(lo, y);
                    hi = std::max(hi, y);
                }
            }
            if (lo <= hi) {
                Span &w = want[std::size_t(x)];
                w.top = std::max(int(std::floor(lo + 0.5)), 0);
                w.bottom = std::min(int(std::floor(hi + 0.5)), rows - 1);
                if (w.empty())
                    w = Span{};
            }
        }
        std::vector<Span> got(n);
        rasterizeTrace(cols, map, entry, exit, rows, got);
        for (std::size_t x = 0; x < got.size(); ++x) {
            const bool same = got[x].empty() ? want[x].empty() : got[x] == want[x];
            if (!same)
                QFAIL(qPrintable(QStringLiteral("round %1, column %2: rows %3..%4, want %5..%6")
                                     .arg(round)
                                     .arg(x)
                                     .arg(got[x].top)
                                     .arg(got[x].bottom)
                                     .arg(want[x].top)
                                     .arg(want[x].bottom)));
        }
    }
}

void TestChartModel::historyMemoryGrowsOnlyWithSamples()
{
    SampleRing ring; // the full 24 hours
    QVERIFY(ring.bytesAllocated() < 1024);
    // One minute at 20 samples a second.
    for (int i = 0; i < 1200; ++i)
        ring.append(i * 50, float(i));
    QVERIFY2(ring.bytesAllocated() <= 24 * ring.size(),
             qPrintable(QString::number(ring.bytesAllocated())));
    // A full day, then more: the ring stops growing.
    for (int i = 1200; i < int(SampleRing::kDefaultCapacity); ++i)
        ring.append(int64_t(i) * 50, float(i % 1000));
    const std::size_t full = ring.bytesAllocated();
    QVERIFY2(full <= 24 * ring.size(), qPrintable(QString::number(full)));
    for (int i = 0; i < 5000; ++i)
        ring.append(int64_t(SampleRing::kDefaultCapacity + i) * 50, 0.0f);
    QCOMPARE(ring.size(), SampleRing::kDefaultCapacity);
    QCOMPARE(ring.bytesAllocated(), full);
}

void TestChartModel::formatMatchesCStrftime_data()
{
    QTest::addColumn<QString>("pattern");
    for (const char *p : kTimeLabelPatterns)
        QTest::newRow(p) << QString::fromLatin1(p);
    QTest::newRow("24-hour, day, literal percent") << QStringLiteral("%H.%M %d %% x%");
}

void TestChartModel::formatMatchesCStrftime()
{
    QFETCH(QString, pattern);
    // Our formatter ignores the locale; the C library's is the reference in
    // the C locale.
    const char *previous = std::setlocale(LC_TIME, nullptr);
    const std::string saved = previous ? previous : "C";
    std::setlocale(LC_TIME, "C");
    QRandomGenerator rng(42);
    const QByteArray cPattern = pattern.toLatin1();
    for (int k = 0; k < 3000; ++k) {
        const CivilTime t{int(rng.bounded(1950, 2100)), int(rng.bounded(1, 13)),
                          int(rng.bounded(1, 29)),      int(rng.bounded(24)),
                          int(rng.bounded(60)),         int(rng.bounded(60))};
        const std::tm tm = toTm(t);
        char buffer[64];
        const std::size_t n = std::strftime(buffer, sizeof buffer, cPattern.constData(), &tm);
        QCOMPARE(formatTime(pattern, t), QString::fromLatin1(buffer, qsizetype(n)));
    }
    std::setlocale(LC_TIME, saved.c_str());
}

void TestChartModel::tickTimesAreLocalMultiples()
{
    QRandomGenerator rng(3);
    for (int k = 0; k < 300; ++k) {
        const int64_t step = std::array<int64_t, 4>{7, 10, 1000, 1500}[rng.bounded(4)];
        const int64_t from = int64_t(rng.bounded(-20000, 20000));
        const int64_t to = from + int64_t(rng.bounded(0, 20000));
        const int64_t offset = int64_t(rng.bounded(-5000, 5000));
        std::vector<int64_t> want;
        for (int64_t t = from; t < to; ++t)
            if (((t + offset) % step + step) % step == 0)
                want.push_back(t);
        QCOMPARE(tickTimes(from, to, step, offset), want);
    }
}

void TestChartModel::valueTicks_data()
{
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("maxTicks");
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("step");
    QTest::addColumn<int>("count");
    QTest::newRow("temperature start") << -300.0 << 300.0 << 11 << -300.0 << 100.0 << 7;
    QTest::newRow("voltage start") << -1.0 << 16.0 << 11 << 0.0 << 2.0 << 9;
    QTest::newRow("fitted temperature") << 15.0 << 42.0 << 11 << 15.0 << 5.0 << 6;
    QTest::newRow("fractional") << 0.0 << 1.0 << 6 << 0.0 << 0.2 << 6;
    QTest::newRow("empty range") << 5.0 << 5.0 << 11 << 0.0 << 0.0 << 0;
}

void TestChartModel::valueTicks()
{
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(int, maxTicks);
    QFETCH(double, first);
    QFETCH(double, step);
    QFETCH(int, count);
    const ValueTicks t = qzt::chart::valueTicks(lower, upper, maxTicks);
    QCOMPARE(t.count, count);
    QCOMPARE(t.step, step);
    if (count > 0)
        QCOMPARE(t.first, first);
}

void TestChartModel::liveViewEndsWithThePresentColumn()
{
    TimeView view(600);
    QCOMPARE(view.spanMs(), TimeView::kDefaultSpanMs);
    QCOMPARE(view.msPerColumn(), int64_t(500));
    QVERIFY(view.live());
    // The present time lies in the last column, whose edges are multiples
    // of the column width.
    for (int64_t now : {1'000'000LL, 1'000'499LL, 1'000'500LL, 1'000'001LL}) {
        const int64_t right = view.rightEdge(now);
        QCOMPARE(right % 500, int64_t(0));
        QVERIFY(right - 500 <= now && now < right);
        QCOMPARE(view.leftEdge(now), right - view.spanMs());
    }
    // Resizing keeps the span as far as whole milliseconds per column allow.
    view.setColumns(700);
    QCOMPARE(view.msPerColumn(), int64_t(429));
    // Limits: at least 5 s, at most 24 h.
    view.setSpan(1000, 0);
    QVERIFY(view.spanMs() >= TimeView::kMinSpanMs);
    view.setSpan(int64_t(1e12), 0);
    QVERIFY(view.spanMs() <= TimeView::kMaxSpanMs + 700);
    QVERIFY(view.spanMs() >= TimeView::kMaxSpanMs);
}

void TestChartModel::zoomKeepsTheTimeUnderTheCursor()
{
    const int64_t now = 10'000'000;
    TimeView view(600);
    // Live: zooming keeps the right edge at the present and stays live.
    view.zoom(2.0, 100, now);
    QVERIFY(view.live());
    QCOMPARE(view.spanMs(), int64_t(600'000));
    QVERIFY(view.rightEdge(now) > now);

    // Looking back: the time under column 150 stays under it (to a column).
    view.pan(300, now, 0);
    QVERIFY(!view.live());
    const int64_t before = view.leftEdge(now) + 150 * view.msPerColumn();
    view.zoom(0.5, 150, now);
    QVERIFY(!view.live());
    QCOMPARE(view.msPerColumn(), int64_t(500));
    const int64_t after = view.leftEdge(now) + 150 * view.msPerColumn();
    QVERIFY2(std::abs(after - before) <= view.msPerColumn(),
             qPrintable(QStringLiteral("%1 vs %2").arg(before).arg(after)));
    // Zooming out far enough to reach the present makes the view live again.
    view.zoom(100.0, 150, now);
    QVERIFY(view.live());
}

void TestChartModel::panStopsAtOldestAndTurnsLiveAtPresent()
{
    const int64_t now = 10'000'000;
    const int64_t oldest = now - 1000 * 500 - 123;
    TimeView view(600); // 500 ms per column
    view.pan(100, now, oldest);
    QVERIFY(!view.live());
    QCOMPARE(view.rightEdge(now), (now / 500 + 1 - 100) * 500);
    // Far past the oldest sample: the window starts with its column.
    view.pan(10'000, now, oldest);
    QCOMPARE(view.leftEdge(now), (oldest / 500) * 500);
    // Back towards the present, then past it: live again.
    view.pan(-50, now, oldest);
    QVERIFY(!view.live());
    view.pan(-10'000, now, oldest);
    QVERIFY(view.live());
    // With history shorter than the span, looking back is pointless.
    view.pan(10, now, now - 1000);
    QVERIFY(view.live());
}

void TestChartModel::roundingHalvesGoToEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("rounded");
    QTest::newRow("24.5") << 24.5 << 24;
    QTest::newRow("25.5") << 25.5 << 26;
    QTest::newRow("-0.5") << -0.5 << 0;
    QTest::newRow("-1.5") << -1.5 << -2;
    QTest::newRow("just below a half") << 2.4999 << 2;
    QTest::newRow("just above a half") << 2.5001 << 3;
    QTest::newRow("41.59") << double(41.59f) << 42;
    QTest::newRow("beyond the top") << 40000.0 << 32767;
    QTest::newRow("beyond the bottom") << -40000.0 << -32768;
    QTest::newRow("not a number") << std::numeric_limits<double>::quiet_NaN() << 0;
}

void TestChartModel::roundingHalvesGoToEven()
{
    QFETCH(double, value);
    QFETCH(int, rounded);
    QCOMPARE(int(roundToInt16(value)), rounded);
}

// Readings, bounds before and after one fitting; NaN in "after" means the
// bound is not written.
void TestChartModel::temperatureFit_data()
{
    QTest::addColumn<float>("intTemp");
    QTest::addColumn<float>("extTemp");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("newLower");
    QTest::addColumn<int>("newUpper");
    constexpr int Stays = std::numeric_limits<int>::min();
    // The worked example, tick by tick.
    QTest::newRow("first tick of a fresh window")
        << 25.25f << 31.75f << -300.0 << 300.0 << 15 << 42;
    QTest::newRow("inside the band") << 26.0f << 33.0f << 15.0 << 42.0 << Stays << Stays;
    QTest::newRow("high touches the top") << 26.0f << 41.6f << 15.0 << 42.0 << Stays << 52;
    QTest::newRow("bottom exactly 20 below") << 35.4f << 41.6f << 15.0 << 52.0 << Stays << Stays;
    QTest::newRow("bottom 21 below") << 35.6f << 41.6f << 15.0 << 52.0 << 26 << Stays;
    // Edges and ties.
    QTest::newRow("equal readings") << 30.0f << 30.0f << -300.0 << 300.0 << 20 << 40;
    QTest::newRow("internal is the high one") << 40.0f << 20.0f << -300.0 << 300.0 << 10 << 50;
    QTest::newRow("low exactly on the bottom") << 30.0f << 35.0f << 30.0 << 45.0 << 20 << Stays;
    QTest::newRow("low below the bottom") << 29.0f << 35.0f << 30.0 << 45.0 << 19 << Stays;
    QTest::newRow("top exactly 20 above") << 30.0f << 35.0f << 20.0 << 55.0 << Stays << Stays;
    QTest::newRow("top 21 above") << 30.0f << 35.0f << 20.0 << 56.0 << Stays << 45;
    QTest::newRow("halves to even") << 24.5f << 25.5f << -300.0 << 300.0 << 14 << 36;
    QTest::newRow("minus a half is zero") << -0.5f << 3.0f << -300.0 << 300.0 << -10 << 13;
    QTest::newRow("negative readings") << -12.75f << -20.0f << -300.0 << 300.0 << -30 << -3;
    QTest::newRow("saturates at the 16-bit range")
        << -32765.0f << 32765.0f << 0.0 << 0.0 << -32768 << 32767;
}

void TestChartModel::temperatureFit()
{
    QFETCH(float, intTemp);
    QFETCH(float, extTemp);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(int, newLower);
    QFETCH(int, newUpper);
    const Extremes e = temperatureExtremes(intTemp, extTemp);
    const auto l = fitLowerBound(lower, e.low, kTemperatureFit);
    const auto u = fitUpperBound(upper, e.high, kTemperatureFit);
    QCOMPARE(l ? int(*l) : std::numeric_limits<int>::min(), newLower);
    QCOMPARE(u ? int(*u) : std::numeric_limits<int>::min(), newUpper);
}

void TestChartModel::voltageExtremesPass_data()
{
    QTest::addColumn<Floats>("volts");
    QTest::addColumn<int>("lowest");
    QTest::addColumn<int>("highest");
    QTest::newRow("worked example") << Floats{12.1f, 4.98f, 3.31f, 2.5f, 1.21f} << 1 << 12;
    QTest::newRow("all equal") << Floats{5.0f, 5.0f, 5.0f, 5.0f, 5.0f} << 5 << 5;
    QTest::newRow("exact integers change nothing")
        << Floats{1.6f, 2.0f, 2.0f, 15.6f, 16.0f} << 2 << 16;
    // The start values are extremes of their own: readings that never pass
    // them leave them standing.
    QTest::newRow("all above the lowest start") << Floats{50, 51, 52, 53, 54} << 40 << 54;
    QTest::newRow("all below the highest start") << Floats{-30, -31, -32, -33, -34} << -34 << -20;
    QTest::newRow("halves to even") << Floats{2.5f, 3.5f, 0.5f, 1.5f, 2.5f} << 0 << 4;
}

void TestChartModel::voltageExtremesPass()
{
    QFETCH(Floats, volts);
    QFETCH(int, lowest);
    QFETCH(int, highest);
    const Extremes e = voltageExtremes(volts);
    QCOMPARE(int(e.low), lowest);
    QCOMPARE(int(e.high), highest);
}

void TestChartModel::voltageFit_data()
{
    QTest::addColumn<int>("lowest");
    QTest::addColumn<int>("highest");
    QTest::addColumn<double>("lower");
    QTest::addColumn<double>("upper");
    QTest::addColumn<int>("newLower");
    QTest::addColumn<int>("newUpper");
    constexpr int Stays = std::numeric_limits<int>::min();
    QTest::newRow("worked example keeps -1 to 16") << 1 << 12 << -1.0 << 16.0 << Stays << Stays;
    QTest::newRow("12 V at 15.6 lifts the top") << 1 << 16 << -1.0 << 16.0 << Stays << 20;
    QTest::newRow("lowest 0 keeps the bottom") << 0 << 8 << -1.0 << 16.0 << Stays << Stays;
    QTest::newRow("lowest 7: bottom exactly 8 below") << 7 << 15 << -1.0 << 16.0 << Stays << Stays;
    QTest::newRow("lowest 8: bottom 9 below") << 8 << 15 << -1.0 << 16.0 << 4 << Stays;
    QTest::newRow("lowest -1 moves the bottom") << -1 << 12 << -1.0 << 16.0 << -5 << Stays;
    QTest::newRow("highest 7 moves the top") << 1 << 7 << -1.0 << 16.0 << Stays << 11;
    QTest::newRow("all readings equal") << 5 << 5 << -300.0 << 300.0 << 1 << 9;
    QTest::newRow("start values standing") << 40 << 54 << -1.0 << 16.0 << 36 << 58;
}

void TestChartModel::voltageFit()
{
    QFETCH(int, lowest);
    QFETCH(int, highest);
    QFETCH(double, lower);
    QFETCH(double, upper);
    QFETCH(int, newLower);
    QFETCH(int, newUpper);
    const auto l = fitLowerBound(lower, int16_t(lowest), kVoltageFit);
    const auto u = fitUpperBound(upper, int16_t(highest), kVoltageFit);
    QCOMPARE(l ? int(*l) : std::numeric_limits<int>::min(), newLower);
    QCOMPARE(u ? int(*u) : std::numeric_limits<int>::min(), newUpper);
}

void TestChartModel::legendTexts_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("text");
    QTest::newRow("half a hundredth rounds up") << "Internal: " << 25.125f << "°C"
                                                << "Internal: 25.13°C";
    QTest::newRow("negative") << "Internal: " << -5.25f << "°C"
                              << "Internal: -5.25°C";
    QTest::newRow("2.5 V") << "2.5V: " << 2.5f << "V"
                           << "2.5V: 2.50V";
}

void TestChartModel::legendTexts()
{
    QFETCH(QString, label);
    QFETCH(float, value);
    QFETCH(QString, unit);
    QFETCH(QString, text);
    QCOMPARE(legendText(label, value, unit), text);
}

QTEST_APPLESS_MAIN(TestChartModel)
#include "test_chartmodel.moc"
