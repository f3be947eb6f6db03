// Opening long logs: writes a 24-hour and a 7-day QZT6605 log with the
// program's own line builder into a temporary folder, then measures for each
// the time from opening to the first full view, the resident memory the load
// needs beyond the file's mapping, the redraw time while zooming and panning,
// and pandas.read_csv on the same file for comparison.
//
// Usage: bench_logviewer [--only-24h] [--write-24h PATH]
//   --write-24h PATH only writes the 24-hour log to PATH (for a screenshot).
#include "logging/LogFile.h"
#include "logging/LogReader.h"
#include "logging/LogViewWindow.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <time.h>
#include <vector>

using namespace qzt;
using namespace qzt::logview;

namespace {

// CPU seconds of the whole process (all threads) and of the calling thread:
// on a shared machine they show the cost apart from waiting for a core.
double processCpuS()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Anonymous resident memory (heap, stacks) in kB: what the process holds
// beyond file-backed pages such as the log's mapping.
long rssAnonKb()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : f.readAll().split('\n'))
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').value(0).toLong();
    return 0;
}

// Samples rssAnonKb() every millisecond while it lives; peak() is the
// largest value seen.
class PeakSampler {
public:
    PeakSampler()
        : thread_([this] {
              while (!stop_) {
                  peak_ = std::max(peak_.load(), rssAnonKb());
                  std::this_thread::sleep_for(std::chrono::milliseconds(1));
              }
          })
    {
    }
    ~PeakSampler() { finish(); }
    long finish()
    {
        if (thread_.joinable()) {
            stop_ = true;
            thread_.join();
            peak_ = std::max(peak_.load(), rssAnonKb());
        }
        return peak_;
    }

private:
    std::atomic<bool> stop_{false};
    std::atomic<long> peak_{0};
    std::thread thread_;
};

// Readings that drift like the simulated chips'.
SSTStuffModule readingsAt(uint64_t i)
{
    SSTStuffModule r;
    const double t = double(i) * 0.05;
    r.IntTemp = float(std::round((30.0 + 2.0 * std::sin(t / 600.0)) * 4.0) / 4.0);
    r.ExtTemp = float(std::round((45.0 + 5.0 * std::sin(t / 1700.0)) * 4.0) / 4.0);
    const std::array<double, 5> base{12.0, 5.0, 3.3, 2.5, 1.2};
    for (std::size_t v = 0; v < 5; ++v)
        r.Volts[v] = float(std::round((base[v] + 0.05 * std::sin(t / (90.0 + v))) * 100.0) / 100.0);
    return r;
}

bool writeLog(const QString &path, uint64_t lines)
{
    const ChannelSelection sel = ChannelSelection::fromMask(0xFB); // all but the offset
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray chunk = headerLines(Model::QZT6605, sel, QDateTime(QDate(2026, 12, 5), QTime(8, 0)));
    for (uint64_t i = 0; i < lines; ++i) {
        chunk += dataLine(Model::QZT6605, sel, readingsAt(i));
        if (chunk.size() > (4 << 20)) {
            f.write(chunk);
            chunk.clear();
        }
    }
    f.write(chunk);
    return true;
}

