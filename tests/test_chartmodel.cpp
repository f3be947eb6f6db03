// The chart model without widgets: the history ring and its decimation, gaps,
// the time-label formatter, the locale's time axis, and the value-axis
// fitting.
#include "graphs/ChartScales.h"
#include "graphs/GraphRules.h"
#include "graphs/TimeAxis.h"
#include "graphs/TraceRaster.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <deque>

using namespace qzt::chart;

using Floats = std::vector<float>;
Q_DECLARE_METATYPE(Floats)
using Ints = QList<int>;

class TestChartModel : public QObject {
    Q_OBJECT
private slots:
    void ringMatchesBruteForce_data();
    void ringMatchesBruteForce();
    void gapsBreakTheTrace_data();
    void gapsBreakTheTrace();
    void formatTime_data();
    void formatTime();
    void timeAxis_data();
    void timeAxis();
    void fitting_data();
    void fitting();
};

void TestChartModel::ringMatchesBruteForce_data()
{
    QTest::addColumn<int>("capacity");
    QTest::addColumn<int>("appends");
    QTest::addColumn<quint32>("seed");
    QTest::newRow("wraps many times") << 100 << 1000 << 7u;
    QTest::newRow("chunks and a partial one") << 1537 << 6000 << 10u;
}

// Random appends (times now and then backwards, tied extremes, gaps) against
// a deque: samples, gap marks and a cached decimation, also about the wrap.
void TestChartModel::ringMatchesBruteForce()
{
    QFETCH(int, capacity);
    QFETCH(int, appends);
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    SampleRing ring{std::size_t(capacity)};
    std::deque<Sample> ref;
    std::deque<bool> refGap;
    bool gap = false;
    ColumnCache cache;
    int64_t t = -3000; // before the epoch too: columns are floor-aligned
    for (int k = 1; k <= appends; ++k) {
        t += rng.bounded(20) == 0 ? -int64_t(rng.bounded(1, 10)) : int64_t(rng.bounded(4));
        const float v = float(int(rng.bounded(400)) - 200) / 4.0f;
        if (rng.bounded(12) == 0) {
            ring.appendGap();
            gap = true;
            if (rng.bounded(2) == 0)
                continue;
        }
        ring.append(t, v);
        ref.push_back({ref.empty() ? t : std::max(t, ref.back().timeMs), v});
        refGap.push_back(std::exchange(gap, false));
        if (ref.size() > std::size_t(capacity)) {
            ref.pop_front();
            refGap.pop_front();
        }
        if (k % 37 != 0 && k != appends && std::abs(k - capacity) > 1)
            continue;
        const std::size_t n = ref.size();
        QCOMPARE(ring.size(), n);
        for (std::size_t i = 0; i < n; ++i)
            QVERIFY2(ring.at(i).timeMs == ref[i].timeMs && ring.at(i).value == ref[i].value &&
                         ring.gapBefore(i) == refGap[i],
                     qPrintable(QStringLiteral("sample %1 after %2 appends").arg(i).arg(k)));
        const int64_t per = std::array<int64_t, 3>{3, 7, 10}[rng.bounded(3)];
        const std::size_t count = 1 + rng.bounded(60u);
        // The newest sample in the last column, or further back.
        const int64_t first =
            (t + 210'000) / per - 210'000 / per - int64_t(count) + 1 - int64_t(rng.bounded(40));
        std::vector<Column> want(count);
        for (std::size_t i = 0; i < n; ++i) {
            const Sample &s = ref[i];
            const int64_t d = s.timeMs - first * per;
            if (d < 0 || d >= int64_t(count) * per)
                continue;
            Column &c = want[std::size_t(d / per)];
            if (c.count == 0)
                c = {0, s.value, s.value, s.value, s.value, refGap[i]};
            c = {c.count + 1, c.first, s.value, std::min(c.min, s.value), std::max(c.max, s.value),
                 c.gapBefore};
        }
        const std::span<const Column> got = cache.columns(ring, per, first, count);
        QCOMPARE(std::vector<Column>(got.begin(), got.end()), want);
    }
}

void TestChartModel::gapsBreakTheTrace_data()
{
    // Ten milliseconds per column. Per column of `trace`: a digit is a sample
    // of that value, "." none, and "|" marks a gap before the next sample.
    QTest::addColumn<QString>("trace");
    QTest::addColumn<int>("entry");       // a sample one column before the window; -1: none
    QTest::addColumn<QString>("rows");    // per column the rows drawn, "top-bottom", or "."
    QTest::addColumn<QString>("readout"); // per column: a value (y) or none (.)
    // Value v lies on row 9 - v; neighbours join at the middle of their rows.
    const auto row = [](const char *name, const char *trace, int entry, const char *rows,
                        const char *readout) {
        QTest::newRow(name) << QString(trace) << entry << QString(rows) << QString(readout);
    };
    row("joined across empty columns", "11..11", -1, "8-8 8-8 8-8 8-8 8-8 8-8", "yyyyyy");
    row("broken across empty columns", "11..|11", -1, "8-8 8-8 . . 8-8 8-8", "yy..yy");
    row("entry joined", "9", 1, "0-4", "y");
    row("entry broken", "|9", 1, "0-0", "y");
    row("gap after the newest sample", "11|..", -1, "8-8 8-8 . .", "yy..");
}

void TestChartModel::gapsBreakTheTrace()
{
    QFETCH(QString, trace);
    QFETCH(int, entry);
    QFETCH(QString, rows);
    QFETCH(QString, readout);
    SampleRing ring;
    int columns = 0;
    if (entry >= 0)
        ring.append(-8, float(entry));
    for (const QChar c : trace) {
        if (c == QLatin1Char('|'))
            ring.appendGap();
        else if (c.isDigit())
            ring.append(columns++ * 10 + 2, float(c.digitValue()));
        else
            ++columns;
    }
    std::vector<int64_t> edges;
    for (int c = 0; c <= columns; ++c)
        edges.push_back(c * 10);
    auto decimated = std::vector<Column>(std::size_t(columns));
    decimate(ring, edges, decimated);
    const auto in = entry < 0 ? std::nullopt : std::optional(Vertex{-1, float(entry)});
    auto spans = std::vector<Span>(std::size_t(columns));
    rasterizeTrace(decimated, ValueMap{9, 1}, in, std::nullopt, 10, spans);
    QStringList drawn;
    QString found;
    for (int c = 0; c < columns; ++c) {
        const Span &s = spans[std::size_t(c)];
        drawn << (s.empty() ? QStringLiteral(".")
                            : QStringLiteral("%1-%2").arg(s.top).arg(s.bottom));
        found += ring.nearest(c * 10 + 5, 1000, 5) ? QLatin1Char('y') : QLatin1Char('.');
    }
    QCOMPARE(drawn.join(QLatin1Char(' ')), rows);
    QCOMPARE(found, readout);
}

void TestChartModel::formatTime_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<Ints>("time"); // year, month, day, hour, minute, second
    QTest::addColumn<QString>("text");
    QTest::newRow("seconds") << "%I:%M:%S %p" << Ints{2026, 12, 5, 15, 45, 12} << "03:45:12 PM";
    QTest::newRow("midnight") << "%I:%M %p" << Ints{2003, 1, 9, 0, 7, 9} << "12:07 AM";
    QTest::newRow("date") << "%m/%d/%y %b, %Y '%H" << Ints{2026, 12, 5, 15, 45, 12}
                          << "12/05/26 Dec, 2026 '15";
}

