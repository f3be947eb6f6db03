// The log command: the program's log file, one line per 50 ms tick, until
// the duration ends or SIGINT or SIGTERM arrives.
#include "app/cli/Commands.h"

#include "logging/LogFile.h"
#include "sst/Discovery.h"
#include "sst/Tick.h"

#include <QDateTime>
#include <QFileInfo>

#include <chrono>
#include <csignal>
#include <ctime>

#include <pthread.h>
#include <unistd.h>

namespace qzt::cli {

namespace {

constexpr std::chrono::milliseconds kTick{50};

// Blocks SIGINT and SIGTERM for the log run and takes them with sigtimedwait
// as the wait between ticks: a stop request is seen within one tick, with no
// handler and no flag shared with one.
class StopSignals {
public:
    StopSignals()
    {
        sigemptyset(&set_);
        sigaddset(&set_, SIGINT);
        sigaddset(&set_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &set_, &old_);
    }
    ~StopSignals() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    StopSignals(const StopSignals &) = delete;
    StopSignals &operator=(const StopSignals &) = delete;

    // Waits until `deadline`; returns the stop signal if one came first, else 0.
    int waitUntil(std::chrono::steady_clock::time_point deadline) const
    {
        using namespace std::chrono;
        for (;;) {
            const auto left = deadline - steady_clock::now();
            if (left <= nanoseconds::zero())
                return 0;
            const auto ns = duration_cast<nanoseconds>(left).count();
            const timespec timeout{time_t(ns / 1'000'000'000), long(ns % 1'000'000'000)};
            const int sig = sigtimedwait(&set_, nullptr, &timeout);
            if (sig > 0)
                return sig;
        }
    }

private:
    sigset_t set_{};
    sigset_t old_{};
};

QString elapsedText(std::chrono::steady_clock::duration d)
{
    const auto s = std::chrono::duration_cast<std::chrono::seconds>(d).count();
    return QStringLiteral("%1:%2:%3")
        .arg(s / 3600, 2, 10, QLatin1Char('0'))
        .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(s % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

Action log(const Invocation &in)
{
    const auto &o = in.options;
    if (!o.contains(QStringLiteral("model")))
        throw UsageError{QStringLiteral("--model: log needs 04 or 05"), {}};
    if (!o.contains(QStringLiteral("out")))
        throw UsageError{QStringLiteral("--out: log needs a FILE"), {}};
    const QString modelText = o.value(QStringLiteral("model"));
    if (modelText != QLatin1String("04") && modelText != QLatin1String("05"))
        throw UsageError{QStringLiteral("--model: must be 04 or 05"), modelText};
    const Model model = modelText == QLatin1String("04") ? Model::QZT6604 : Model::QZT6605;
    const QString out = o.value(QStringLiteral("out"));
    if (out.isEmpty())
        throw UsageError{QStringLiteral("--out: needs a file name"), out};
    // As the logging window asks before it replaces a file: a script that
    // reuses a name must say so.
    if (const QFileInfo file(out);
        file.exists() && file.size() > 0 && !o.contains(QStringLiteral("force")))
        throw UsageError{QStringLiteral("--out: the file exists and is not empty; --force "
                                        "replaces it"),
                         out};
    const ChannelSelection selection =
        o.contains(QStringLiteral("channels"))
            ? readChannels(o.value(QStringLiteral("channels")), model)
            // As a logging window opens its boxes.
            : ChannelSelection::defaults();
    std::optional<int64_t> ticks;
    if (o.contains(QStringLiteral("duration")))
        ticks = readDuration(o.value(QStringLiteral("duration"))) / kTick;

    return [=](Session &s) {
        // The model's chip as start-up finds it: a later find of the same
        // model wins.
        std::optional<uint8_t> address;
        for (const FoundChip &chip : probeBus(s.state, s.usb))
            if (chip.model == model)
                address = chip.address;
        if (!address)
            throw RunError{
                QStringLiteral("no %1 found on the bus").arg(QLatin1String(modelInfo(model).name))};

        const StopSignals stop;
        LogFile file;
        if (const auto r =
                file.begin(out, headerLines(model, selection, QDateTime::currentDateTime()));
            !r)
            throw RunError{QStringLiteral("cannot write %1: %2").arg(out, r.reason)};

        using namespace std::chrono;
        const bool progress = isatty(STDERR_FILENO);
        const auto start = steady_clock::now();
        int64_t lines = 0;
        int64_t failedReads = 0;
        int64_t late = 0;
        int signal = 0;
        // The one-line progress, rewritten in place once a second.
        const auto showProgress = [&](const QString &end) {
            writeErr(QStringLiteral("\r%1 lines, %2 elapsed")
                         .arg(lines)
                         .arg(elapsedText(steady_clock::now() - start)) +
                     end);
        };
        // Line k stands for the 50 ms slot that starts at start + k ticks.
        // A slot whose reads do not end inside it gets empty fields, and the
        // slots that pass meanwhile get empty lines without reads: reading
        // back to back to catch up would file later readings under earlier
        // times.
        const auto writeLine = [&](const ChipReadings &r) {
            const TickReadings t = tickReadings(r, model);
            failedReads += t.failed.count();
            if (const auto w = file.append(dataLine(model, selection, t.values, t.failed)); !w) {
                if (progress)
                    writeErr(QStringLiteral("\n"));
                throw RunError{QStringLiteral("writing to %1 failed: %2; %3 lines are in it")
                                   .arg(out, w.reason)
                                   .arg(lines)};
            }
            ++lines;
        };
        for (int64_t k = 1; !ticks || k <= *ticks; ++k) {
            signal = stop.waitUntil(start + k * kTick);
            if (signal)
                break;
            if (progress && k % 20 == 0)
                showProgress({});
            // The same reads as the logging window's tick; a failed read
            // leaves its fields empty, the line is still written.
            writeLine(readTick(s.state, s.usb, model, *address, start + (k + 1) * kTick));
            const int64_t now = (steady_clock::now() - start) / kTick;
            for (; k < now && (!ticks || k < *ticks); ++k) {
                ++late;
                writeLine({});
            }
        }
        if (const auto r = file.end(); !r)
            throw RunError{QStringLiteral("closing %1 failed: %2").arg(out, r.reason)};
        if (progress)
            showProgress(QStringLiteral("\n"));
        if (signal)
            writeErr(QStringLiteral("%1: log: stopped by %2 after %3 lines\n")
                         .arg(QLatin1String(kProgram),
                              QLatin1String(signal == SIGINT ? "SIGINT" : "SIGTERM"))
                         .arg(lines));
        if (late)
            writeErr(QStringLiteral("%1: log: ticks missed while the reads took too long: %2\n")
                         .arg(QLatin1String(kProgram))
                         .arg(late));
        if (failedReads)
            writeErr(QStringLiteral("%1: log: %2 reads failed\n")
                         .arg(QLatin1String(kProgram))
                         .arg(failedReads));
    };
}

} // namespace qzt::cli