double pandasSeconds(const QString &path)
{
    QProcess py;
    // Debian's interpreter, which has python3-pandas, before any other.
    const QString python = QFile::exists(QStringLiteral("/usr/bin/python3"))
                               ? QStringLiteral("/usr/bin/python3")
                               : QStringLiteral("python3");
    py.start(python, {QStringLiteral("-c"),
                      QStringLiteral("import sys,time\n"
                                     "import pandas\n"
                                     "t=time.perf_counter()\n"
                                     "pandas.read_csv(sys.argv[1], skiprows=2)\n"
                                     "print(time.perf_counter()-t)\n"),
                      path});
    if (!py.waitForFinished(600'000) || py.exitCode() != 0)
        return -1.0;
    return py.readAllStandardOutput().trimmed().toDouble();
}

struct Result {
    QString name;
    uint64_t lines;
    double fileMb;
    double loadS;
    double fullViewS;
    double fullViewCpuS;
    double redrawMaxCpuMs;
    double memMb;
    double pyramidMb;
    double redrawMedianMs;
    double redrawMaxMs;
    double pandasS;
    int zoomSteps = 0;
};

Result measure(const QString &name, const QString &path, uint64_t lines)
{
    Result row{name, lines, double(QFile(path).size()) / 1e6, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const long before = rssAnonKb();
    QElapsedTimer clock;
    PeakSampler sampler;
    const double cpuBefore = processCpuS();
    clock.start();
    LoadControl control;
    LoadResult r = load(path, control);
    row.loadS = double(clock.nsecsElapsed()) / 1e9;
    if (r.status != LoadStatus::Successful) {
        std::fprintf(stderr, "%s: refused at line %llu: %s\n", qPrintable(path),
                     static_cast<unsigned long long>(r.line), qPrintable(r.reason));
        return row;
    }
    row.pyramidMb = double(r.data->bytesAllocated()) / 1e6;
    {
        // The viewer window as the program shows it, painted offscreen.
        LogViewWindow window(path, std::move(r.data));
        window.resize(1200, 700);
        window.show();
        // Every panel (temperatures and voltages), as the window paints them.
        StripChart *chart = window.chart();
        std::vector<QImage> images;
        for (StripChart *c : window.charts())
            images.emplace_back(c->size(), QImage::Format_RGB32);
        const auto paint = [&] {
            for (std::size_t k = 0; k < images.size(); ++k)
                window.charts()[k]->render(&images[k]);
        };
        paint();
        row.fullViewS = double(clock.nsecsElapsed()) / 1e9;
        // Less the sampler's own share: a millisecond poll of /proc.
        row.fullViewCpuS = processCpuS() - cpuBefore;
        row.memMb = double(sampler.finish() - before) / 1024.0;
        if (qEnvironmentVariableIsSet("BENCH_STEPS"))
            std::fprintf(stderr, "full view: %s\n",
                         qPrintable(window.findChild<QLabel *>("lblRange")->text()));

        // Zoom in notch by notch about the middle to the deepest zoom, pan
        // there both ways, then zoom out again; time each step's redraw.
        std::vector<double> ms;
        double cpuMax = 0;
        const auto step = [&](auto &&change) {
            QElapsedTimer t;
            t.start();
            const double cpu = threadCpuMs();
            change();
            paint();
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
            cpuMax = std::max(cpuMax, threadCpuMs() - cpu);
            if (qEnvironmentVariableIsSet("BENCH_STEPS"))
                std::fprintf(stderr, "span %lld ms: %.2f ms\n",
                             static_cast<long long>(chart->visibleSpanMs()), ms.back());
        };
        const int middle = chart->plotRect().width() / 2;
        int64_t span = 0;
        while (span != chart->visibleSpanMs()) {
            span = chart->visibleSpanMs();
            step([&] { chart->zoomBy(1 / 1.25, middle); });
        }
        for (int i = 0; i < 20; ++i)
            step([&] { chart->panBy(i < 10 ? 40 : -40); });
        while (span != chart->visibleSpanMs() || ms.size() < 200) {
            span = chart->visibleSpanMs();
            step([&] { chart->zoomBy(1.25, middle + 37); });
            if (ms.size() > 400)
                break;
        }
        std::sort(ms.begin(), ms.end());
        row.redrawMedianMs = ms[ms.size() / 2];
        row.redrawMaxMs = ms.back();
        row.zoomSteps = int(ms.size());
        row.redrawMaxCpuMs = cpuMax;
    }
    row.pandasS = pandasSeconds(path);
    return row;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (const qsizetype i = app.arguments().indexOf(QStringLiteral("--write-24h"));
        i > 0 && i + 1 < app.arguments().size())
        return writeLog(app.arguments().at(i + 1), 24ull * 3600 * 20) ? 0 : 1;
    const bool quick = app.arguments().contains(QStringLiteral("--only-24h"));
    QTemporaryDir dir;
    std::vector<Result> rows;
    const std::pair<const char *, uint64_t> logs[] = {{"24 hours", 24ull * 3600 * 20},
                                                      {"7 days", 7ull * 24 * 3600 * 20}};
    for (const auto &[name, lines] : logs) {
        if (quick && lines > 24ull * 3600 * 20)
            continue;
        const QString path = dir.filePath(QString::fromLatin1(name).remove(' ') + ".sav");
        std::fprintf(stderr, "writing %s (%llu lines)...\n", name,
                     static_cast<unsigned long long>(lines));
        if (!writeLog(path, lines))
            return 1;
        rows.push_back(measure(QString::fromLatin1(name), path, lines));
        QFile::remove(path);
    }
    std::printf("| log | lines | file MB | load s | first full view s (CPU s, all threads) | "
                "memory beyond mapping MB (pyramid and index MB) | redraw median / max ms "
                "(max thread CPU ms; steps) | pandas.read_csv s | full view / pandas |\n"
                "|---|---|---|---|---|---|---|---|---|\n");
    for (const Result &r : rows)
        std::printf(
            "| %s | %llu | %.0f | %.3f | %.3f (%.3f) | %.1f (%.1f) | %.2f / %.2f (%.2f; %d) "
            "| %.2f | %.2f |\n",
            qPrintable(r.name), static_cast<unsigned long long>(r.lines), r.fileMb, r.loadS,
            r.fullViewS, r.fullViewCpuS, r.memMb, r.pyramidMb, r.redrawMedianMs, r.redrawMaxMs,
            r.redrawMaxCpuMs, r.zoomSteps, r.pandasS,
            r.pandasS > 0 ? r.fullViewS / r.pandasS : 0.0);
    return 0;
}