void TestChartModel::formatTime()
{
    QFETCH(QString, pattern);
    QFETCH(Ints, time);
    QFETCH(QString, text);
    const CivilTime t{time[0], time[1], time[2], time[3], time[4], time[5]};
    QCOMPARE(qzt::chart::formatTime(pattern, t), text);
}

void TestChartModel::timeAxis_data()
{
    // Chart widths against view spans, in two locales. A chart lays out its
    // plot from 45 px to 80 % of its width; a character is 7 px wide.
    QTest::addColumn<QString>("locale");
    QTest::addColumn<int>("width");
    QTest::addColumn<qint64>("spanMs");
    QTest::addColumn<QString>("labels"); // all of them, joined by "|"; empty: not checked
    const qint64 s = 1000, h = 3600 * s, d = 24 * h;
    const std::map<QString, QString> expected{
        {"en_US 1024px 50h", "6:00 PM|12/6/26|6:00 AM|12:00 PM|6:00 PM|12/7/26|6:00 AM|12:00 PM"},
        {"de_DE 640px 21d", "07.12.26|14.12.26|21.12.26"},
        {"de_DE 640px 1s", "15:45:12,500|15:45:13,000|15:45:13,500"},
    };
    const std::map<qint64, const char *> spans{
        {s, "1s"},       {10 * s, "10s"}, {59 * s, "59s"}, {600 * s, "10min"}, {3 * h, "3h"},
        {25 * h, "25h"}, {50 * h, "50h"}, {7 * d, "7d"},   {21 * d, "21d"},    {30 * d, "30d"}};
    for (const char *locale : {"en_US", "de_DE"})
        for (const int width : {300, 640, 1024, 2000})
            for (const auto &[span, spanName] : spans) {
                const QString name =
                    QStringLiteral("%1 %2px %3").arg(locale).arg(width).arg(spanName);
                const auto it = expected.find(name);
                QTest::newRow(qPrintable(name))
                    << QString(locale) << width << span << (it == expected.end() ? "" : it->second);
            }
}

