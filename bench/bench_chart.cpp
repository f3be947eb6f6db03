// Reports the cost of one poll tick of a graph: the chart operations a graph
// window makes (append every sample, rewrite every legend) and the repaint
// they schedule, rendered offscreen into an 850 x 480 image. Cases: the
// voltage chart (5 traces) and a temperature chart (2 traces), showing the
// last five minutes or the whole 24 hours, holding 1 minute, 5 minutes or
// 24 hours of samples. The history is sized to what it holds, so it stays
// full while the measured ticks run (24 hours is the charts' own size). The
// "with gaps" cases miss 20 ticks in every 200 (failed reads), which the chart
// keeps as gaps in the traces.
//
// Usage: bench_chart [--ticks N] [--warmup N] [--case SUBSTRING]
// Instructions per tick: run one case under
//   valgrind --tool=callgrind --toggle-collect='*measuredTick*' bench_chart
//       --ticks 50 --warmup 10 --case "volt5 5-min view, 24 h held"
// and divide the collected count by the ticks.
#include "common/TextFormat.h"
#include "graphs/ChannelTraces.h"
#include "graphs/StripChart.h"

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using namespace qzt;

namespace {

constexpr int64_t kTickMs = 50;
constexpr int kTicksPerMinute = 1200;
constexpr int64_t kDayMs = 24LL * 3600 * 1000;

struct Options {
    int ticks = 2000;
    int warmup = 100;
    std::string only;
};

ChartSetup voltageSetup()
{
    ChartSetup s{{}, {}, -1, 16};
    addChannelTraces(s, kVoltageChannels, LegendStart::Label);
    s.captions.push_back(titleCaption(Model::QZT6605));
    s.captions.push_back({QStringLiteral("Voltage (V)"), Qt::black, 0.90, 0.07});
    return s;
}

ChartSetup temperatureSetup()
{
    ChartSetup s{{}, {}, 15, 52};
    addChannelTraces(s, kTemperatures, LegendStart::Label);
    s.captions.push_back({QStringLiteral("Temperature (°C)"), Qt::black, 0.90, 0.07});
    s.captions.push_back(titleCaption(Model::QZT6604));
    return s;
}

// A believable reading: a slow swing, a faster ripple and a little noise.
float reading(int trace, int64_t tick)
{
    const double base[] = {12.0, 5.0, 3.3, 2.5, 1.2};
    const double t = double(tick);
    const double noise = double((tick * 2654435761LL + trace * 40503) % 1000) / 1000.0 - 0.5;
    return float(base[trace] + 0.3 * std::sin(t / 20000.0 + trace) + 0.05 * std::sin(t / 37.0) +
                 0.02 * noise);
}

struct Case {
    const char *name;
    bool voltage;
    bool wholeDay;
    int historyMinutes;
    bool gaps = false;
};

// Ticks 180..199 of every 200 are missed reads in the "with gaps" cases.
bool missed(bool gaps, int64_t tick)
{
    return gaps && tick % 200 >= 180;
}

struct Rig {
    int64_t now = 1'800'000'000'000;
    int64_t tick = 0;
    bool gaps = false;
    StripChart chart;
    QImage image{850, 480, QImage::Format_ARGB32_Premultiplied};
    QStringList labels;
    QString unit;