// No two labels overlap or leave the chart; a view of more than a day shows
// a date; times and dates are the locale's.
void TestChartModel::timeAxis()
{
    QFETCH(QString, locale);
    QFETCH(int, width);
    QFETCH(qint64, spanMs);
    QFETCH(QString, labels);
    const QDateTime start(QDate(2026, 12, 5), QTime(15, 45, 12, 340));
    const int columns = int(0.8 * width) - 45;
    const qint64 perColumn = (spanMs + columns - 1) / columns;
    const LocaleTimeAxis axis(QLocale(locale),
                              [](const QString &text) { return 7.0 * double(text.size()); });
    const std::vector<TimeLabel> ticks =
        axis.layout(start.toMSecsSinceEpoch(), perColumn, columns, 45, width, 16);
    const bool us = locale == "en_US";
    const QRegularExpression date(us ? R"(^\d\d?/\d\d?/\d\d$)" : R"(^\d\d\.\d\d\.\d\d$)");
    const QRegularExpression time(us ? R"(^\d\d?:\d\d(:\d\d(\.\d{3})?)? [AP]M$)"
                                     : R"(^\d\d:\d\d(:\d\d(,\d{3})?)?$)");
    QStringList shown;
    bool dated = false;
    double end = 0;
    for (const TimeLabel &l : ticks) {
        if (l.text.isEmpty())
            continue;
        QVERIFY2(l.left >= end && l.left + l.width <= width, qPrintable(l.text));
        QVERIFY2(date.match(l.text).hasMatch() || time.match(l.text).hasMatch(),
                 qPrintable(l.text));
        end = l.left + l.width + 1;
        dated = dated || date.match(l.text).hasMatch();
        shown << l.text;
    }
    QVERIFY2(shown.size() >= (width < 640 ? 1 : 2), qPrintable(shown.join('|')));
    QVERIFY2(dated || spanMs <= 24 * 3600 * 1000, qPrintable(shown.join('|')));
    if (!labels.isEmpty())
        QCOMPARE(shown.join('|'), labels);
}

// The readings of one tick (two: temperature, five: voltage), then the bounds
// before it, the rounded extremes, and the bounds written (Stays: none).
constexpr int Stays = std::numeric_limits<int>::min();

void TestChartModel::fitting_data()
{
    QTest::addColumn<Floats>("readings");
    QTest::addColumn<Ints>("bounds"); // lower, upper, low, high, new lower, new upper
    const auto row = [](const char *name, Floats r, Ints bounds) {
        QTest::newRow(name) << r << bounds;
    };
    row("high touches the top", {26.0f, 41.6f}, {15, 42, 26, 42, Stays, 52});
    row("bottom exactly 20 below", {35.4f, 41.6f}, {15, 52, 35, 42, Stays, Stays});
    row("bottom 21 below", {35.6f, 41.6f}, {15, 52, 36, 42, 26, Stays});
    row("top exactly 20 above", {30.0f, 35.0f}, {20, 55, 30, 35, Stays, Stays});
    row("top 21 above", {30.0f, 35.0f}, {20, 56, 30, 35, Stays, 45});
    row("halves to even", {24.5f, 25.5f}, {-300, 300, 24, 26, 14, 36});
    row("saturates", {-32765.0f, 32765.0f}, {0, 0, -32765, 32765, -32768, 32767});
    row("bottom 9 below", {15, 8, 8, 8, 8}, {-1, 16, 8, 15, 4, Stays});
    row("top 9 above", {7, 1, 1, 1, 1}, {-1, 16, 1, 7, Stays, 11});
    row("volt halves to even", {2.5f, 3.5f, 0.5f, 1.5f, 2.5f}, {-1, 16, 0, 4, Stays, 8});
    row("below the highest start", {-30, -31, -32, -33, -34}, {-1, 16, -34, -20, -38, -16});
}

void TestChartModel::fitting()
{
    QFETCH(Floats, readings);
    QFETCH(Ints, bounds);
    const bool temperature = readings.size() == 2;
    const Extremes e =
        temperature ? temperatureExtremes(readings[0], readings[1]) : voltageExtremes(readings);
    const FitRule rule = temperature ? kTemperatureFit : kVoltageFit;
    const auto l = fitLowerBound(bounds[0], e.low, rule);
    const auto u = fitUpperBound(bounds[1], e.high, rule);
    QCOMPARE(Ints({int(e.low), int(e.high), l ? int(*l) : Stays, u ? int(*u) : Stays}),
             bounds.mid(2));
}

QTEST_APPLESS_MAIN(TestChartModel)
#include "test_chartmodel.moc"