    Rig(const ChartSetup &setup, const QStringList &legendLabels, const QString &legendUnit,
        std::size_t capacity)
        : chart(
              setup, [this] { return now; }, nullptr, capacity),
          labels(legendLabels), unit(legendUnit)
    {
        chart.resize(850, 480);
    }
};

// One poll tick as a graph window makes it, and its repaint.
[[gnu::noinline]] void tick(Rig &rig)
{
    rig.now += kTickMs;
    ++rig.tick;
    const int traces = rig.chart.traceCount();
    if (missed(rig.gaps, rig.tick)) {
        for (int t = 0; t < traces; ++t)
            rig.chart.appendGap(t);
        rig.chart.render(&rig.image);
        return;
    }
    float values[5];
    for (int t = 0; t < traces; ++t) {
        values[t] = reading(t, rig.tick);
        rig.chart.appendSample(t, double(values[t]));
    }
    for (int t = 0; t < traces; ++t) {
        rig.chart.selectCaption(t);
        rig.chart.setCaption(rig.labels[t] + fixed2Text(values[t]) + rig.unit);
    }
    rig.chart.render(&rig.image);
}

// The measured ticks go through here, the warm-up ones do not, so that a
// profiler can count the measured ones alone (callgrind --toggle-collect).
[[gnu::noinline]] void measuredTick(Rig &rig)
{
    tick(rig);
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const std::size_t i = std::min(v.size() - 1, std::size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

void runCase(const Case &c, const Options &o)
{
    Rig rig(c.voltage ? voltageSetup() : temperatureSetup(),
            c.voltage ? QStringList{"12V: ", "5V: ", "Vcc: ", "2.5V: ", "Vccp: "}
                      : QStringList{"Internal: ", "External: "},
            c.voltage ? QStringLiteral("V") : QStringLiteral("°C"),
            std::size_t(c.historyMinutes) * kTicksPerMinute);
    const int traces = rig.chart.traceCount();
    rig.gaps = c.gaps;
    const int64_t fill = int64_t(c.historyMinutes) * kTicksPerMinute;
    for (int64_t i = 0; i < fill; ++i) {
        rig.now += kTickMs;
        ++rig.tick;
        for (int t = 0; t < traces; ++t) {
            if (missed(c.gaps, rig.tick))
                rig.chart.appendGap(t);
            else
                rig.chart.appendSample(t, double(reading(t, rig.tick)));
        }
    }
    if (c.wholeDay)
        rig.chart.showLast(kDayMs);

    for (int i = 0; i < o.warmup; ++i)
        tick(rig);
    std::vector<double> ms;
    ms.reserve(std::size_t(o.ticks));
    for (int i = 0; i < o.ticks; ++i) {
        const auto start = std::chrono::steady_clock::now();
        measuredTick(rig);
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::size_t bytes = 0;
    std::size_t samples = 0;
    for (int t = 0; t < traces; ++t) {
        bytes += rig.chart.history(t).bytesAllocated();
        samples += rig.chart.history(t).size();
    }
    double mean = 0;
    for (double m : ms)
        mean += m;
    mean /= double(ms.size());
    std::printf("%-34s %8.3f %8.3f %8.3f %9.0f s %10zu %8.2f\n", c.name, percentile(ms, 0.5),
                percentile(ms, 0.99), mean, double(rig.chart.visibleSpanMs()) / 1000.0,
                samples / std::size_t(traces), double(bytes) / double(samples));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--ticks"))
            o.ticks = std::max(1, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--warmup"))
            o.warmup = std::max(0, std::atoi(argv[i + 1]));
        else if (!std::strcmp(argv[i], "--case"))
            o.only = argv[i + 1];
    }

    const Case cases[] = {
        {"volt5 5-min view, 1 min held", true, false, 1},
        {"volt5 5-min view, 5 min held", true, false, 5},
        {"volt5 5-min view, 24 h held", true, false, 24 * 60},
        {"volt5 24-h view, 1 min held", true, true, 1},
        {"volt5 24-h view, 5 min held", true, true, 5},
        {"volt5 24-h view, 24 h held", true, true, 24 * 60},
        {"temp2 5-min view, 1 min held", false, false, 1},
        {"temp2 5-min view, 5 min held", false, false, 5},
        {"temp2 5-min view, 24 h held", false, false, 24 * 60},
        {"temp2 24-h view, 1 min held", false, true, 1},
        {"temp2 24-h view, 5 min held", false, true, 5},
        {"temp2 24-h view, 24 h held", false, true, 24 * 60},
        {"volt5 5-min view with gaps, 24 h held", true, false, 24 * 60, true},
        {"volt5 24-h view with gaps, 24 h held", true, true, 24 * 60, true},
    };
    std::printf("%d ticks after %d warm-up ticks, 850 x 480 offscreen\n", o.ticks, o.warmup);
    std::printf("%-34s %8s %8s %8s %11s %10s %8s\n", "case", "med ms", "p99 ms", "mean ms", "span",
                "samples", "B/sample");
    for (const Case &c : cases)
        if (o.only.empty() || std::string(c.name).find(o.only) != std::string::npos)
            runCase(c, o);
    return 0;
}
